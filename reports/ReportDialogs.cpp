#include "reports/ReportDialogs.h"

#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace reports {

bool QtReportDialogs::choosePrinter(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("طباعة التقرير"));
    return dialog.exec() == QDialog::Accepted;
}

QString QtReportDialogs::choosePdfFile(const QString &suggestedPath, QWidget *parent)
{
    QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("حفظ التقرير بصيغة PDF"), suggestedPath,
                                                QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty() && !path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QLatin1String(".pdf");
    return path;
}

} // namespace reports
