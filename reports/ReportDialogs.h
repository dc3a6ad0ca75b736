#pragma once

#include <QString>

class QPrinter;
class QWidget;

namespace reports {

// The two desktop dialogs of the viewer, replaceable so that tests never
// block on them.
class ReportDialogs {
public:
    virtual ~ReportDialogs() = default;
    // Lets the user choose and set up a printer; false when cancelled.
    virtual bool choosePrinter(QPrinter &printer, QWidget *parent) = 0;
    // The PDF file to write; empty when cancelled.
    virtual QString choosePdfFile(const QString &suggestedPath, QWidget *parent) = 0;
};

// The system's print dialog and file dialog.
class QtReportDialogs : public ReportDialogs {
public:
    bool choosePrinter(QPrinter &printer, QWidget *parent) override;
    QString choosePdfFile(const QString &suggestedPath, QWidget *parent) override;
};

} // namespace reports
