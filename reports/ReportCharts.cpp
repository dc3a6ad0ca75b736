#include "reports/ReportCharts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QTextLayout>
#include <QValueAxis>

#include <cmath>

namespace reports {

namespace {

QFont chartFont(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("Noto Sans Arabic"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

const QColor kSeriesColour(0x2e, 0x7d, 0x4f);
constexpr int kChartMargin = 16;
constexpr int kMaxLabelLines = 3;
constexpr qreal kLabelGap = 10;       // between the plot's foot and its labels
constexpr qreal kLabelRoomShare = 0.3; // of the chart's height, at most
const QColor kLabelColour(0x33, 0x33, 0x33);

// `text` in lines of at most `width`, broken between words, at most
// `maxLines` of them; a line still too long (a long word, or the text left
// for the last line) is shortened with an ellipsis.
QStringList wrapped(const QString &text, qreal width, const QFont &font, int maxLines)
{
    QStringList lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            lines << text.mid(line.textStart()).trimmed(); // the rest, shortened below
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    const QFontMetricsF metrics(font);
    for (QString &line : lines)
        if (metrics.horizontalAdvance(line) > width)
            line = metrics.elidedText(line, Qt::ElideRight, width);
    return lines;
}

// True when every word of the labels fits the width.
bool wordsFit(const QStringList &labels, qreal width, const QFontMetricsF &metrics)
{
    for (const QString &label : labels)
        for (const QString &word : label.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (metrics.horizontalAdvance(word) > width)
                return false;
    return true;
}

// What a chart shows: one label and one value per row.
struct ChartPoints {
    QStringList labels;
    QList<qreal> values;
    qreal top = 0; // the largest value (0 when none is above)
};

ChartPoints chartPoints(const ChartDef &def, const QueryResult &rows)
{
    const int labelCol = rows.column(def.labelColumn);
    const int valueCol = rows.column(def.valueColumn);
    ChartPoints points;
    for (const QStringList &row : rows.rows) {
        points.labels << (labelCol >= 0 ? row.at(labelCol).trimmed() : QString());
        points.values << (valueCol >= 0 ? row.at(valueCol).toDouble() : 0.0);
    }
    for (QString &l : points.labels)
        if (l.isEmpty())
            l = QStringLiteral("(غير محدد)");
    for (qreal v : points.values)
        points.top = qMax(points.top, v);
    return points;
}

QChart *newChart(const ChartDef &def)
{
    auto *chart = new QChart;
    chart->setTitle(def.title);
    chart->setTitleFont(chartFont(34, true));
    chart->legend()->setFont(chartFont(24));
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(16, 16, 16, 16));
    chart->setLocalizeNumbers(false);
    chart->setLayoutDirection(Qt::RightToLeft);
    return chart;
}

void addPie(QChart *chart, const ChartPoints &points)
{
    auto *series = new QPieSeries;
    qreal sum = 0;
    for (qreal v : points.values)
        sum += v;
    for (int i = 0; i < points.labels.size(); ++i) {
        const qreal value = points.values.at(i);
        QPieSlice *slice = series->append(QStringLiteral("%1 (%2)").arg(points.labels.at(i)).arg(value), value);
        slice->setLabelFont(chartFont(22));
        // Small slices keep their label in the legend only.
        slice->setLabelVisible(sum > 0 && value / sum >= 0.03);
    }
    series->setPieSize(0.62);
    chart->addSeries(series);
    chart->legend()->setAlignment(Qt::AlignLeft);
}

// The categories along the bottom (their labels are drawn apart, see
// drawCategoryLabels), the values on the right.
std::pair<QBarCategoryAxis *, QValueAxis *> addAxes(QChart *chart, const QStringList &labels, qreal top)
{
    auto *axisX = new QBarCategoryAxis;
    axisX->append(labels);
    axisX->setLabelsVisible(false);
    auto *axisY = new QValueAxis;
    axisY->setLabelFormat(QStringLiteral("%d"));
    axisY->setLabelsFont(chartFont(22));
    axisY->setRange(0, top > 0 ? top * 1.1 : 1);
    axisY->applyNiceNumbers();
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignRight);
    return {axisX, axisY};
}

QFont labelFont(qsizetype categories)
{
    return chartFont(categories > 12 ? 18 : 22);
}

// The labels under the plot, each centred on its category.
void drawCategoryLabels(QPainter &painter, const CategoryLabels &labels, const QRectF &plot, const QFont &font)
{
    if (labels.lines.isEmpty())
        return;
    const qreal slot = plot.width() / labels.lines.size();
    const qreal lineHeight = QFontMetricsF(font).height();
    const qreal top = plot.bottom() + kLabelGap;
    painter.save();
    painter.setFont(font);
    painter.setPen(kLabelColour);
    painter.setLayoutDirection(Qt::RightToLeft);
    for (int i = 0; i < labels.lines.size(); ++i) {
        const QStringList &lines = labels.lines.at(i);
        const qreal centre = plot.left() + (i + 0.5) * slot;
        if (!labels.upright) {
            for (int j = 0; j < lines.size(); ++j)
                painter.drawText(QRectF(centre - slot / 2, top + j * lineHeight, slot, lineHeight),
                                 Qt::AlignHCenter | Qt::AlignTop, lines.at(j));
            continue;
        }
        // Turned a quarter to the left: the start of the label at the plot.
        const qreal length = labels.room - kLabelGap;
        const qreal across = lines.size() * lineHeight;
        painter.save();
        painter.translate(centre, top);
        painter.rotate(-90);
        for (int j = 0; j < lines.size(); ++j)
            painter.drawText(QRectF(-length, -across / 2 + j * lineHeight, length, lineHeight),
                             Qt::AlignRight | Qt::AlignVCenter, lines.at(j));
        painter.restore();
    }
    painter.restore();
}

QAbstractSeries *barSeries(const ChartDef &def, const QList<qreal> &values)
{
    auto *set = new QBarSet(def.title.isEmpty() ? def.valueColumn : def.title);
    set->append(values);
    set->setColor(kSeriesColour);
    set->setLabelColor(Qt::black);
    set->setLabelFont(chartFont(18));
    auto *series = new QBarSeries;
    series->append(set);
    series->setLabelsVisible(values.size() <= 24);
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    return series;
}

QAbstractSeries *lineSeries(const QList<qreal> &values)
{
    auto *series = new QLineSeries;
    for (int i = 0; i < values.size(); ++i)
        series->append(i, values.at(i));
    QPen pen(kSeriesColour);
    pen.setWidth(5);
    series->setPen(pen);
    series->setPointsVisible(true);
    series->setPointLabelsVisible(values.size() <= 24);
    series->setPointLabelsFont(chartFont(18));
    series->setPointLabelsFormat(QStringLiteral("@yPoint"));
    return series;
}

// Bars or a line over the categories; returns the categories from the left.
QStringList addSeriesOnAxes(QChart *chart, const ChartDef &def, const ChartPoints &points)
{
    // The charts toolkit draws left to right: the categories go in reverse
    // so that the first stands on the right.
    QStringList labels;
    QList<qreal> values;
    for (int i = int(points.labels.size()) - 1; i >= 0; --i) {
        labels << points.labels.at(i);
        values << points.values.at(i);
    }
    const auto [axisX, axisY] = addAxes(chart, labels, points.top);
    QAbstractSeries *series = def.type == ChartDef::Type::Bar ? barSeries(def, values) : lineSeries(values);
    chart->addSeries(series);
    series->attachAxis(axisX);
    series->attachAxis(axisY);
    chart->legend()->hide();
    return labels;
}

// The chart drawn, with the labels of `categories` (from the left) under
// its plot in the room kept free for them.
QImage render(QChart *chart, int width, int height, const QStringList &categories = {})
{
    QGraphicsScene scene;
    scene.addItem(chart); // the scene owns the chart from here
    const QFont font = labelFont(categories.size());
    qreal room = 0;
    if (!categories.isEmpty()) {
        // From a narrow guess at the plot's width (the value axis takes
        // some), so the labels surely fit the room kept for them.
        const qreal plotGuess = 0.9 * (width - 2 * kChartMargin) - 120;
        room = layOutCategoryLabels(categories, plotGuess / categories.size(), font, height * kLabelRoomShare).room;
        chart->setMargins(QMargins(kChartMargin, kChartMargin, kChartMargin, kChartMargin + int(std::ceil(room))));
    }
    chart->resize(width, height);
    if (chart->layout())
        chart->layout()->activate();
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
    if (!categories.isEmpty()) {
        const QRectF plot = chart->plotArea();
        drawCategoryLabels(painter, layOutCategoryLabels(categories, plot.width() / categories.size() - 6, font, room),
                           plot, font);
    }
    painter.end();
    return image;
}

} // namespace

CategoryLabels layOutCategoryLabels(const QStringList &labels, qreal width, const QFont &font, qreal maxRoom)
{
    const QFontMetricsF metrics(font);
    const qreal lineHeight = metrics.height();
    CategoryLabels out;
    const int linesInRoom = qMax(1, int((maxRoom - kLabelGap) / lineHeight));
    const int across = qMin(kMaxLabelLines, linesInRoom);
    bool fitAcross = wordsFit(labels, width, metrics);
    for (const QString &label : labels) {
        if (!fitAcross)
            break;
        out.lines << wrapped(label, width, font, across);
        fitAcross = out.lines.last().size() < across || wrapped(label, width, font, across + 1).size() <= across;
    }
    if (fitAcross) {
        int most = 1;
        for (const QStringList &l : std::as_const(out.lines))
            most = qMax(most, int(l.size()));
        out.room = kLabelGap + most * lineHeight;
        return out;
    }
    // Upright: as long as the room allows, as many lines as the width
    // holds. Categories too narrow even for that label every so many.
    out.upright = true;
    out.lines.clear();
    const qreal length = qMax(lineHeight, maxRoom - kLabelGap);
    const int lines = qBound(1, int(width / lineHeight), 2);
    // Upright labels closer than most of a line's height would touch.
    const qreal closest = 0.7 * lineHeight;
    const int every = width >= closest ? 1 : int(std::ceil(closest / qMax<qreal>(width, 1)));
    qreal longest = 0;
    for (int i = 0; i < labels.size(); ++i) {
        out.lines << (i % every == 0 ? wrapped(labels.at(i), length, font, lines) : QStringList());
        for (const QString &line : std::as_const(out.lines.last()))
            longest = qMax(longest, metrics.horizontalAdvance(line));
    }
    out.room = kLabelGap + qMin(length, longest);
    return out;
}

QImage drawChart(const ChartDef &def, const QueryResult &rows)
{
    const ChartPoints points = chartPoints(def, rows);
    QChart *chart = newChart(def);
    if (def.type == ChartDef::Type::Pie) {
        addPie(chart, points);
        return render(chart, def.width, def.height);
    }
    return render(chart, def.width, def.height, addSeriesOnAxes(chart, def, points));
}

QMap<QString, QImage> drawCharts(const ReportData &data)
{
    QMap<QString, QImage> images;
    for (const ChartDef &c : data.def.charts)
        if (const QueryResult *r = data.result(c.query))
            images.insert(c.name, drawChart(c, *r));
    return images;
}

} // namespace reports
