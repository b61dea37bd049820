#include "workspace/SegmentViews.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPathStroker>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;
using SegmentViews::Slot;

namespace {
const SegmentView kViews[] = { SegmentView::FourChamber, SegmentView::TwoChamber,
                               SegmentView::LongAxis, SegmentView::ShortAxis };
const QRectF kDesign(0, 0, SegmentViews::kSize, SegmentViews::kSize);
// The drawings' places on the wall-motion page.
const QPoint kPageOrigins[] = { { 11, 2 }, { 11, 210 }, { 428, 4 }, { 428, 211 } };

QImage render(SegmentView view, const QSize &size = { SegmentViews::kSize, SegmentViews::kSize })
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    SegmentViews::paint(painter, view, QRectF(QPointF(), size));
    return image;
}

bool dark(const QImage &image, QPoint p, int threshold = 128)
{
    return qGray(image.pixel(p)) < threshold;
}

QList<Slot> slotsOf(SegmentView view)
{
    QList<Slot> result;
    for (const Slot &slot : SegmentViews::scoreSlots()) {
        if (slot.view == view)
            result << slot;
    }
    return result;
}

QString nameOf(const Slot &slot)
{
    return u"C%1 on view %2"_s.arg(slot.segment).arg(int(slot.view));
}

qreal distance(const QPointF &p, const QRectF &r)
{
    const qreal dx = std::max({ r.left() - p.x(), 0.0, p.x() - r.right() });
    const qreal dy = std::max({ r.top() - p.y(), 0.0, p.y() - r.bottom() });
    return std::hypot(dx, dy);
}

// From a strip's outline, walked every half unit, to a rectangle.
qreal distance(const QPainterPath &strip, const QRectF &r)
{
    qreal best = std::numeric_limits<qreal>::max();
    const QPolygonF outline = strip.toFillPolygon();
    for (qsizetype i = 0; i + 1 < outline.size(); ++i) {
        const QLineF edge(outline.at(i), outline.at(i + 1));
        const int steps = std::max(1, int(edge.length() * 2));
        for (int k = 0; k <= steps; ++k)
            best = std::min(best, distance(edge.pointAt(qreal(k) / steps), r));
    }
    return best;
}

// Pixels well inside a strip, clear of its outline.
QList<QPoint> interior(const QPainterPath &strip)
{
    QPainterPathStroker stroker;
    stroker.setWidth(3);
    const QPainterPath rim = stroker.createStroke(strip);
    QList<QPoint> pixels;
    const QRect bounds = strip.boundingRect().toAlignedRect();
    for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
        for (int x = bounds.left(); x <= bounds.right(); ++x) {
            const QPointF centre(x + 0.5, y + 0.5);
            if (strip.contains(centre) && !rim.contains(centre))
                pixels << QPoint(x, y);
        }
    }
    return pixels;
}

// How often a pixel inside the strip has the shade of its neighbour one step away.
qreal coherence(const QImage &image, const QList<QPoint> &pixels, const QPoint &step)
{
    int pairs = 0;
    int same = 0;
    for (const QPoint &p : pixels) {
        if (pixels.contains(p + step)) {
            ++pairs;
            same += dark(image, p) == dark(image, p + step);
        }
    }
    return pairs ? qreal(same) / pairs : 0;
}

QString screenshotDir()
{
    const QString dir = QCoreApplication::applicationDirPath() + u"/screenshots/"_s;
    QDir().mkpath(dir);
    return dir;
}
} // namespace

class tst_SegmentViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everySegmentIsScoredOnce();
    void boxesLabelsAndLeadersFitTogether();
    void fills_data();
    void fills();
    void labelsAreDrawnAgainstTheirBoxes();
    void scalesIntoAnyTarget();
    void surroundingsLeftOut_data();
    void surroundingsLeftOut();
    void screenshots();
};

