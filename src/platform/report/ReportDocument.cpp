#include "platform/report/ReportDocument.h"

#include "platform/report/ReportUnits.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

namespace {

constexpr quint32 kMagic = 0x54525044; // "TRPD"
// 2 added the creator after the title and where each text lies.
constexpr quint16 kVersion = 2;
// More than any report could have; a count beyond it means the file is not one of ours.
constexpr qint32 kMaxRecords = 10'000'000;
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

QSizeF pageSizeDots(const QSizeF &mm)
{
    return QSizeF(ReportUnits::mmToDots(mm.width()), ReportUnits::mmToDots(mm.height()));
}

QDataStream &operator<<(QDataStream &s, const ReportDocument::BandRecord &r)
{
    return s << qint32(r.page) << r.band << r.rectMm;
}

QDataStream &operator>>(QDataStream &s, ReportDocument::BandRecord &r)
{
    qint32 page = 0;
    s >> page >> r.band >> r.rectMm;
    r.page = page;
    return s;
}

QDataStream &operator<<(QDataStream &s, const ReportDocument::TextRecord &r)
{
    return s << qint32(r.page) << r.item << r.rectMm << r.text << r.textMm;
}

// Reads a record as the given version of the format wrote it.
void read(QDataStream &s, ReportDocument::TextRecord &r, quint16 version)
{
    qint32 page = 0;
    s >> page >> r.item >> r.rectMm >> r.text;
    if (version >= 2)
        s >> r.textMm;
    else
        r.textMm = r.rectMm;
    r.page = page;
}

void read(QDataStream &s, ReportDocument::BandRecord &r, quint16)
{
    s >> r;
}

template<typename Record> void writeList(QDataStream &s, const QList<Record> &list)
{
    s << qint32(list.size());
    for (const Record &r : list)
        s << r;
}

template<typename Record>
bool readList(QDataStream &s, QList<Record> &list, int pageCount, quint16 version)
{
    qint32 count = 0;
    s >> count;
    if (count < 0 || count > kMaxRecords)
        return false;
    list.clear();
    for (qint32 i = 0; i < count && s.status() == QDataStream::Ok; ++i) {
        Record r;
        read(s, r, version);
        if (r.page < 0 || r.page >= pageCount)
            return false;
        list.append(r);
    }
    return s.status() == QDataStream::Ok;
}

// Draws a page with the painter's current coordinates counting in page dots. QPicture::play()
// scales by the device's resolution over the picture's own (the screen's default); that is taken
// back out here so the page lands the same on every device and in every session.
void drawPage(QPainter &painter, const QPicture &page)
{
    const QPaintDevice *device = painter.device();
    painter.save();
    painter.scale(qreal(page.logicalDpiX()) / device->logicalDpiX(),
                  qreal(page.logicalDpiY()) / device->logicalDpiY());
    painter.drawPicture(QPointF(0, 0), page);
    painter.restore();
}

} // namespace

bool ReportDocument::TextRecord::isCut() const
{
    constexpr qreal kRounding = 0.01;
    return textMm.left() < rectMm.left() - kRounding || textMm.right() > rectMm.right() + kRounding
        || textMm.top() < rectMm.top() - kRounding || textMm.bottom() > rectMm.bottom() + kRounding;
}

ReportDocument::ReportDocument()
    : m_pageSize(QPageSize::A4)
{ }

ReportDocument::ReportDocument(const QPageSize &pageSize, QPageLayout::Orientation orientation)
    : m_pageSize(pageSize)
    , m_orientation(orientation)
{ }

QSizeF ReportDocument::pageSizeMm() const
{
    const QSizeF size = m_pageSize.size(QPageSize::Millimeter);
    return m_orientation == QPageLayout::Landscape ? size.transposed() : size;
}

QStringList ReportDocument::pageTexts(int page) const
{
    QStringList result;
    for (const TextRecord &r : m_texts) {
        if (r.page == page)
            result.append(r.text);
    }
    return result;
}

QStringList ReportDocument::itemTexts(const QString &item) const
{
    QStringList result;
    for (const TextRecord &r : m_texts) {
        if (r.item == item)
            result.append(r.text);
    }
    return result;
}

QStringList ReportDocument::pageBands(int page) const
{
    QStringList result;
    for (const BandRecord &r : m_bands) {
        if (r.page == page)
            result.append(r.band);
    }
    return result;
}

void ReportDocument::render(QPainter &painter, int index, const QRectF &target) const
{
    const QSizeF dots = pageSizeDots(pageSizeMm());
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / dots.width(), target.height() / dots.height());
    painter.setClipRect(QRectF(QPointF(0, 0), dots), Qt::IntersectClip);
    drawPage(painter, m_pages.at(index));
    painter.restore();
}

QImage ReportDocument::toImage(int index, qreal dotsPerInch) const
{
    const QSizeF mm = pageSizeMm();
    const QSize pixels(qRound(mm.width() / ReportUnits::kMmPerInch * dotsPerInch),
                       qRound(mm.height() / ReportUnits::kMmPerInch * dotsPerInch));
    QImage image(pixels, QImage::Format_RGB32);
    const int dotsPerMetre = qRound(dotsPerInch / ReportUnits::kMmPerInch * 1000);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing
                           | QPainter::SmoothPixmapTransform);
    render(painter, index, QRectF(QPointF(0, 0), QSizeF(pixels)));
    return image;
}

