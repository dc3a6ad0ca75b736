#include "reports/ReportRender.h"

#include "reports/ListTable.h"
#include "reports/ReportPictures.h"
#include "reports/TableDirection.h"

#include <kainjow/mustache.hpp>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFont>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextFrameFormat>
#include <QTextOption>
#include <QThread>

#include <functional>

namespace reports {

namespace mu = kainjow::mustache;

namespace {

constexpr qreal kDpi = 96.0;
constexpr qreal kMargin = 0.5 * kDpi;        // half an inch round the text
constexpr qreal kFooterSpace = 0.75 * kDpi;  // the page number lives here

std::string u8(const QString &s)
{
    return s.toStdString();
}

// "14250309" -> "1425/03/09"; a date never chosen ("00000000") -> "";
// anything else as it stands.
QString formatDate(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() != 8)
        return text;
    for (const QChar c : t)
        if (!c.isDigit())
            return text;
    if (t == QLatin1String("00000000"))
        return {};
    return t.left(4) + QLatin1Char('/') + t.mid(4, 2) + QLatin1Char('/') + t.mid(6, 2);
}

// A value as the layout sees it. One that is empty or only blanks (the
// data keep an empty field as one blank) prints nothing and counts as
// absent: {{#name}}...{{/name}} leaves out the words around it.
mu::data layoutValue(const QString &text)
{
    if (text.trimmed().isEmpty())
        return mu::data(false);
    return mu::data(u8(text));
}

mu::data rowObject(const QueryResult &r, const QStringList &row, int number)
{
    mu::data object{mu::data::type::object};
    for (int c = 0; c < r.columns.size(); ++c)
        object.set(u8(r.columns.at(c)), layoutValue(row.at(c)));
    if (r.column(QStringLiteral("row_no")) < 0)
        object.set("row_no", std::to_string(number));
    return object;
}

const QString kStyleSheet = QStringLiteral(
    "body { font-family: 'Noto Sans Arabic'; font-size: 11pt; }"
    "h1 { font-size: 17pt; text-align: center; margin-bottom: 4px; }"
    "h2 { font-size: 13pt; margin-top: 10px; margin-bottom: 4px; }"
    "table.grid { border-collapse: collapse; border: 1px solid #555; }"
    "table.grid th { background-color: #dfe9e2; border: 1px solid #555; padding: 3px; }"
    "table.grid td { border: 1px solid #999; padding: 3px; }"
    "td.num, th.num { text-align: center; }"
    ".muted { color: #555; font-size: 9pt; }"
    ".total { font-weight: bold; background-color: #f1f1f1; }");

} // namespace

QString chartResource(const QString &chartName)
{
    return QStringLiteral("report-chart:") + chartName;
}

QString layoutError(const QString &layout)
{
    mu::mustache tmpl{u8(layout)};
    return tmpl.is_valid() ? QString() : QString::fromStdString(tmpl.error_message());
}