void tst_SegmentViews::everySegmentIsScoredOnce()
{
    // Each view's strips and slots match one to one, the views in tab order; the mid-ventricular
    // segments come back in the short axis, the others are scored on exactly one view.
    QCOMPARE(SegmentViews::scoreSlots().size(), 21);
    QMap<int, QList<SegmentView>> viewsOf;
    SegmentView previous = SegmentView::FourChamber;
    for (const Slot &slot : SegmentViews::scoreSlots()) {
        QVERIFY(slot.view >= previous);
        previous = slot.view;
        viewsOf[slot.segment] << slot.view;
    }
    for (SegmentView view : kViews) {
        QList<int> strips = SegmentViews::segments(view);
        QList<int> scored;
        for (const Slot &slot : slotsOf(view))
            scored << slot.segment;
        std::sort(strips.begin(), strips.end());
        std::sort(scored.begin(), scored.end());
        QCOMPARE(scored, strips);
    }
    QCOMPARE(viewsOf.size(), 16);
    for (int segment = 1; segment <= 16; ++segment) {
        const bool mid = segment >= 6 && segment <= 10;
        QCOMPARE(viewsOf.value(segment).size(), mid ? 2 : 1);
        QCOMPARE(viewsOf.value(segment).contains(SegmentView::ShortAxis), mid);
    }
    QCOMPARE(SegmentViews::segmentName(SegmentView::TwoChamber, 9), u"mid inf"_s);
    QCOMPARE(SegmentViews::segmentName(SegmentView::ShortAxis, 9), u"mid inf post"_s);
}

void tst_SegmentViews::boxesLabelsAndLeadersFitTogether()
{
    const QFontMetricsF metrics(SegmentViews::defaultLabelFont());
    for (SegmentView view : kViews) {
        const QList<Slot> slots = slotsOf(view);
        for (const Slot &slot : slots) {
            const QByteArray what = nameOf(slot).toUtf8();
            const QRectF &label = slot.label;
            QCOMPARE(slot.box.size(), QSizeF(17, 21));
            QVERIFY2(kDesign.contains(slot.box) && kDesign.contains(label), what);
            // Level with its box and just beside it, not under it; both lines fit.
            QCOMPARE(label.top(), slot.box.top());
            QCOMPARE(label.height(), slot.box.height());
            const qreal gap
                = std::max(label.left() - slot.box.right(), slot.box.left() - label.right());
            QVERIFY2(gap >= 0 && gap <= 4, what);
            QVERIFY2(metrics.horizontalAdvance(SegmentViews::segmentName(view, slot.segment))
                         <= label.width(),
                     what);
            QVERIFY2(2 * metrics.height() <= label.height() + 0.5, what);
            for (const Slot &other : slots) {
                QVERIFY2(!label.intersects(other.box), what);
                QVERIFY2(&other == &slot || !slot.box.intersects(other.box), what);
                QVERIFY2(&other == &slot || !label.intersects(other.label), what);
            }
            // Some white round every strip, and a label stands nearest the strip it names.
            const QPainterPath strip = SegmentViews::stripPath(view, slot.segment);
            const qreal apart = distance(strip, label);
            for (int segment : SegmentViews::segments(view)) {
                const QPainterPath other = SegmentViews::stripPath(view, segment);
                QVERIFY2(!other.intersects(label) && distance(other, label) >= 2, what);
                QVERIFY2(distance(other, slot.box) >= 2, what);
                QVERIFY2(segment == slot.segment || distance(other, label) > apart, what);
            }
            // A label apart from its strip is joined to it by a leader that crosses nothing.
            QVERIFY2(!slot.leader.isNull() || apart <= 6, what);
            if (slot.leader.isNull())
                continue;
            QVERIFY2(distance(slot.leader.p1(), label) < 0.01, what);
            QVERIFY2(!label.adjusted(0.5, 0.5, -0.5, -0.5).contains(slot.leader.p1()), what);
            QVERIFY2(distance(strip, QRectF(slot.leader.p2(), QSizeF(0, 0))) < 1, what);
            for (int i = 1; i < 20; ++i) {
                const QPointF p = slot.leader.pointAt(i / 20.0);
                for (const Slot &other : slots)
                    QVERIFY2(!other.box.contains(p)
                                 && (&other == &slot || !other.label.contains(p)),
                             what);
                for (int segment : SegmentViews::segments(view)) {
                    QVERIFY2(segment == slot.segment
                                 || !SegmentViews::stripPath(view, segment).contains(p),
                             what);
                }
            }
        }
    }
}

