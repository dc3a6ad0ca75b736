#include "shell/MAINMENU.h"

#include "shell/MenuIcons.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

namespace shell {

namespace {

constexpr int kColumns = 5;

// A menu button that shows where the keyboard focus is, and is pressed by
// Enter as well as by Space.
class MenuTile : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QToolButton::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Highlight), 3));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), 6, 6);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
            animateClick();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
};

QToolButton *menuButton(const QString &name, const QString &caption, const QIcon &icon,
                        QWidget *parent)
{
    auto *b = new MenuTile(parent);
    b->setFocusPolicy(Qt::StrongFocus);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(icon);
    b->setIconSize(QSize(48, 48));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setMinimumSize(QSize(128, 92));
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    b->setAutoRaise(false);
    return b;
}

} // namespace

MAINMENU::MAINMENU(const core::LogonState &logon, const core::MenuScreens &screens,
                   QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MAINMENU"));
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QString::fromUtf8(core::kProductTitle));

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setSpacing(10);
    for (const MenuButton &entry : kMenuButtons) {
        QToolButton *b = menuButton(QLatin1String(entry.name), QString::fromUtf8(entry.caption),
                                    menuIcon(entry.number), this);
        m_buttons[entry.number - 1] = b;
        const int index = entry.number - 1;
        grid->addWidget(b, index / kColumns, index % kColumns);
        const int number = entry.number;
        connect(b, &QToolButton::clicked, this, [this, number] { emit screenChosen(number); });
    }
    int at = int(kMenuButtons.size());
    for (size_t i = 0; i < kAdminButtons.size(); ++i, ++at) {
        const MenuButton &entry = kAdminButtons[i];
        m_admin[i] = menuButton(QLatin1String(entry.name), QString::fromUtf8(entry.caption),
                                menuIcon(kAuditPermission), this);
        grid->addWidget(m_admin[i], at / kColumns, at % kColumns);
        const int number = entry.number;
        connect(m_admin[i], &QToolButton::clicked, this, [this, number] { emit screenChosen(number); });
    }
    const int closeAt = at;
    auto *close = menuButton(QStringLiteral("close"), QStringLiteral("خروج"), menuIcon(0), this);
    grid->addWidget(close, closeAt / kColumns, closeAt % kColumns);
    connect(close, &QToolButton::clicked, this, &MAINMENU::closeRequested);

    applyPermissions(logon, screens);

    // Ready for the keyboard: the first button the user may press.
    QWidget *first = close;
    for (QToolButton *b : m_buttons) {
        if (b->isEnabled()) {
            first = b;
            break;
        }
    }
    first->setFocus();
    addGuideButton();
}

void MAINMENU::addGuideButton()
{
    auto *guide = new QPushButton(QStringLiteral("دليل الاستخدام (F1)"), this);
    guide->setObjectName(QStringLiteral("guidex"));
    guide->setToolTip(QStringLiteral("شرح مختصر للبرنامج: أول تشغيل، المهتدون، المتابعة، التقارير، "
                                     "النسخ الاحتياطية، العمل من عدة أجهزة"));
    guide->setFlat(true);
    guide->setCursor(Qt::PointingHandCursor);
    guide->setStyleSheet(QStringLiteral("QPushButton { color: palette(link); text-decoration: underline; }"));
    guide->setAutoDefault(false);
    guide->setFocusPolicy(Qt::TabFocus);
    auto *grid = static_cast<QGridLayout *>(layout());
    grid->addWidget(guide, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignLeft);
    connect(guide, &QPushButton::clicked, this, &MAINMENU::guideRequested);
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WidgetWithChildrenShortcut);
    connect(f1, &QShortcut::activated, this, &MAINMENU::guideRequested);
}

QToolButton *MAINMENU::button(int number) const
{
    for (size_t i = 0; i < kAdminButtons.size(); ++i)
        if (number == kAdminButtons[i].number)
            return m_admin[i];
    if (number < 1 || number > core::kPermissionCount)
        return nullptr;
    return m_buttons[number - 1];
}

void MAINMENU::applyPermissions(const core::LogonState &logon, const core::MenuScreens &screens)
{
    for (QToolButton *b : m_buttons)
        b->setEnabled(false);
    for (int n = 1; n <= core::kPermissionCount; ++n) {
        QToolButton *b = m_buttons[n - 1];
        if (!screens.value(n))
            b->setToolTip(kNotBuiltTip);
        else if (!logon.granted(n))
            b->setToolTip(kNoPermissionTip);
        else
            b->setEnabled(true);
    }
    // Those who may open the users screen may read the trail of changes and
    // put a backup back.
    for (size_t i = 0; i < kAdminButtons.size(); ++i) {
        QToolButton *b = m_admin[i];
        b->setEnabled(false);
        if (!screens.value(kAdminButtons[i].number))
            b->setToolTip(kNotBuiltTip);
        else if (!logon.granted(kAuditPermission))
            b->setToolTip(kNoPermissionTip);
        else
            b->setEnabled(true);
    }
}

} // namespace shell
