#include "workspace/SegmentViews.h"

#include <QPainter>
#include <QPolygonF>
#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

using namespace Qt::StringLiterals;

namespace SegmentViews {
namespace {

constexpr qreal kWall = 10; // thickness of the left-ventricular wall
constexpr qreal kApexThinning = 0.25; // the apex is thinner than the rest of the wall
constexpr qreal kOutlinePen = 1.0;
constexpr qreal kThinPen = kThinLine;
constexpr qreal kLabelGap = 2; // between a box and its label
constexpr qreal kTouching = 6; // closer than this, a label needs no leader

qreal length(const QPointF &p)
{
    return std::hypot(p.x(), p.y());
}

// A band of wall along a centre line, walked by arc length: t runs from 0 at the first point to 1
// at the last, so equal steps of t cut equally long pieces of wall.
class Band
{
public:
    // apexThinning is the share of the thickness lost at the middle of the walk, where an apical
    // view's apex is; the wall tapers to it smoothly over the apical segments.
    Band(QList<QPointF> centre, qreal thickness, qreal apexThinning = 0)
        : m_points(std::move(centre))
        , m_half(thickness / 2)
        , m_apexThinning(apexThinning)
    {
        m_lengths.reserve(m_points.size());
        qreal total = 0;
        for (qsizetype i = 0; i < m_points.size(); ++i) {
            if (i > 0)
                total += length(m_points.at(i) - m_points.at(i - 1));
            m_lengths << total;
        }
    }

    [[nodiscard]] QPointF pointAt(qreal t) const
    {
        const qreal wanted = std::clamp(t, 0.0, 1.0) * m_lengths.last();
        const auto it = std::lower_bound(m_lengths.cbegin(), m_lengths.cend(), wanted);
        const qsizetype i = std::max<qsizetype>(1, it - m_lengths.cbegin());
        const qreal span = m_lengths.at(i) - m_lengths.at(i - 1);
        const qreal f = span > 0 ? (wanted - m_lengths.at(i - 1)) / span : 0;
        return m_points.at(i - 1) + (m_points.at(i) - m_points.at(i - 1)) * f;
    }

    // Unit normal; side +1 lies to the left of the walking direction on screen (y down).
    [[nodiscard]] QPointF normalAt(qreal t) const
    {
        const qreal step = 0.5 / m_lengths.last();
        const QPointF d = pointAt(t + step) - pointAt(t - step);
        const qreal n = length(d);
        return n > 0 ? QPointF(d.y(), -d.x()) / n : QPointF();
    }

    [[nodiscard]] qreal halfThicknessAt(qreal t) const
    {
        constexpr qreal kTaper = 0.3;
        const qreal fromApex = std::abs(t - 0.5) / kTaper;
        if (fromApex >= 1)
            return m_half;
        const qreal bump = std::cos(M_PI / 2 * fromApex);
        return m_half * (1 - m_apexThinning * bump * bump);
    }

    [[nodiscard]] QPointF edgeAt(qreal t, int side) const
    {
        return pointAt(t) + normalAt(t) * (side * halfThicknessAt(t));
    }

    [[nodiscard]] QPolygonF edge(qreal t0, qreal t1, int side) const
    {
        const int steps = std::max(4, int(std::abs(t1 - t0) * m_lengths.last()));
        QPolygonF line;
        for (int i = 0; i <= steps; ++i)
            line << edgeAt(t0 + (t1 - t0) * i / steps, side);
        return line;
    }