namespace {

// The parameters as given, dates also as they are read (1425/03/09), and the
// period they span.
void addParameters(mu::data &root, const ReportData &data)
{
    for (auto it = data.parameters.begin(); it != data.parameters.end(); ++it) {
        root.set(u8(it.key()), layoutValue(it.value()));
        if (it.key() != QLatin1String(kCaller) && it.key() != QLatin1String(kPersonNo))
            root.set(u8(it.key() + QStringLiteral("_text")), u8(formatDate(it.value())));
    }
    if (!data.parameters.contains(QLatin1String(kFromDate)))
        return;
    const QString from = data.parameters.value(QLatin1String(kFromDate));
    const QString to = data.parameters.value(QLatin1String(kToDate), QStringLiteral("99999999"));
    const bool fromStart = from == QLatin1String("00000000");
    const bool toEnd = to == QLatin1String("99999999");
    const QString period = fromStart && toEnd ? QStringLiteral("جميع التواريخ")
                           : fromStart        ? QStringLiteral("حتى %1").arg(formatDate(to))
                           : toEnd            ? QStringLiteral("من %1").arg(formatDate(from))
                                       : QStringLiteral("من %1 إلى %2").arg(formatDate(from), formatDate(to));
    root.set("period", u8(period));
}

// The rows of a grouped query, one group per run of the same value.
mu::data groupedRows(const QueryResult &r, int key, int shown, const std::function<void(int)> &checkStop)
{
    mu::data groups{mu::data::type::list};
    int i = 0;
    while (i < shown) {
        const QString value = r.rows.at(i).at(key);
        mu::data rows{mu::data::type::list};
        int count = 0;
        for (; i < shown && r.rows.at(i).at(key) == value; ++i, ++count) {
            checkStop(i);
            rows.push_back(rowObject(r, r.rows.at(i), count + 1));
        }
        mu::data group{mu::data::type::object};
        group.set(u8(r.columns.at(key)), layoutValue(value));
        group.set("group", u8(value));
        group.set("count", std::to_string(count));
        group.set("rows", rows);
        groups.push_back(group);
    }
    return groups;
}

} // namespace

QString renderHtml(const ReportData &data, int rowLimit, const StopCheck &stopped)
{
    const std::function<void(int)> checkStop = [&stopped](int row) {
        if (stopped && row % 1024 == 0 && stopped())
            throw LayoutStopped();
    };
    mu::data root{mu::data::type::object};
    root.set("title", u8(data.def.title));
    root.set("today", u8(data.today));
    addParameters(root, data);
    root.set("date", mu::lambda2{[](const std::string &text, const mu::renderer &render) {
                 return u8(formatDate(QString::fromStdString(render(text, false))));
             }});
    if (!data.picture.isNull())
        root.set("picture", kPictureResource);
    if (!data.logo.isNull())
        root.set("logo", kLogoResource);

    mu::data charts{mu::data::type::object};
    for (const ChartDef &c : data.def.charts)
        charts.set(u8(c.name), u8(QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%3\">")
                                      .arg(chartResource(c.name))
                                      .arg(c.width / 2)
                                      .arg(c.height / 2)));
    root.set("charts", charts);

    for (const QueryResult &r : data.results) {
        const int shown = rowLimit > 0 ? qMin<int>(rowLimit, r.rows.size()) : int(r.rows.size());
        mu::data list{mu::data::type::list};
        for (int i = 0; i < shown; ++i) {
            checkStop(i);
            list.push_back(rowObject(r, r.rows.at(i), i + 1));
        }
        root.set(u8(r.name), list);
        root.set(u8(r.name + QStringLiteral("_count")), std::to_string(r.rows.size()));
        const QueryDef *q = data.def.query(r.name);
        if (q && !q->groupBy.isEmpty())
            root.set(u8(r.name + QStringLiteral("_groups")), groupedRows(r, r.column(q->groupBy), shown, checkStop));
    }

    mu::mustache tmpl{u8(data.def.layout)};
    if (!tmpl.is_valid())
        throw ReportError(data.def.message(QStringLiteral("خطأ في قسم التصميم: %1")
                                               .arg(QString::fromStdString(tmpl.error_message()))));
    const std::string html = tmpl.render(root);
    if (!tmpl.is_valid())
        throw ReportError(data.def.message(QStringLiteral("خطأ في قسم التصميم: %1")
                                               .arg(QString::fromStdString(tmpl.error_message()))));
    return QString::fromStdString(html);
}

QMap<QString, QImage> reportImages(const ReportData &data, const QMap<QString, QImage> &charts)
{
    QMap<QString, QImage> images;
    for (auto it = charts.begin(); it != charts.end(); ++it)
        images.insert(chartResource(it.key()), it.value());
    if (!data.picture.isNull())
        images.insert(QLatin1String(kPictureResource), data.picture);
    if (!data.logo.isNull())
        images.insert(QLatin1String(kLogoResource), data.logo);
    return images;
}

