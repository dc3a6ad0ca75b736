#include "screens/ScreenKeys.h"

#include "screens/GridDelegate.h"
#include "screens/Services.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace core {

namespace {

const QString kHelpTitle = QStringLiteral("مفاتيح لوحة المفاتيح");
const QString kKeyHeading = QStringLiteral("المفتاح");
const QString kActionHeading = QStringLiteral("العمل");
const QString kHelpAction = QStringLiteral("عرض هذه القائمة");
const QString kCloseHelp = QStringLiteral("إغلاق");
const QString kGuideLink = QStringLiteral("شرح هذه الشاشة في دليل الاستخدام");

} // namespace

bool isDataControl(const QWidget *control)
{
    if (!control)
        return false;
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return qobject_cast<const QCheckBox *>(button) || qobject_cast<const QRadioButton *>(button);
    if (const auto *edit = qobject_cast<const QLineEdit *>(control))
        return !edit->isReadOnly();
    return true;
}

ScreenKeys::ScreenKeys(QWidget *screen) : QObject(screen), m_screen(screen)
{
    setObjectName(QStringLiteral("screenKeys"));
    auto *help = new QShortcut(keys::kHelp, screen);
    help->setContext(Qt::WidgetWithChildrenShortcut);
    connect(help, &QShortcut::activated, this, [this] { showHelp(); });
    m_entries.append({keys::kHelp.toString(QKeySequence::NativeText), kHelpAction});
    screen->installEventFilter(this);
}

void ScreenKeys::bind(const QKeySequence &key, QAbstractButton *button, const QString &description)
{
    if (!button)
        return;
    auto *shortcut = new QShortcut(key, m_screen);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    // A key held down presses the button once, not once per repeat.
    shortcut->setAutoRepeat(false);
    QPointer<QAbstractButton> target(button);
    connect(shortcut, &QShortcut::activated, this, [this, target] { press(target, m_screen); });
    QString text = description;
    if (text.isEmpty())
        text = button->toolTip().trimmed().isEmpty() ? button->text() : button->toolTip();
    // The help (F1) stays the last line.
    m_entries.insert(m_entries.size() - 1, {key.toString(QKeySequence::NativeText), text.trimmed()});
}

void ScreenKeys::describe(const QString &keyText, const QString &description)
{
    m_entries.insert(m_entries.size() - 1, {keyText, description});
}

void ScreenKeys::setGuide(GuideService *guide, const QString &section)
{
    m_guide = guide;
    m_guideSection = section;
}

bool ScreenKeys::press(QAbstractButton *button, const QWidget *screen)
{
    if (!button || !button->isEnabled() || (screen && !button->isVisibleTo(screen)))
        return false;
    button->click();
    return true;
}

QWidget *ScreenKeys::firstFocus() const
{
    if (m_firstFocus && m_firstFocus->isEnabled())
        return m_firstFocus;
    QWidget *area = m_focusArea ? m_focusArea.data() : m_screen;
    // The tab order of the area's own controls.
    for (QWidget *w = area->nextInFocusChain(); w && w != area; w = w->nextInFocusChain()) {
        if (!area->isAncestorOf(w))
            continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(m_screen) &&
            isDataControl(w))
            return w;
    }
    return nullptr;
}

void ScreenKeys::focusFirst()
{
    if (QWidget *w = firstFocus())
        w->setFocus(Qt::OtherFocusReason);
}

bool ScreenKeys::eventFilter(QObject *watched, QEvent *event)
{
    // The first showing only: a screen shown again keeps where the user was.
    if (watched == m_screen && event->type() == QEvent::Show && !m_shown) {
        m_shown = true;
        focusFirst();
    }
    return QObject::eventFilter(watched, event);
}

QDialog *ScreenKeys::showHelp()
{
    if (!m_help) {
        auto *dialog = new QDialog(m_screen);
        dialog->setObjectName(kHelpName);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowTitle(kHelpTitle);
        dialog->setLayoutDirection(m_screen->layoutDirection());
        dialog->setModal(false);

        auto *table = new QTableWidget(int(m_entries.size()), 2, dialog);
        table->setObjectName(kHelpTableName);
        table->setHorizontalHeaderLabels({kKeyHeading, kActionHeading});
        table->verticalHeader()->hide();
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionMode(QAbstractItemView::NoSelection);
        table->setFocusPolicy(Qt::NoFocus);
        table->setShowGrid(false);
        table->setAlternatingRowColors(true);
        // Key names read left to right inside the Arabic table.
        table->setItemDelegate(new GridDelegate(table));
        for (int row = 0; row < m_entries.size(); ++row) {
            table->setItem(row, 0, new QTableWidgetItem(m_entries.at(row).keys));
            table->setItem(row, 1, new QTableWidgetItem(m_entries.at(row).description));
        }
        table->resizeColumnsToContents();
        table->horizontalHeader()->setStretchLastSection(true);
        table->setMinimumWidth(table->horizontalHeader()->length() + 40);
        table->setMinimumHeight(table->verticalHeader()->length() +
                                table->horizontalHeader()->height() + 8);

        auto *close = new QPushButton(kCloseHelp, dialog);
        close->setObjectName(QStringLiteral("close"));
        connect(close, &QPushButton::clicked, dialog, &QDialog::close);

        auto *layout = new QVBoxLayout(dialog);
        layout->addWidget(table);
        if (m_guide) {
            auto *link = new QPushButton(kGuideLink, dialog);
            link->setObjectName(kGuideLinkName);
            link->setFlat(true);
            link->setCursor(Qt::PointingHandCursor);
            link->setStyleSheet(QStringLiteral("QPushButton { color: palette(link); text-decoration: underline; }"));
            connect(link, &QPushButton::clicked, this, [this] {
                m_guide->showGuide(m_guideSection.isEmpty() ? m_screen->objectName() : m_guideSection, m_screen);
            });
            layout->addWidget(link, 0, Qt::AlignCenter);
        }
        layout->addWidget(close, 0, Qt::AlignCenter);
        m_help = dialog;
    }
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
    return m_help;
}

} // namespace core