    [[nodiscard]] QPainterPath strip(qreal t0, qreal t1) const
    {
        QPolygonF outline = edge(t0, t1, 1);
        const QPolygonF other = edge(t1, t0, -1);
        outline += other;
        QPainterPath path;
        path.addPolygon(outline);
        path.closeSubpath();
        return path;
    }

private:
    QList<QPointF> m_points;
    QList<qreal> m_lengths;
    qreal m_half = 0;
    qreal m_apexThinning = 0;
};

QList<QPointF> sampled(const QPainterPath &path)
{
    // pointAtPercent is not linear in length; sampling densely and walking by length evens it out.
    constexpr int kSamples = 600;
    QList<QPointF> points;
    points.reserve(kSamples + 1);
    for (int i = 0; i <= kSamples; ++i)
        points << path.pointAtPercent(qreal(i) / kSamples);
    return points;
}

// Centre line of a ventricle seen along its long axis: an oval (a superellipse, squareness 2 being
// a plain ellipse) cut off across the base, walked from the base on side A round the apex to the
// base on the other side.
QList<QPointF> ventricle(QPointF centre, QPointF towardApex, QPointF towardSideA, qreal halfLength,
                         qreal halfWidth, qreal baseDistance, qreal squareness)
{
    const qreal e = 2 / squareness;
    const auto power = [e](qreal x) { return std::copysign(std::pow(std::abs(x), e), x); };
    const qreal cut = std::asin(std::pow(baseDistance / halfLength, squareness / 2));
    constexpr int kSamples = 600;
    QList<QPointF> points;
    for (int i = 0; i <= kSamples; ++i) {
        const qreal theta = M_PI + cut - (M_PI + 2 * cut) * i / kSamples;
        points << centre + towardApex * (halfLength * power(std::sin(theta)))
                - towardSideA * (halfWidth * power(std::cos(theta)));
    }
    return points;
}

// A smooth curve through the given points (Catmull-Rom, turned into cubic Béziers).
QPainterPath smoothThrough(const QList<QPointF> &points)
{
    QPainterPath path(points.first());
    for (qsizetype i = 0; i + 1 < points.size(); ++i) {
        const QPointF p0 = points.at(std::max<qsizetype>(0, i - 1));
        const QPointF p1 = points.at(i);
        const QPointF p2 = points.at(i + 1);
        const QPointF p3 = points.at(std::min(points.size() - 1, i + 2));
        path.cubicTo(p1 + (p2 - p0) / 6, p2 - (p3 - p1) / 6, p2);
    }
    return path;
}

// The region between a circle and a second circle that pokes out of it: a crescent of the given
// thickness, centred on midDegrees and reaching halfDegrees either way along the circle.
QPainterPath crescent(QPointF centre, qreal radius, qreal midDegrees, qreal halfDegrees,
                      qreal thickness)
{
    const qreal outer = radius + thickness;
    const qreal offset = (outer * outer - radius * radius)
        / (2 * (outer - radius * std::cos(qDegreesToRadians(halfDegrees))));
    const qreal a = qDegreesToRadians(midDegrees);
    QPainterPath bulge;
    bulge.addEllipse(centre + QPointF(std::cos(a), -std::sin(a)) * offset, outer - offset,
                     outer - offset);
    QPainterPath inner;
    inner.addEllipse(centre, radius, radius);
    return bulge.subtracted(inner);
}

// A circle walked clockwise on screen from the given angle (degrees, counter-clockwise from +x).
QList<QPointF> circle(QPointF centre, qreal radius, qreal fromDegrees)
{
    constexpr int kSamples = 720;
    QList<QPointF> points;
    for (int i = 0; i <= kSamples; ++i) {
        const qreal a = qDegreesToRadians(fromDegrees - 360.0 * i / kSamples);
        points << centre + QPointF(std::cos(a), -std::sin(a)) * radius;
    }
    return points;
}

enum class Fill { Vertical, Diagonal, Checker, Solid, None };

Fill fillOf(int segment)
{
    switch (segment) {
    case 1:
    case 2:
    case 6:
    case 7:
    case 10:
    case 11:
    case 12:
        return Fill::Vertical;
    case 4:
    case 5:
    case 9:
        return Fill::Diagonal;
    case 3:
    case 8:
    case 15:
    case 16:
        return Fill::Checker;
    case 13:
        return Fill::Solid;
    default:
        return Fill::None;
    }
}

struct Strip
{
    int segment;
    QPainterPath path;
    QPolygonF anchors; // points on the strip's edges a leader may end at
};

// What a drawing shows besides its scored strips, of the left ventricle or around it.
struct Parts
{
    QList<QPainterPath> walls; // wall that is not scored: outlined, unfilled
    QPainterPath lines; // stroked only
    QPainterPath thinLines; // valve planes and leaflets
};

// One view's drawing in design units.
struct Drawing
{
    std::vector<Strip> strips;
    Parts ventricle;
    Parts surroundings; // the other chambers and vessels, for orientation
};

void addStrip(Drawing &drawing, const Band &band, int segment, qreal t0, qreal t1)
{
    // Leaders end on the middle of a strip's edge, well clear of its neighbours.
    const qreal inset = (t1 - t0) * 0.2;
    QPolygonF anchors = band.edge(t0 + inset, t1 - inset, 1);
    anchors += band.edge(t0 + inset, t1 - inset, -1);
    drawing.strips.push_back({ segment, band.strip(t0, t1), anchors });
}

// Where a ventricle's wall crosses the levels a third and two thirds of the way from the base to
// the apex, on side A and then on side B: basal, mid and apical segments are thirds of the long
// axis, not of the wall's length, so the apical ones take in the whole cap.
std::array<qreal, 4> thirds(const Band &band)
{
    const QPointF base = (band.pointAt(0) + band.pointAt(1)) / 2;
    const QPointF axis = band.pointAt(0.5) - base;
    const qreal axisSquared = axis.x() * axis.x() + axis.y() * axis.y();
    const auto level = [&](qreal t) {
        const QPointF p = band.pointAt(t) - base;
        return (p.x() * axis.x() + p.y() * axis.y()) / axisSquared;
    };
    constexpr int kSteps = 2000;
    std::array<qreal, 4> cuts = { 0.5, 0.5, 0.5, 0.5 };
    for (int i = kSteps / 2; i >= 0; --i) {
        const qreal t = qreal(i) / kSteps;
        if (level(t) >= 2.0 / 3)
            cuts[1] = t;
        if (level(t) >= 1.0 / 3)
            cuts[0] = t;
        if (level(1 - t) >= 2.0 / 3)
            cuts[2] = 1 - t;
        if (level(1 - t) >= 1.0 / 3)
            cuts[3] = 1 - t;
    }
    return cuts;
}

// Six strips round an apical view: basal, mid and apical up side A, then down side B.
void addApicalStrips(Drawing &drawing, const Band &band, const int (&segments)[6])
{
    const std::array<qreal, 4> cut = thirds(band);
    const qreal bounds[] = { 0, cut[0], cut[1], 0.5, cut[2], cut[3], 1 };
    for (int i = 0; i < 6; ++i)
        addStrip(drawing, band, segments[i], bounds[i], bounds[i + 1]);
}

// Apex up, septum left with the right ventricle beside it, lateral wall right.
Drawing fourChamber()
{
    Drawing d;
    const Band lv(ventricle({ 114.5, 115 }, { 0, -1 }, { -1, 0 }, 101, 26.5, 57, 2.2), kWall,
                  kApexThinning);
    addApicalStrips(d, lv, { 5, 10, 11, 13, 8, 3 });

    // The right ventricle's free wall bows out from the tricuspid ring and meets the septum well
    // below the apex; its far side hides behind the mid-septal score box.
    const Band rv(sampled(smoothThrough({ { 30, 172 },
                                          { 19, 140 },
                                          { 16, 108 },
                                          { 24, 82 },
                                          { 42, 64 },
                                          { 64, 58 },
                                          { 86, 62 } })),
                  5);
    d.surroundings.walls << rv.strip(0, 1);

    d.ventricle.thinLines.moveTo(lv.edgeAt(0, -1));
    d.ventricle.thinLines.lineTo(lv.edgeAt(1, -1));
    d.surroundings.thinLines.moveTo(rv.edgeAt(0, -1));
    d.surroundings.thinLines.lineTo(lv.edgeAt(0, 1));
    return d;
}

// Apex up, inferior wall left, anterior wall right.
Drawing twoChamber()
{
    Drawing d;
    const Band lv(ventricle({ 100.3, 125 }, { 0, -1 }, { -1, 0 }, 112, 22, 47, 2.0), kWall,
                  kApexThinning);
    addApicalStrips(d, lv, { 4, 9, 14, 12, 7, 2 });

    d.ventricle.thinLines.moveTo(lv.edgeAt(0, -1));
    d.ventricle.thinLines.lineTo(lv.edgeAt(1, -1));
    return d;
}

// The ventricle on its side: septum above, posterior wall below, apex left; the aortic root and
// the left atrium carry on to the right.
Drawing longAxis()
{
    Drawing d;
    const Band lv(ventricle({ 140, 110 }, { -1, 0 }, { 0, -1 }, 128, 38, 18, 2.2), kWall,
                  kApexThinning);
    // This view scores no apical segment: the apex is plain wall.
    const std::array<qreal, 4> cut = thirds(lv);
    addStrip(d, lv, 1, 0, cut[0]);
    addStrip(d, lv, 6, cut[0], cut[1]);
    d.ventricle.walls << lv.strip(cut[1], cut[2]);
    addStrip(d, lv, 15, cut[2], cut[3]);
    addStrip(d, lv, 16, cut[3], 1);

    // The aortic root carries on from the septum; the left atrium lies behind it, the two sharing
    // a wall that runs into the anterior mitral leaflet.
    const QPointF septumBase = lv.edgeAt(0, -1);
    const QPointF posteriorBase = lv.edgeAt(1, -1);
    const QPointF mitralHinge(166, 96);
    QPainterPath other;
    other.moveTo(septumBase);
    other.cubicTo(172, 67, 186, 65, 199, 65);
    other.moveTo(mitralHinge);
    other.cubicTo(178, 97, 190, 96, 199, 96);
    other.moveTo(posteriorBase);
    other.cubicTo(172, 156, 188, 154, 199, 148);
    d.surroundings.lines = other;

    // The valves hinge on the walls of the root and the atrium, so they go with them.
    QPainterPath valves;
    // Mitral leaflets, open into the ventricle.
    valves.moveTo(mitralHinge);
    valves.cubicTo(158, 100, 150, 106, 143, 114);
    valves.moveTo(lv.edgeAt(1, 1));
    valves.cubicTo(156, 140, 151, 136, 147, 130);
    // Aortic cusps, closed.
    valves.moveTo(174, 66);
    valves.lineTo(180, 80);
    valves.moveTo(174, 96);
    valves.lineTo(180, 82);
    d.surroundings.thinLines = valves;
    return d;
}

constexpr QPointF kRingCentre(107, 133);
constexpr qreal kRingOuter = 35;

// The ring at mid-ventricle seen from the apex, with the right ventricle as a crescent on the left.
// Clockwise from the lower left: 10, 6 at the top, 7, 8 and 9 at the bottom. The sectors are cut
// unevenly so that each label sits nearest its own sector.
Drawing shortAxis()
{
    Drawing d;
    constexpr qreal kStart = 200;
    const Band ring(circle(kRingCentre, kRingOuter - kWall / 2, kStart), kWall);
    const struct
    {
        int segment;
        qreal to; // degrees, counter-clockwise from +x
    } sectors[] = { { 10, 122 }, { 6, 55 }, { 7, -15 }, { 8, -75 }, { 9, -160 } };
    qreal from = kStart;
    for (const auto &sector : sectors) {
        addStrip(d, ring, sector.segment, (kStart - from) / 360, (kStart - sector.to) / 360);
        from = sector.to;
    }

    // The right ventricle hugs the septal side.
    d.surroundings.lines = crescent(kRingCentre, kRingOuter, 200, 62, 11);
    // Papillary muscles.
    d.ventricle.lines.addEllipse(kRingCentre + QPointF(13, 9), 4, 4);
    d.ventricle.lines.addEllipse(kRingCentre + QPointF(-8, 14), 4, 4);
    return d;
}

const std::array<Drawing, 4> &drawings()
{
    static const std::array<Drawing, 4> all
        = { fourChamber(), twoChamber(), longAxis(), shortAxis() };
    return all;
}

const Drawing &drawingOf(SegmentView view)
{
    return drawings().at(std::size_t(view));
}

QList<const Parts *> partsOf(SegmentView view, Surroundings surroundings)
{
    const Drawing &drawing = drawingOf(view);
    if (surroundings == Surroundings::LeftOut)
        return { &drawing.ventricle };
    return { &drawing.surroundings, &drawing.ventricle };
}

const Strip *stripOf(SegmentView view, int segment)
{
    for (const Strip &strip : drawingOf(view).strips) {
        if (strip.segment == segment)
            return &strip;
    }
    return nullptr;
}

qreal distanceToRect(const QPointF &p, const QRectF &r)
{
    const qreal dx = std::max({ r.left() - p.x(), 0.0, p.x() - r.right() });
    const qreal dy = std::max({ r.top() - p.y(), 0.0, p.y() - r.bottom() });
    return std::hypot(dx, dy);
}

QLineF leaderFor(const QRectF &label, const Strip &strip)
{
    QPointF best;
    qreal bestDistance = std::numeric_limits<qreal>::max();
    for (const QPointF &p : strip.anchors) {
        const qreal distance = distanceToRect(p, label);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = p;
        }
    }
    if (bestDistance <= kTouching)
        return {};
    const QPointF from(std::clamp(best.x(), label.left(), label.right()),
                       std::clamp(best.y(), label.top(), label.bottom()));
    return { from, best };
}

enum class Side { Left, Right }; // where the label stands relative to its box

struct Place
{
    SegmentView view;
    int segment;
    QPointF box;
    Side side;
    qreal labelWidth; // the name at 9 units, rounded up
};

// The score boxes sit at fixed places on the page; each label takes the roomier side of its box.
const Place kPlaces[] = {
    { SegmentView::FourChamber, 11, { 26, 30 }, Side::Right, 31 },
    { SegmentView::FourChamber, 13, { 170, 41 }, Side::Left, 23 },
    { SegmentView::FourChamber, 8, { 181, 103 }, Side::Left, 28 },
    { SegmentView::FourChamber, 3, { 178, 147 }, Side::Left, 28 },
    { SegmentView::FourChamber, 5, { 74, 177 }, Side::Left, 55 },
    { SegmentView::FourChamber, 10, { 5, 97 }, Side::Right, 55 },
    { SegmentView::TwoChamber, 14, { 34, 37 }, Side::Right, 23 },
    { SegmentView::TwoChamber, 12, { 153, 39 }, Side::Left, 26 },
    { SegmentView::TwoChamber, 7, { 169, 93 }, Side::Left, 31 },
    { SegmentView::TwoChamber, 2, { 165, 151 }, Side::Left, 31 },
    { SegmentView::TwoChamber, 4, { 24, 145 }, Side::Right, 28 },
    { SegmentView::TwoChamber, 9, { 16, 92 }, Side::Right, 28 },
    { SegmentView::LongAxis, 6, { 22, 28 }, Side::Right, 50 },
    { SegmentView::LongAxis, 1, { 152, 42 }, Side::Left, 50 },
    { SegmentView::LongAxis, 16, { 148, 156 }, Side::Left, 35 },
    { SegmentView::LongAxis, 15, { 36, 174 }, Side::Right, 35 },
    { SegmentView::ShortAxis, 6, { 107, 29 }, Side::Left, 50 },
    { SegmentView::ShortAxis, 7, { 171, 88 }, Side::Left, 31 },
    { SegmentView::ShortAxis, 8, { 166, 171 }, Side::Left, 28 },
    { SegmentView::ShortAxis, 9, { 112, 171 }, Side::Left, 47 },
    { SegmentView::ShortAxis, 10, { 8, 83 }, Side::Right, 55 },
};

QList<Slot> buildSlots()
{
    QList<Slot> all;
    for (const Place &place : kPlaces) {
        Slot slot;
        slot.view = place.view;
        slot.segment = place.segment;
        slot.box = QRectF(place.box, QSizeF(kBoxWidth, kBoxHeight));
        const qreal x = place.side == Side::Right ? slot.box.right() + kLabelGap
                                                  : slot.box.left() - kLabelGap - place.labelWidth;
        slot.label = QRectF(x, slot.box.top(), place.labelWidth, kBoxHeight);
        slot.leader = leaderFor(slot.label, *stripOf(place.view, place.segment));
        all << slot;
    }
    return all;
}

void hatch(QPainter &painter, const QPainterPath &area, Fill fill)
{
    if (fill == Fill::None)
        return;
    if (fill == Fill::Solid) {
        painter.fillPath(area, Qt::black);
        return;
    }
    painter.save();
    painter.setClipPath(area, Qt::IntersectClip);
    const QRectF r = area.boundingRect();
    painter.setPen(QPen(Qt::black, 0.8, Qt::SolidLine, Qt::FlatCap));
    // Grids are anchored to whole design units, so at full size the lines land on pixels.
    switch (fill) {
    case Fill::Vertical:
        for (qreal x = std::floor(r.left() / 3) * 3 + 0.5; x < r.right(); x += 3)
            painter.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
        break;
    case Fill::Diagonal:
        for (qreal c = std::floor((r.left() + r.top()) / 4) * 4; c < r.right() + r.bottom(); c += 4)
            painter.drawLine(QPointF(c - r.top(), r.top()), QPointF(c - r.bottom(), r.bottom()));
        break;
    case Fill::Checker:
        for (qreal y = std::floor(r.top() / 2) * 2; y < r.bottom(); y += 2) {
            for (qreal x = std::floor(r.left() / 2) * 2; x < r.right(); x += 2) {
                if ((int(x / 2) + int(y / 2)) % 2 == 0)
                    painter.fillRect(QRectF(x, y, 2, 2), Qt::black);
            }
        }
        break;
    default:
        break;
    }
    painter.restore();
}

void drawLabel(QPainter &painter, const Slot &slot, const QFont &font)
{
    const Qt::Alignment horizontal
        = slot.label.left() >= slot.box.right() ? Qt::AlignLeft : Qt::AlignRight;
    const qreal half = slot.label.height() / 2;
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRectF(slot.label.left(), slot.label.top(), slot.label.width(), half),
                     horizontal | Qt::AlignVCenter | Qt::TextDontClip,
                     QString::number(slot.segment));
    painter.setFont(font);
    painter.drawText(QRectF(slot.label.left(), slot.label.top() + half, slot.label.width(), half),
                     horizontal | Qt::AlignVCenter | Qt::TextDontClip,
                     segmentName(slot.view, slot.segment));
}

} // namespace

