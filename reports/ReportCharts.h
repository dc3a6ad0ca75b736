#pragma once

#include "reports/ReportData.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QMap>
#include <QStringList>

namespace reports {

// The labels of a chart's categories under its plot. Each stays within the
// width of its category: wrapped onto a few lines, a line still too long
// shortened with an ellipsis. Too narrow a category for that turns the
// labels upright, each as long as the room below the plot allows (and
// shortened beyond), on as many lines as its width holds.
struct CategoryLabels {
    bool upright = false;
    QList<QStringList> lines; // per label, its lines in reading order
    qreal room = 0;           // the height they take below the plot
};
// `width`: the width of one category; `maxRoom`: the most height they may take.
CategoryLabels layOutCategoryLabels(const QStringList &labels, qreal width, const QFont &font, qreal maxRoom);

// Draws one chart of a report from two columns of its query: the labels
// and the values (numbers; anything else counts as 0). Right to left: the
// first label stands on the right, the value axis too. Uses the widget
// toolkit, so it runs on the window's thread.
QImage drawChart(const ChartDef &chart, const QueryResult &rows);

// Every chart of a report, by chart name.
QMap<QString, QImage> drawCharts(const ReportData &data);

} // namespace reports