namespace {

// The parts of a report's HTML: rich text, and the list tables between.
struct HtmlPiece {
    QString html;
    std::optional<ListTable> table;
};

// Where "<table" or "</table" (any letter case) starts at or after `from`.
qsizetype findTableTag(const QString &html, qsizetype from, bool closing)
{
    const QLatin1String tag = closing ? QLatin1String("</table") : QLatin1String("<table");
    for (qsizetype at = html.indexOf(tag, from, Qt::CaseInsensitive); at >= 0;
         at = html.indexOf(tag, at + 1, Qt::CaseInsensitive)) {
        const qsizetype after = at + tag.size();
        if (after >= html.size() || html.at(after) == QLatin1Char('>') || html.at(after).isSpace())
            return at;
    }
    return -1;
}

// Cuts the list tables standing on their own (not inside another table)
// out of the HTML. Each later rich-text part starts with the body tag of
// the whole, so that it reads in the same direction.
QList<HtmlPiece> splitHtml(const QString &html)
{
    static const QRegularExpression bodyTag(QStringLiteral("<body\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    const QString body = bodyTag.match(html).captured(0);
    QList<HtmlPiece> pieces;
    qsizetype done = 0;
    qsizetype scan = 0;
    for (;;) {
        const qsizetype open = findTableTag(html, scan, false);
        if (open < 0)
            break;
        // Its end: the matching "</table>", nested tables counted.
        int depth = 0;
        qsizetype at = open;
        qsizetype end = -1;
        while (at >= 0) {
            const qsizetype nextOpen = findTableTag(html, at + 1, false);
            const qsizetype nextClose = findTableTag(html, at + 1, true);
            if (nextClose < 0)
                break;
            if (nextOpen >= 0 && nextOpen < nextClose) {
                ++depth;
                at = nextOpen;
                continue;
            }
            if (depth == 0) {
                const qsizetype gt = html.indexOf(QLatin1Char('>'), nextClose);
                end = gt < 0 ? -1 : gt + 1;
                break;
            }
            --depth;
            at = nextClose;
        }
        if (end < 0)
            break;
        std::optional<ListTable> table = ListTable::parse(QStringView(html).mid(open, end - open));
        if (table) {
            pieces.append({(done > 0 ? body : QString()) + html.mid(done, open - done), std::nullopt});
            pieces.append({QString(), std::move(table)});
            done = end;
        }
        scan = end;
    }
    pieces.append({(done > 0 ? body : QString()) + html.mid(done), std::nullopt});
    return pieces;
}

// The rich text of a report: nothing it names is read on its own, from a
// file or elsewhere; every picture is given to it beforehand.
class ReportTextDocument final : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

// The pictures of one layout, read once whatever the number of parts.
struct LayoutPictures {
    QStringList folders;
    QDeadlineTimer deadline;
    QMap<QString, QImage> read;
    QMap<QString, QString> refused; // name -> why
};

// Gives the document every picture it names, read from the allowed
// folders; a picture that cannot be is replaced by a note saying why. Runs
// before the document is laid out, which would read the pictures it lacks
// by itself.
void placePictures(QTextDocument &doc, LayoutPictures &pictures)
{
    QList<QPair<int, QString>> found; // position, name
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().isImageFormat())
                for (int i = 0; i < f.length(); ++i)
                    found.append({f.position() + i, f.charFormat().toImageFormat().name()});
        }
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        const QString &name = it->second;
        if (doc.resource(QTextDocument::ImageResource, QUrl(name)).isValid())
            continue;
        if (!pictures.read.contains(name) && !pictures.refused.contains(name)) {
            QString why;
            const QImage image = readPicture(name, pictures.folders, pictures.deadline, &why);
            if (image.isNull())
                pictures.refused.insert(name, why);
            else
                pictures.read.insert(name, image);
        }
        if (pictures.read.contains(name)) {
            doc.addResource(QTextDocument::ImageResource, QUrl(name), pictures.read.value(name));
            continue;
        }
        QTextCursor cursor(&doc);
        cursor.setPosition(it->first);
        cursor.setPosition(it->first + 1, QTextCursor::KeepAnchor);
        QTextCharFormat note;
        note.setForeground(QColor(0x55, 0x55, 0x55));
        cursor.insertText(QStringLiteral("[صورة لم تعرض: %1 - %2]").arg(name.left(80), pictures.refused.value(name)), note);
    }
}