void ReportDocument::paintPages(QPainter &painter, QPagedPaintDevice &device, int from, int to,
                                const std::function<void(int, int)> &progress) const
{
    painter.save();
    painter.scale(device.logicalDpiX() / ReportUnits::kDotsPerInch,
                  device.logicalDpiY() / ReportUnits::kDotsPerInch);
    for (int i = from; i <= to; ++i) {
        if (progress)
            progress(i, pageCount());
        if (i > from)
            device.newPage();
        drawPage(painter, m_pages.at(i));
    }
    painter.restore();
}

bool ReportDocument::print(QPrinter &printer, const std::function<void(int, int)> &progress,
                           QString *error) const
{
    if (isEmpty())
        return true;
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(m_pageSize, m_orientation, QMarginsF()));
    if (!m_title.isEmpty())
        printer.setDocName(m_title);
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        printer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
        printer.setCreator(m_creator);
    }
    int from = 0;
    int to = pageCount() - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = printer.fromPage() - 1;
        if (printer.toPage() > 0)
            to = qMin(to, printer.toPage() - 1);
    }
    if (from > to)
        return true;
    const int copies = printer.supportsMultipleCopies() ? 1 : qMax(1, printer.copyCount());
    QPainter painter;
    if (!painter.begin(&printer)) {
        setError(error, QStringLiteral("The printer could not be started"));
        return false;
    }
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0)
            printer.newPage();
        paintPages(painter, printer, from, to, progress);
    }
    return painter.end();
}

bool ReportDocument::exportPdf(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, file.errorString());
        return false;
    }
    file.setPermissions(kOwnerOnly);
    {
        QPdfWriter writer(&file);
        writer.setResolution(int(ReportUnits::kDotsPerInch));
        writer.setPageLayout(QPageLayout(m_pageSize, m_orientation, QMarginsF()));
        writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
        writer.setTitle(m_title);
        writer.setCreator(m_creator);
        QPainter painter;
        if (!painter.begin(&writer)) {
            file.cancelWriting();
            setError(error, QStringLiteral("The PDF could not be started"));
            return false;
        }
        if (isEmpty()) {
            painter.end(); // a blank page rather than a file that is not a PDF
        } else {
            paintPages(painter, writer, 0, pageCount() - 1, {});
            painter.end();
        }
    }
    if (!file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    QFile::setPermissions(path, kOwnerOnly);
    return true;
}

bool ReportDocument::save(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, file.errorString());
        return false;
    }
    file.setPermissions(kOwnerOnly);
    QDataStream s(&file);
    s.setVersion(QDataStream::Qt_6_0);
    s << kMagic << kVersion;
    s << qint32(m_pageSize.id()) << m_pageSize.size(QPageSize::Millimeter) << qint32(m_orientation)
      << m_title << m_creator;
    s << qint32(m_pages.size());
    for (const QPicture &page : m_pages)
        s << QByteArray(page.data(), page.size());
    writeList(s, m_bands);
    writeList(s, m_texts);
    if (s.status() != QDataStream::Ok || !file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    QFile::setPermissions(path, kOwnerOnly);
    return true;
}

bool ReportDocument::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, file.errorString());
        return false;
    }
    QDataStream s(&file);
    s.setVersion(QDataStream::Qt_6_0);
    const QString notOurs = QStringLiteral("Not a saved report: %1").arg(path);
    quint32 magic = 0;
    quint16 version = 0;
    s >> magic >> version;
    if (s.status() != QDataStream::Ok || magic != kMagic || version == 0 || version > kVersion) {
        setError(error, notOurs);
        return false;
    }
    qint32 sizeId = 0;
    QSizeF sizeMm;
    qint32 orientation = 0;
    QString title;
    QString creator;
    qint32 pageCount = 0;
    s >> sizeId >> sizeMm >> orientation >> title;
    if (version >= 2)
        s >> creator;
    s >> pageCount;
    if (s.status() != QDataStream::Ok || sizeId < 0 || sizeId > QPageSize::LastPageSize
        || !sizeMm.isValid() || sizeMm.isEmpty() || pageCount < 0 || pageCount > kMaxRecords) {
        setError(error, notOurs);
        return false;
    }
    ReportDocument loaded(sizeId == QPageSize::Custom ? QPageSize(sizeMm, QPageSize::Millimeter)
                                                      : QPageSize(QPageSize::PageSizeId(sizeId)),
                          orientation == QPageLayout::Landscape ? QPageLayout::Landscape
                                                                : QPageLayout::Portrait);
    loaded.m_title = title;
    loaded.m_creator = creator;
    for (qint32 i = 0; i < pageCount; ++i) {
        QByteArray data;
        s >> data;
        // A picture starts with its own signature; anything else would only fail when drawn.
        if (s.status() != QDataStream::Ok || !data.startsWith("QPIC")) {
            setError(error, notOurs);
            return false;
        }
        QPicture picture;
        picture.setData(data.constData(), uint(data.size()));
        loaded.m_pages.append(picture);
    }
    if (!readList(s, loaded.m_bands, pageCount, version)
        || !readList(s, loaded.m_texts, pageCount, version)) {
        setError(error, notOurs);
        return false;
    }
    *this = loaded;
    return true;
}
