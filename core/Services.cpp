#include "Services.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <utility>

namespace core {

namespace {

// Button captions of the Arabic interface; Qt's own are English unless a
// translation happens to be installed.
const QString kOk = QStringLiteral("موافق");
const QString kYes = QStringLiteral("نعم");
const QString kNo = QStringLiteral("لا");
const QString kCancel = QStringLiteral("إلغاء");

QMessageBox::Icon boxIcon(MessageService::Icon icon)
{
    switch (icon) {
    case MessageService::Icon::Information:
        return QMessageBox::Information;
    case MessageService::Icon::Critical:
        return QMessageBox::Critical;
    case MessageService::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QtMessageService::QtMessageService(QString applicationTitle)
    : m_title(std::move(applicationTitle))
{
}

void QtMessageService::show(const QString &text, QWidget *parent)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok, parent);
    box.setLayoutDirection(Qt::RightToLeft);
    box.button(QMessageBox::Ok)->setText(kOk);
    box.exec();
}

bool QtMessageService::confirm(const QString &text, const QString &title, bool defaultNo,
                               Icon icon, QWidget *parent)
{
    QMessageBox box(boxIcon(icon), title.isEmpty() ? m_title : title, text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setLayoutDirection(Qt::RightToLeft);
    box.button(QMessageBox::Yes)->setText(kYes);
    box.button(QMessageBox::No)->setText(kNo);
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    // Escape or closing the box never counts as Yes.
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtInputService::ask(const QString &prompt, const QString &title,
                                           const QString &initial, QWidget *parent)
{
    QInputDialog dialog(parent);
    dialog.setLayoutDirection(Qt::RightToLeft);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    dialog.setOkButtonText(kOk);
    dialog.setCancelButtonText(kCancel);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

bool QtFileOpener::open(const QString &path)
{
    // A missing file is a failure here rather than an error box from
    // whatever viewer the desktop would start.
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

} // namespace core
