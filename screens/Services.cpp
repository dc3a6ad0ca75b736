#include "screens/Services.h"

#include <QDesktopServices>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QInputDialog>
#include <QLabel>
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
const QString kSave = QStringLiteral("حفظ");
// What a title bar holds besides its title: the window buttons and icon.
constexpr int kTitleBarRoom = 160;

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

// A box at least as wide as its title needs, with the title bar's buttons
// and icon beside it: Qt sizes a box by its text, which a one-word message
// under the program's long title leaves too narrow for the title.
void fitTitle(QMessageBox &box)
{
    auto *text = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    if (!text)
        return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int title = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle());
    text->setMinimumWidth(qMin(title + kTitleBarRoom, 900));
}

} // namespace

QString leftToRight(const QString &path)
{
    // Isolated: neither the Arabic around it nor its own slashes move it.
    return QChar(0x2066) + QDir::toNativeSeparators(path) + QChar(0x2069);
}

std::unique_ptr<QMessageBox> makeMessageBox(const QString &title, const QString &text,
                                            QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                                             parent);
    box->setLayoutDirection(Qt::RightToLeft);
    caption(*box, QMessageBox::Ok, kOk);
    fitTitle(*box);
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
    fitTitle(*box);
    return box;
}

std::unique_ptr<QFileDialog> makeSaveDialog(const QString &title, const QString &suggestedPath,
                                            const QString &filter, QWidget *parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent, title, suggestedPath, filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog, so that its buttons can be given their room.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setLayoutDirection(Qt::RightToLeft);
    dialog->setLabelText(QFileDialog::Accept, kSave);
    dialog->setLabelText(QFileDialog::Reject, kCancel);
    if (auto *buttons = dialog->findChild<QDialogButtonBox *>()) {
        for (QAbstractButton *button : buttons->buttons()) {
            const QFontMetrics metrics = button->fontMetrics();
            button->setMinimumWidth(std::max({metrics.horizontalAdvance(button->text()) + 4 * metrics.averageCharWidth() + 16,
                                              button->sizeHint().width(), 96}));
        }
    }
    dialog->resize(dialog->sizeHint().expandedTo(QSize(760, 480)));
    return dialog;
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

QString suffixOfFileType(const QString &type)
{
    static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.([A-Za-z0-9]+)"));
    return pattern.match(type).captured(1);
}

SaveFileChooser::Choice withTypeSuffix(const QString &path, const QStringList &types, int type)
{
    for (int i = 0; i < types.size(); ++i) {
        const QString suffix = suffixOfFileType(types.at(i));
        if (!suffix.isEmpty() && path.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive))
            return {path, i};
    }
    const QString suffix = suffixOfFileType(types.value(type));
    return {suffix.isEmpty() ? path : path + QLatin1Char('.') + suffix, type};
}

std::optional<SaveFileChooser::Choice> QtSaveFileChooser::choose(const QString &title, const QString &suggestedPath,
                                                                const QStringList &types, int preferred,
                                                                QWidget *parent)
{
    QString suggestion = suggestedPath;
    if (!m_lastFolder.isEmpty())
        suggestion = QDir(m_lastFolder).filePath(QFileInfo(suggestedPath).fileName());
    QFileDialog dialog(parent, title, suggestion);
    dialog.setLayoutDirection(Qt::RightToLeft);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(types);
    if (preferred >= 0 && preferred < types.size())
        dialog.selectNameFilter(types.at(preferred));
    dialog.selectFile(QFileInfo(suggestion).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const int type = qMax(0, int(types.indexOf(dialog.selectedNameFilter())));
    const Choice choice = withTypeSuffix(dialog.selectedFiles().constFirst(), types, type);
    m_lastFolder = QFileInfo(choice.path).absolutePath();
    return choice;
}

} // namespace core