enum class Pattern { Vertical, Diagonal, Checker, Solid, Empty };

void tst_SegmentViews::fills_data()
{
    QTest::addColumn<SegmentView>("view");
    QTest::addColumn<int>("segment");
    QTest::addColumn<Pattern>("pattern");

    const QMap<int, Pattern> others
        = { { 4, Pattern::Diagonal }, { 5, Pattern::Diagonal }, { 9, Pattern::Diagonal },
            { 3, Pattern::Checker },  { 8, Pattern::Checker },  { 15, Pattern::Checker },
            { 16, Pattern::Checker }, { 13, Pattern::Solid },   { 14, Pattern::Empty } };
    for (const Slot &slot : SegmentViews::scoreSlots()) {
        QTest::addRow("view %d, segment %d", int(slot.view), slot.segment)
            << slot.view << slot.segment << others.value(slot.segment, Pattern::Vertical);
    }
}

void tst_SegmentViews::fills()
{
    QFETCH(SegmentView, view);
    QFETCH(int, segment);
    QFETCH(Pattern, pattern);

    const QImage image = render(view);
    const QList<QPoint> pixels = interior(SegmentViews::stripPath(view, segment));
    QVERIFY(pixels.size() > 60);
    const qreal ink
        = std::count_if(pixels.cbegin(), pixels.cend(), [&](QPoint p) { return dark(image, p); })
        / qreal(pixels.size());
    // Hatching runs one way: neighbours along it share their shade, neighbours across it do not.
    const qreal down = coherence(image, pixels, { 0, 1 });
    const qreal rising = coherence(image, pixels, { 1, -1 });
    switch (pattern) {
    case Pattern::Solid:
        QVERIFY(ink > 0.95);
        break;
    case Pattern::Empty:
        QVERIFY(ink < 0.02);
        break;
    case Pattern::Vertical:
        QVERIFY(ink > 0.15 && ink < 0.6);
        QVERIFY(down > 0.9 && rising < 0.8);
        break;
    case Pattern::Diagonal:
        QVERIFY(ink > 0.1 && ink < 0.6);
        QVERIFY(rising > 0.9 && down < 0.8);
        break;
    case Pattern::Checker:
        QVERIFY(ink > 0.35 && ink < 0.65);
        QVERIFY(down < 0.8 && rising < 0.8);
        break;
    }
}

void tst_SegmentViews::labelsAreDrawnAgainstTheirBoxes()
{
    // Both lines carry ink, and on each the ink nearest the box starts at the label's edge.
    for (SegmentView view : kViews) {
        const QImage image = render(view);
        for (const Slot &slot : slotsOf(view)) {
            const QRect label = slot.label.toAlignedRect();
            const bool boxOnLeft = slot.box.right() <= slot.label.left();
            for (int line = 0; line < 2; ++line) {
                const int top = label.top() + line * label.height() / 2;
                int nearest = label.width();
                for (int y = top; y < top + label.height() / 2; ++y) {
                    for (int x = label.left(); x <= label.right(); ++x) {
                        if (dark(image, { x, y }))
                            nearest = std::min(nearest,
                                               boxOnLeft ? x - label.left() : label.right() - x);
                    }
                }
                QVERIFY2(nearest <= 3, nameOf(slot).toUtf8());
            }
        }
    }
}