const QList<Slot> &scoreSlots()
{
    static const QList<Slot> all = buildSlots();
    return all;
}

QList<int> segments(SegmentView view)
{
    QList<int> result;
    for (const Strip &strip : drawingOf(view).strips)
        result << strip.segment;
    return result;
}

QString segmentName(SegmentView view, int segment)
{
    switch (segment) {
    case 1:
        return u"bas ant sept"_s;
    case 2:
        return u"bas ant"_s;
    case 3:
        return u"bas lat"_s;
    case 4:
        return u"bas inf"_s;
    case 5:
        return u"bas post sept"_s;
    case 6:
        return u"mid ant sept"_s;
    case 7:
        return u"mid ant"_s;
    case 8:
        return u"mid lat"_s;
    case 9:
        return view == SegmentView::ShortAxis ? u"mid inf post"_s : u"mid inf"_s;
    case 10:
        return u"mid post sept"_s;
    case 11:
        return u"ap sept"_s;
    case 12:
        return u"ap ant"_s;
    case 13:
        return u"ap lat"_s;
    case 14:
        return u"ap inf"_s;
    case 15:
        return u"mid post"_s;
    case 16:
        return u"bas post"_s;
    default:
        return {};
    }
}

QPainterPath stripPath(SegmentView view, int segment)
{
    const Strip *strip = stripOf(view, segment);
    return strip ? strip->path : QPainterPath();
}