// True when the rich text shows nothing at all.
bool showsNothing(const QTextDocument &doc, const QString &html)
{
    if (!doc.toPlainText().trimmed().isEmpty())
        return false;
    for (const char *tag : {"<img", "<table", "<hr"})
        if (html.contains(QLatin1String(tag), Qt::CaseInsensitive))
            return false;
    return true;
}

// The bottom of what the document shows, with the bottom margin of its
// last part, in document coordinates.
qreal contentEnd(QTextDocument &doc)
{
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    qreal end = 0;
    QTextFrame *root = doc.rootFrame();
    for (auto it = root->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *frame = it.currentFrame()) {
            end = qMax(end, layout->frameBoundingRect(frame).bottom());
        } else {
            const QTextBlock block = it.currentBlock();
            if (block.text().trimmed().isEmpty() && !block.next().isValid() && end > 0)
                continue; // the empty paragraph the layout keeps after a table
            end = qMax(end, layout->blockBoundingRect(block).bottom() + block.blockFormat().bottomMargin());
        }
    }
    return end;
}

} // namespace

// The parts of a report down its pages: the rich text laid out and paged
// by the rich-text engine, the list tables paged here.
struct ReportDocument::Flow {
    struct RichPart {
        std::unique_ptr<QTextDocument> doc;
        int firstPage = 0;
        int pageCount = 0;
    };
    struct Piece {
        int row;
        qreal from, to; // the part of the row on this page
        qreal top;      // where that part starts on the page
    };
    struct TablePage {
        int page;
        qreal headingTop;
        QList<Piece> pieces;
    };
    struct TablePart {
        ListTable table;
        QList<TablePage> pages; // consecutive pages
    };

    Flow(const QSizeF &pageSize, qreal top, qreal bottom) : page(pageSize), top(top), bottom(bottom), y(top) {}

    // Pages a table from where the flow stands.
    void addTable(ListTable table);
    // Places rich text, laid out with its root frame's margins, from where
    // the flow stands.
    void addRichText(std::unique_ptr<QTextDocument> doc);
    int pageCount() const { return qMax(lastPage, current) + 1; }

    std::vector<RichPart> rich;
    std::vector<TablePart> tables;

private:
    TablePage &newPage(TablePart &part, qreal heading)
    {
        ++current;
        y = top;
        part.pages.append({current, y, {}});
        y += heading;
        return part.pages.last();
    }

    QSizeF page;
    qreal top, bottom; // of the text on each page
    int current = 0;   // where the next part starts: page...
    qreal y;           // ...and height on it
    int lastPage = 0;
};

void ReportDocument::Flow::addTable(ListTable table)
{
    TablePart part{std::move(table), {}};
    const ListTable &t = part.table;
    const qreal heading = t.headingHeight();
    const qreal capacity = bottom - top - heading; // rows on a page of their own
    // The heading never stands alone at the foot of a page.
    const qreal first = t.rowCount() > 0 ? qMin(t.rowHeight(0), capacity) : 0;
    if (y > top && y + heading + first > bottom) {
        ++current;
        y = top;
    }
    part.pages.append({current, y, {}});
    y += heading;
    TablePage *onPage = &part.pages.last();
    for (int r = 0; r < t.rowCount(); ++r) {
        const qreal height = t.rowHeight(r);
        qreal from = 0;
        while (from < height) {
            const qreal room = bottom - y;
            if (height - from <= room) {
                onPage->pieces.append({r, from, height, y});
                y += height - from;
                break;
            }
            const bool pageHasRows = !onPage->pieces.isEmpty() || onPage->headingTop > top;
            if (from > 0 || !pageHasRows || height > capacity) {
                // A row taller than a page is cut between two of its lines;
                // one that is not goes whole to the next page.
                qreal cut = t.cutHeight(r, from + room);
                if (cut <= from)
                    cut = pageHasRows ? from : from + qMax<qreal>(room, 1);
                if (cut > from) {
                    onPage->pieces.append({r, from, cut, y});
                    from = cut;
                }
            }
            onPage = &newPage(part, heading);
        }
    }
    lastPage = qMax(lastPage, current);
    tables.push_back(std::move(part));
}