void tst_SegmentViews::scalesIntoAnyTarget()
{
    // Four views side by side in cells wider than high: each fills its cell's height, centred.
    QImage strip(680, 133, QImage::Format_RGB32);
    strip.fill(Qt::white);
    {
        QPainter painter(&strip);
        for (int i = 0; i < 4; ++i)
            SegmentViews::paint(painter, kViews[i], QRectF(i * 170, 0, 170, 133));
    }
    QVERIFY(strip.save(screenshotDir() + u"report-strip.png"_s));
    for (int i = 0; i < 4; ++i) {
        const int left = i * 170 + (170 - 133) / 2;
        int inked = 0;
        for (int y = 0; y < 133; ++y) {
            for (int x = i * 170; x < (i + 1) * 170; ++x) {
                if (dark(strip, { x, y }, 250)) {
                    QVERIFY2(x >= left - 1 && x <= left + 133, qPrintable(QString::number(i)));
                    ++inked;
                }
            }
        }
        QVERIFY(inked > 500);
    }
}

void tst_SegmentViews::surroundingsLeftOut_data()
{
    QTest::addColumn<SegmentView>("view");
    QTest::addColumn<QPointF>("around"); // a point of a wall around the left ventricle
    QTest::newRow("four-chamber: right ventricle")
        << SegmentView::FourChamber << QPointF(13.5, 108);
    QTest::newRow("two-chamber: nothing around") << SegmentView::TwoChamber << QPointF();
    QTest::newRow("long axis: aortic root") << SegmentView::LongAxis << QPointF(197, 65);
    QTest::newRow("short axis: right ventricle") << SegmentView::ShortAxis << QPointF(63.8, 148.7);
}

void tst_SegmentViews::surroundingsLeftOut()
{
    QFETCH(SegmentView, view);
    QFETCH(QPointF, around);
    const auto draw = [view](Surroundings surroundings) {
        QImage image(SegmentViews::kSize, SegmentViews::kSize, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        SegmentViews::paintWalls(painter, view, kDesign, surroundings);
        return image;
    };
    const QImage drawn = draw(Surroundings::Drawn);
    const QImage alone = draw(Surroundings::LeftOut);
    // The strips are the same either way; only what lies around them goes.
    for (int segment : SegmentViews::segments(view)) {
        for (const QPoint &p : interior(SegmentViews::stripPath(view, segment)))
            QCOMPARE(alone.pixel(p), drawn.pixel(p));
    }
    if (around.isNull()) {
        QCOMPARE(alone, drawn);
        return;
    }
    const QRect spot = QRectF(around - QPointF(1.5, 1.5), QSizeF(3, 3)).toAlignedRect();
    bool inked = false;
    for (int y = spot.top(); y <= spot.bottom(); ++y) {
        for (int x = spot.left(); x <= spot.right(); ++x) {
            inked = inked || dark(drawn, { x, y });
            QVERIFY2(!dark(alone, { x, y }, 250), qPrintable(u"%1,%2"_s.arg(x).arg(y)));
        }
    }
    QVERIFY(inked);
}

void tst_SegmentViews::screenshots()
{
    // The page's look: the four drawings in their frames with dark-blue score boxes over them.
    const QString dir = screenshotDir();
    QImage page(640, 420, QImage::Format_RGB32);
    page.fill(QColor(0xC0, 0xC0, 0xC0));
    QPainter painter(&page);
    QFont boxFont = SegmentViews::defaultLabelFont();
    boxFont.setPixelSize(10);
    boxFont.setBold(true);
    painter.setFont(boxFont);
    for (int i = 0; i < 4; ++i) {
        const QImage view = render(kViews[i]);
        QVERIFY(view.save(dir + u"view-%1.png"_s.arg(i + 1)));
        const QPoint origin = kPageOrigins[i];
        painter.setPen(Qt::black);
        painter.drawRect(QRect(origin - QPoint(1, 1), QSize(201, 201)));
        painter.drawImage(origin, view);
        painter.setPen(Qt::white);
        for (const Slot &slot : slotsOf(kViews[i])) {
            const QRectF box = slot.box.translated(origin);
            painter.fillRect(box, QColor(0x00, 0x40, 0x80));
            painter.drawText(box, Qt::AlignCenter, u"1"_s);
        }
    }
    painter.end();
    QVERIFY(page.save(dir + u"page-with-boxes.png"_s));
}

QTEST_MAIN(tst_SegmentViews)
#include "tst_SegmentViews.moc"