QLineF leader(SegmentView view, int segment, const QRectF &label)
{
    const Strip *strip = stripOf(view, segment);
    return strip ? leaderFor(label, *strip) : QLineF();
}

QFont defaultLabelFont()
{
    QFont font;
    font.setFamilies({ u"Arial"_s, u"Liberation Sans"_s, u"Helvetica"_s });
    font.setPixelSize(9);
    return font;
}

QTransform transformFor(const QRectF &target)
{
    const qreal scale = std::min(target.width(), target.height()) / kSize;
    const QPointF offset = target.center() - QPointF(kSize, kSize) * (scale / 2);
    return QTransform::fromTranslate(offset.x(), offset.y()).scale(scale, scale);
}

void paint(QPainter &painter, SegmentView view, const QRectF &target, const QFont &labelFont)
{
    paintWalls(painter, view, target);
    QFont font = labelFont;
    if (font.pixelSize() <= 0)
        font.setPixelSize(std::max(1, qRound(font.pointSizeF())));

    painter.save();
    painter.setTransform(transformFor(target), true);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QPen(Qt::black, kThinPen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (const Slot &slot : scoreSlots()) {
        if (slot.view == view && !slot.leader.isNull())
            painter.drawLine(slot.leader);
    }
    painter.setPen(Qt::black);
    for (const Slot &slot : scoreSlots()) {
        if (slot.view == view)
            drawLabel(painter, slot, font);
    }
    painter.restore();
}

void paintWalls(QPainter &painter, SegmentView view, const QRectF &target,
                Surroundings surroundings)
{
    painter.save();
    painter.setTransform(transformFor(target), true);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QPen outline(Qt::black, kOutlinePen, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    const QPen thin(Qt::black, kThinPen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    const QList<const Parts *> parts = partsOf(view, surroundings);
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    for (const Parts *p : parts)
        painter.drawPath(p->lines);
    for (const Parts *p : parts) {
        for (const QPainterPath &wall : p->walls) {
            painter.fillPath(wall, Qt::white);
            painter.drawPath(wall);
        }
    }
    // Strips go over the other walls, which run into them.
    for (const Strip &strip : drawingOf(view).strips) {
        painter.fillPath(strip.path, Qt::white);
        hatch(painter, strip.path, fillOf(strip.segment));
        painter.setPen(outline);
        painter.drawPath(strip.path);
    }

    painter.setPen(thin);
    for (const Parts *p : parts)
        painter.drawPath(p->thinLines);
    painter.restore();
}

} // namespace SegmentViews