void ReportDocument::Flow::addRichText(std::unique_ptr<QTextDocument> doc)
{
    if (y > top) {
        // The text starts where the part before ended: a first line of that
        // height keeps the top of its first page free.
        QTextCursor cursor(doc.get());
        cursor.movePosition(QTextCursor::Start);
        cursor.insertBlock();
        QTextCursor first(doc.get());
        first.movePosition(QTextCursor::Start);
        QTextBlockFormat spacer;
        spacer.setLineHeight(y - top, QTextBlockFormat::FixedHeight);
        spacer.setTopMargin(0);
        spacer.setBottomMargin(0);
        first.setBlockFormat(spacer);
    }
    doc->setPageSize(page);
    RichPart part;
    part.firstPage = current;
    part.pageCount = doc->pageCount();
    const qreal end = contentEnd(*doc);
    const int endPage = qBound(0, int(end / page.height()), part.pageCount - 1);
    current += endPage;
    y = qMax(top, end - endPage * page.height());
    lastPage = qMax(lastPage, current);
    part.doc = std::move(doc);
    rich.push_back(std::move(part));
}

ReportDocument::ReportDocument(const QString &html, const QMap<QString, QImage> &images, bool landscape,
                               const QStringList &pictureFolders, const StopCheck &stopped)
    : m_landscape(landscape)
{
    // A4 in the layout's pixels (96 per inch).
    const QSizeF a4(8.27 * kDpi, 11.69 * kDpi);
    m_page = landscape ? a4.transposed() : a4;
    m_flow = std::make_unique<Flow>(m_page, kMargin, m_page.height() - kFooterSpace);

    // The layout measures on a fixed 96-dpi device, whatever the screen:
    // the same report gives the same pages everywhere.
    m_metrics = std::make_unique<QImage>(1, 1, QImage::Format_RGB32);
    m_metrics->setDotsPerMeterX(qRound(kDpi / 0.0254));
    m_metrics->setDotsPerMeterY(qRound(kDpi / 0.0254));
    QFont font(QStringLiteral("Noto Sans Arabic"));
    font.setPointSizeF(11);

    LayoutPictures pictures{pictureFolders, QDeadlineTimer(kPictureReadMs), {}, {}};
    for (HtmlPiece &piece : splitHtml(html)) {
        if (stopped && stopped())
            throw LayoutStopped();
        if (piece.table) {
            if (!piece.table->layout(m_page.width() - 2 * kMargin, font, m_metrics.get(), stopped))
                throw LayoutStopped();
            m_flow->addTable(std::move(*piece.table));
            continue;
        }
        std::unique_ptr<QTextDocument> doc = std::make_unique<ReportTextDocument>();
        doc->setUndoRedoEnabled(false);
        doc->setDefaultFont(font);
        QTextOption option = doc->defaultTextOption();
        option.setTextDirection(Qt::RightToLeft);
        doc->setDefaultTextOption(option);
        doc->setDefaultStyleSheet(kStyleSheet);
        for (auto it = images.begin(); it != images.end(); ++it)
            doc->addResource(QTextDocument::ImageResource, QUrl(it.key()), it.value());
        doc->setHtml(rightToLeftTables(piece.html));
        if (showsNothing(*doc, piece.html))
            continue;
        placePictures(*doc, pictures);
        doc->documentLayout()->setPaintDevice(m_metrics.get());
        QTextFrameFormat root = doc->rootFrame()->frameFormat();
        root.setLeftMargin(kMargin);
        root.setRightMargin(kMargin);
        root.setTopMargin(kMargin);
        root.setBottomMargin(kFooterSpace);
        root.setLayoutDirection(Qt::RightToLeft);
        doc->rootFrame()->setFrameFormat(root);
        m_flow->addRichText(std::move(doc));
    }
    m_pageCount = m_flow->pageCount();
}

