#include "screens/Services.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
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

// A caption on a button of a box: the button is made wide enough for it
// (an Arabic face is taller and wider than the style's default), never
// narrower than the usual dialog button.
void caption(QMessageBox &box, QMessageBox::StandardButton which, const QString &text)
{
    QAbstractButton *button = box.button(which);
    button->setText(text);
    const QFontMetrics metrics = button->fontMetrics();
    const int needed = metrics.horizontalAdvance(text) + 4 * metrics.averageCharWidth() + 16;
    button->setMinimumWidth(std::max({needed, button->sizeHint().width(), 96}));
    button->setMinimumHeight(qMax(button->sizeHint().height(), metrics.height() + 14));
}

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(const QString &title, const QString &text,
                                            QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                                             parent);
    box->setLayoutDirection(Qt::RightToLeft);
    caption(*box, QMessageBox::Ok, kOk);
    return box;
}

std::unique_ptr<QMessageBox> makeConfirmBox(const QString &title, const QString &text,
                                            bool defaultNo, MessageService::Icon icon,
                                            QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(boxIcon(icon), title, text,
                                             QMessageBox::Yes | QMessageBox::No, parent);
    box->setLayoutDirection(Qt::RightToLeft);
    caption(*box, QMessageBox::Yes, kYes);
    caption(*box, QMessageBox::No, kNo);
    box->setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    // Escape or closing the box never counts as Yes.
    box->setEscapeButton(QMessageBox::No);
    return box;
}

QtMessageService::QtMessageService(QString applicationTitle)
    : m_title(std::move(applicationTitle))
{
}

void QtMessageService::show(const QString &text, QWidget *parent)
{
    makeMessageBox(m_title, text, parent)->exec();
}

bool QtMessageService::confirm(const QString &text, const QString &title, bool defaultNo,
                               Icon icon, QWidget *parent)
{
    return makeConfirmBox(title.isEmpty() ? m_title : title, text, defaultNo, icon, parent)
               ->exec() == QMessageBox::Yes;
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
