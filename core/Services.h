#pragma once

#include <QString>
#include <memory>
#include <optional>

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

// The boxes QtMessageService runs, built but not shown: right to left, with
// Arabic buttons wide enough for their captions. The plain box has one OK
// button; the question Yes and No, No being also the Escape answer.
std::unique_ptr<QMessageBox> makeMessageBox(const QString &title, const QString &text,
                                            QWidget *parent = nullptr);
std::unique_ptr<QMessageBox> makeConfirmBox(const QString &title, const QString &text,
                                            bool defaultNo, MessageService::Icon icon,
                                            QWidget *parent = nullptr);

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

} // namespace core