void ReportDocument::handToApplicationThread()
{
    if (!QCoreApplication::instance())
        return;
    QThread *gui = QCoreApplication::instance()->thread();
    for (Flow::RichPart &part : m_flow->rich)
        if (part.doc->thread() != gui)
            part.doc->moveToThread(gui);
}

ReportDocument::~ReportDocument() = default;

void ReportDocument::paintPage(QPainter &painter, int page, const QRectF &target) const
{
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / m_page.width(), target.height() / m_page.height());

    for (const Flow::RichPart &part : m_flow->rich) {
        const int local = page - part.firstPage;
        if (local < 0 || local >= part.pageCount)
            continue;
        painter.save();
        const QRectF view(0, local * m_page.height(), m_page.width(), m_page.height());
        painter.translate(0, -view.top());
        painter.setClipRect(view);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = view;
        context.palette.setColor(QPalette::Text, Qt::black);
        part.doc->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    for (const Flow::TablePart &part : m_flow->tables) {
        const int local = page - part.pages.first().page;
        if (local < 0 || local >= part.pages.size())
            continue;
        const Flow::TablePage &onPage = part.pages.at(local);
        part.table.paintHeading(painter, kMargin, onPage.headingTop);
        for (const Flow::Piece &piece : onPage.pieces)
            part.table.paintRow(painter, kMargin, piece.top, piece.row, piece.from, piece.to);
    }

    QFont font(QStringLiteral("Noto Sans Arabic"));
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(QColor(0x44, 0x44, 0x44));
    const QRectF foot(kMargin, m_page.height() - kFooterSpace + 14, m_page.width() - 2 * kMargin, 24);
    painter.setLayoutDirection(Qt::RightToLeft);
    painter.drawText(foot, Qt::AlignCenter,
                     m_firstPagesOnly ? QStringLiteral("صفحة %1").arg(page + 1)
                                      : QStringLiteral("صفحة %1 من %2").arg(page + 1).arg(m_pageCount));
    painter.restore();
}

void ReportDocument::prepareDevice(QPagedPaintDevice &device) const
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                     m_landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0)));
}

bool ReportDocument::print(QPagedPaintDevice &device, int pages,
                           const std::function<bool(int, int)> &keepGoing) const
{
    const int count = pages < 0 ? m_pageCount : qMin(pages, m_pageCount);
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF target(0, 0, device.width(), device.height());
    for (int page = 0; page < count; ++page) {
        if (keepGoing && !keepGoing(page, count)) {
            painter.end();
            return false;
        }
        if (page > 0 && !device.newPage()) {
            painter.end();
            return false;
        }
        paintPage(painter, page, target);
    }
    return painter.end();
}

QList<ReportTable> listTables(const QString &html)
{
    static const QRegularExpression heading(QStringLiteral("<h([1-3])\\b[^>]*>(.*?)</h\\1\\s*>"),
                                            QRegularExpression::CaseInsensitiveOption
                                                | QRegularExpression::DotMatchesEverythingOption);
    QList<ReportTable> tables;
    QString caption;
    for (HtmlPiece &piece : splitHtml(html)) {
        if (!piece.table) {
            for (auto it = heading.globalMatch(piece.html); it.hasNext();)
                caption = QTextDocumentFragment::fromHtml(it.next().captured(2)).toPlainText().simplified();
            continue;
        }
        tables.append({caption, std::move(*piece.table)});
        caption.clear();
    }
    return tables;
}

} // namespace reports
