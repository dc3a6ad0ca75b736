#include "reports/ReportCharts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QValueAxis>

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

// The categories along the bottom, the values on the right.
std::pair<QBarCategoryAxis *, QValueAxis *> addAxes(QChart *chart, const QStringList &labels, qreal top)
{
    auto *axisX = new QBarCategoryAxis;
    axisX->append(labels);
    axisX->setLabelsFont(chartFont(labels.size() > 12 ? 17 : 22));
    if (labels.size() > 8)
        axisX->setLabelsAngle(-90);
    auto *axisY = new QValueAxis;
    axisY->setLabelFormat(QStringLiteral("%d"));
    axisY->setLabelsFont(chartFont(22));
    axisY->setRange(0, top > 0 ? top * 1.1 : 1);
    axisY->applyNiceNumbers();
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignRight);
    return {axisX, axisY};
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

// Bars or a line over the categories.
void addSeriesOnAxes(QChart *chart, const ChartDef &def, const ChartPoints &points)
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
}

QImage render(QChart *chart, int width, int height)
{
    QGraphicsScene scene;
    scene.addItem(chart); // the scene owns the chart from here
    chart->resize(width, height);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
    painter.end();
    return image;
}

} // namespace

QImage drawChart(const ChartDef &def, const QueryResult &rows)
{
    const ChartPoints points = chartPoints(def, rows);
    QChart *chart = newChart(def);
    if (def.type == ChartDef::Type::Pie)
        addPie(chart, points);
    else
        addSeriesOnAxes(chart, def, points);
    return render(chart, def.width, def.height);
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
