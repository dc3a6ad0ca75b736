#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QFileDialog;
class QMessageBox;
class QWidget;

namespace core {

// Message boxes. Screens and the record-screen machinery show every
// message through this interface so that tests can capture them.
class MessageService {
public:
    enum class Icon { None, Information, Critical };
    virtual ~MessageService() = default;
    // Plain box, one OK button, the application's default title.
    virtual void show(const QString &text, QWidget *parent = nullptr) = 0;
    // Yes/No question. defaultNo makes No the default button; critical
    // shows the stop icon. Returns true for Yes.
    virtual bool confirm(const QString &text, const QString &title, bool defaultNo,
                         Icon icon, QWidget *parent = nullptr) = 0;
};

// Input box: a prompt and a text field. No value when cancelled.
class InputService {
public:
    virtual ~InputService() = default;
    virtual std::optional<QString> ask(const QString &prompt, const QString &title,
                                       const QString &initial = {}, QWidget *parent = nullptr) = 0;
};

// Opens a file with the desktop's default application for its type.
class FileOpener {
public:
    virtual ~FileOpener() = default;
    // Returns false when the desktop could not be asked to open it.
    virtual bool open(const QString &path) = 0;
};

// Asks where a file is to be written. `types` are the kinds of file
// offered, as a file dialog lists them ("Excel (*.xlsx)"), `preferred` the
// one offered first. The answer names the file, with the suffix of its type,
// and the type chosen (an index into `types`); none when cancelled.
class SaveFileChooser {
public:
    struct Choice {
        QString path;
        int type = 0;
    };
    virtual ~SaveFileChooser() = default;
    virtual std::optional<Choice> choose(const QString &title, const QString &suggestedPath,
                                         const QStringList &types, int preferred, QWidget *parent = nullptr) = 0;
};

// The suffix a file type such as "Excel (*.xlsx)" names ("xlsx"); empty when none.
QString suffixOfFileType(const QString &type);
// The path with the suffix of its type: a path ending in the suffix of
// another of the types takes that type instead.
SaveFileChooser::Choice withTypeSuffix(const QString &path, const QStringList &types, int type);

// A report's parameter values by name (from_date, to_date, caller,
// tamrel_no); one it declares and is not given takes its default.
using ReportValues = QMap<QString, QString>;
// Given the parameters a report's file declares, in their order, their
// values; none when the report is not to be shown after all (the clerk
// cancelled a question).
using ReportValuesFor = std::function<std::optional<ReportValues>(const QStringList &parameters)>;

// The reports of the report folder, shown in the one viewer window: the
// catalogue screen and the person screen's print button go through it.
class ReportService {
public:
    // The person file; its one parameter is the person number.
    static inline const QString kPersonFile = QStringLiteral("tamrel");
    static inline const QString kPersonNumber = QStringLiteral("tamrel_no");

    virtual ~ReportService() = default;
    // True when the report folder holds the report's file.
    virtual bool reportExists(const QString &reportName) const = 0;
    // Reads the report's file, takes the values of the parameters it
    // declares from `valuesFor` and shows the report (a blank value takes
    // the parameter's default). Returns at once, the report being prepared
    // off the window's thread. A missing file shows "Report not found" and
    // a broken one a message naming the file, without asking for values;
    // those, and values refused, return false.
    virtual bool showReport(const QString &reportName, const ReportValuesFor &valuesFor) = 0;

    bool showReport(const QString &reportName, const ReportValues &values = {})
    {
        return showReport(reportName, [values](const QStringList &) { return std::optional<ReportValues>(values); });
    }
    // The person file of one person.
    bool showPersonFile(const QString &personNumber)
    {
        return showReport(kPersonFile, ReportValues{{kPersonNumber, personNumber.trimmed()}});
    }
};

// The user guide that comes with the program, opened at one of its
// sections: the name of a screen (frmTamrel, frmRpts ...) or a topic
// (start, backup, workstations); the beginning for an empty or unknown one.
// It stands beside the screens and asks nothing.
class GuideService {
public:
    virtual ~GuideService() = default;
    virtual void showGuide(const QString &section = {}, QWidget *parent = nullptr) = 0;
};

// A file path (or any left-to-right text) put into an Arabic message: it
// keeps its own order ("/home/office/a.pdf", not "home/office/a.pdf/"),
// written with the system's separators.
QString leftToRight(const QString &path);

// The boxes QtMessageService runs, built but not shown: right to left, with
// Arabic buttons wide enough for their captions. The plain box has one OK
// button; the question Yes and No, No being also the Escape answer.
std::unique_ptr<QMessageBox> makeMessageBox(const QString &title, const QString &text,
                                            QWidget *parent = nullptr);
std::unique_ptr<QMessageBox> makeConfirmBox(const QString &title, const QString &text,
                                            bool defaultNo, MessageService::Icon icon,
                                            QWidget *parent = nullptr);

// The dialog that asks where to save a file, built but not shown: right to
// left, Arabic buttons wide enough for their captions, room for long names.
// `filter` as QFileDialog takes it ("PDF (*.pdf)").
std::unique_ptr<QFileDialog> makeSaveDialog(const QString &title, const QString &suggestedPath,
                                            const QString &filter, QWidget *parent = nullptr);

// Real implementations on Qt (QMessageBox, QInputDialog, QDesktopServices).
class QtMessageService : public MessageService {
public:
    explicit QtMessageService(QString applicationTitle);
    void show(const QString &text, QWidget *parent = nullptr) override;
    bool confirm(const QString &text, const QString &title, bool defaultNo, Icon icon,
                 QWidget *parent = nullptr) override;

private:
    QString m_title;
};

class QtInputService : public InputService {
public:
    std::optional<QString> ask(const QString &prompt, const QString &title, const QString &initial,
                               QWidget *parent = nullptr) override;
};

class QtFileOpener : public FileOpener {
public:
    bool open(const QString &path) override;
};

// The desktop's file dialog, right to left; it asks before replacing a
// file, and offers the folder chosen last time again.
class QtSaveFileChooser : public SaveFileChooser {
public:
    std::optional<Choice> choose(const QString &title, const QString &suggestedPath, const QStringList &types,
                                 int preferred, QWidget *parent = nullptr) override;

private:
    QString m_lastFolder;
};

} // namespace core
