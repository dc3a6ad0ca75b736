#pragma once

#include "reports/ReportData.h"

#include <QImage>
#include <QMap>

namespace reports {

// Draws one chart of a report from two columns of its query: the labels
// and the values (numbers; anything else counts as 0). Right to left: the
// first label stands on the right, the value axis too. Uses the widget
// toolkit, so it runs on the window's thread.
QImage drawChart(const ChartDef &chart, const QueryResult &rows);

// Every chart of a report, by chart name.
QMap<QString, QImage> drawCharts(const ReportData &data);

} // namespace reports
