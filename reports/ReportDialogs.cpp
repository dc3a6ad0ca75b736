#include "reports/ReportDialogs.h"

#include "screens/Services.h"

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
    const auto dialog =
        core::makeSaveDialog(QStringLiteral("حفظ التقرير بصيغة PDF"), suggestedPath, QStringLiteral("PDF (*.pdf)"), parent);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    QString path = dialog->selectedFiles().constFirst();
    if (!path.isEmpty() && !path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QLatin1String(".pdf");
    return path;
}

} // namespace reports
