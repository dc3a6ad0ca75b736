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

} // namespace

QImage drawChart(const ChartDef &def, const QueryResult &rows)
{
    const int labelCol = rows.column(def.labelColumn);
    const int valueCol = rows.column(def.valueColumn);
    QStringList labels;
    QList<qreal> values;
    for (const QStringList &row : rows.rows) {
        labels << (labelCol >= 0 ? row.at(labelCol).trimmed() : QString());
        values << (valueCol >= 0 ? row.at(valueCol).toDouble() : 0.0);
    }
    for (QString &l : labels)
        if (l.isEmpty())
            l = QStringLiteral("(غير محدد)");

    auto *chart = new QChart;
    chart->setTitle(def.title);
    chart->setTitleFont(chartFont(34, true));
    chart->legend()->setFont(chartFont(24));
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(16, 16, 16, 16));
    chart->setLocalizeNumbers(false);
    chart->setLayoutDirection(Qt::RightToLeft);

    qreal top = 0;
    for (qreal v : values)
        top = qMax(top, v);

    if (def.type == ChartDef::Type::Pie) {
        auto *series = new QPieSeries;
        qreal sum = 0;
        for (qreal v : values)
            sum += v;
        for (int i = 0; i < labels.size(); ++i) {
            QPieSlice *slice = series->append(
                QStringLiteral("%1 (%2)").arg(labels.at(i)).arg(values.at(i)), values.at(i));
            slice->setLabelFont(chartFont(22));
            // Small slices keep their label in the legend only.
            slice->setLabelVisible(sum > 0 && values.at(i) / sum >= 0.03);
        }
        series->setPieSize(0.62);
        chart->addSeries(series);
        chart->legend()->setAlignment(Qt::AlignLeft);
    } else {
        // The charts toolkit draws left to right: the categories go in
        // reverse so that the first stands on the right.
        QStringList reversedLabels;
        QList<qreal> reversedValues;
        for (int i = int(labels.size()) - 1; i >= 0; --i) {
            reversedLabels << labels.at(i);
            reversedValues << values.at(i);
        }
        auto *axisX = new QBarCategoryAxis;
        axisX->append(reversedLabels);
        axisX->setLabelsFont(chartFont(reversedLabels.size() > 12 ? 17 : 22));
        if (reversedLabels.size() > 8)
            axisX->setLabelsAngle(-90);
        auto *axisY = new QValueAxis;
        axisY->setLabelFormat(QStringLiteral("%d"));
        axisY->setLabelsFont(chartFont(22));
        axisY->setRange(0, top > 0 ? top * 1.1 : 1);
        axisY->applyNiceNumbers();
        chart->addAxis(axisX, Qt::AlignBottom);
        chart->addAxis(axisY, Qt::AlignRight);
        if (def.type == ChartDef::Type::Bar) {
            auto *set = new QBarSet(def.title.isEmpty() ? def.valueColumn : def.title);
            set->append(reversedValues);
            set->setColor(QColor(0x2e, 0x7d, 0x4f));
            set->setLabelColor(Qt::black);
            set->setLabelFont(chartFont(18));
            auto *series = new QBarSeries;
            series->append(set);
            series->setLabelsVisible(reversedLabels.size() <= 24);
            series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
            chart->addSeries(series);
            series->attachAxis(axisX);
            series->attachAxis(axisY);
        } else {
            auto *series = new QLineSeries;
            for (int i = 0; i < reversedValues.size(); ++i)
                series->append(i, reversedValues.at(i));
            QPen pen(QColor(0x2e, 0x7d, 0x4f));
            pen.setWidth(5);
            series->setPen(pen);
            series->setPointsVisible(true);
            series->setPointLabelsVisible(reversedValues.size() <= 24);
            series->setPointLabelsFont(chartFont(18));
            series->setPointLabelsFormat(QStringLiteral("@yPoint"));
            chart->addSeries(series);
            series->attachAxis(axisX);
            series->attachAxis(axisY);
        }
        chart->legend()->hide();
    }

    QGraphicsScene scene;
    scene.addItem(chart); // the scene owns the chart from here
    chart->resize(def.width, def.height);
    QImage image(def.width, def.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&painter, QRectF(0, 0, def.width, def.height), QRectF(0, 0, def.width, def.height));
    painter.end();
    return image;
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
