#include "reference/frmcodes.h"

#include "screens/AppContext.h"
#include "screens/DataGrid.h"
#include "data/OpenDb.h"
#include "data/Schema.h"
#include "engine/EngineError.h"
#include "engine/TableCursor.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QButtonGroup>
#include <QGridLayout>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QStylePainter>
#include <QVBoxLayout>

namespace reference {

namespace {

// Tab index i shows code table i + 1. The blanks around two captions are
// part of them.
const char *const kCaptions[frmcodes::kTabCount] = {
    "اللغة",          "الجنسية",      "الديانة",        "المذهب",          "المهنة",
    "المؤهل العلمي",  "النشاط",       "التقويم",        "الدورات",         "تعرف على الإسلام",
    " يفكر في الإسلام", "أماكن التقييم", "صفة المقومين",   "التقويم العام ",  "تقويم الصلاة",
    "تقويم المشكلات", "وضع المشكلات", "علاقة المهتدين",
};

// One tab of WrappingTabs, drawn by the style as a tab of a tab bar.
class TabButton : public QAbstractButton {
public:
    TabButton(const QString &text, QWidget *parent) : QAbstractButton(parent)
    {
        setText(text);
        setCheckable(true);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override
    {
        // Measured the way a tab bar measures its tabs.
        QStyleOptionTab opt = option();
        const QFontMetrics fm = fontMetrics();
        const QSize contents(
            fm.size(Qt::TextShowMnemonic, opt.text).width()
                + style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &opt, this),
            fm.height() + style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &opt, this));
        return style()->sizeFromContents(QStyle::CT_TabBarTab, &opt, contents, this);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionTab opt = option();
        painter.drawControl(QStyle::CE_TabBarTab, opt);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect().adjusted(4, 4, -4, -3);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }

private:
    QStyleOptionTab option() const
    {
        QStyleOptionTab opt;
        opt.initFrom(this);
        opt.shape = QTabBar::RoundedNorth;
        opt.text = text();
        opt.position = QStyleOptionTab::Middle;
        opt.documentMode = false;
        if (isChecked())
            opt.state |= QStyle::State_Selected;
        if (isDown() || underMouse())
            opt.state |= QStyle::State_MouseOver;
        return opt;
    }
};

} // namespace

WrappingTabs::WrappingTabs(int tabsPerRow, QWidget *parent)
    : QWidget(parent), m_perRow(qMax(1, tabsPerRow)), m_group(new QButtonGroup(this))
{
    m_group->setExclusive(true);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    connect(m_group, &QButtonGroup::idClicked, this, &WrappingTabs::setCurrentIndex);
}

int WrappingTabs::addTab(const QString &text)
{
    const int index = count();
    auto *tab = new TabButton(text, this);
    tab->setObjectName(QStringLiteral("%1_tab%2").arg(objectName()).arg(index));
    m_group->addButton(tab, index);
    auto *grid = static_cast<QGridLayout *>(layout());
    grid->addWidget(tab, index / m_perRow, index % m_perRow);
    grid->setColumnStretch(index % m_perRow, 1);
    m_tabs.append(tab);
    if (m_current < 0) {
        m_current = 0;
        tab->setChecked(true);
    }
    return index;
}

QString WrappingTabs::tabText(int index) const
{
    const QAbstractButton *tab = m_tabs.value(index);
    return tab ? tab->text() : QString();
}

void WrappingTabs::setCurrentIndex(int index)
{
    if (index < 0 || index >= count())
        return;
    m_tabs.at(index)->setChecked(true);
    if (index == m_current)
        return;
    m_current = index;
    emit currentChanged(index);
}

QString frmcodes::tabCaption(int index)
{
    if (index < 0 || index >= kTabCount)
        return {};
    return QString::fromUtf8(kCaptions[index]);
}

frmcodes::frmcodes(core::AppContext &ctx, QWidget *parent)
    : core::RecordScreen(ctx, QStringLiteral("frmcodes"), QStringLiteral("الرموز"),
                         core::DataStore::codeTableName(1), parent)
{
    buttonBar()->setObjectName(QStringLiteral("Frame2"));
    listData()->setObjectName(QStringLiteral("CODES_DATA"));

    // Eighteen captions do not fit in one row: three rows of six keep
    // every table in sight.
    m_tabs = new WrappingTabs(6, formArea());
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    for (int i = 0; i < kTabCount; ++i)
        m_tabs->addTab(tabCaption(i));

    m_frame3 = new QFrame(formArea());
    m_frame3->setObjectName(QStringLiteral("Frame3"));
    m_frame3->setFrameShape(QFrame::StyledPanel);
    m_label2 = new QLabel(kFieldCaption, m_frame3);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_text1 = new QLineEdit(m_frame3);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setMaxLength(core::schema::kCodeTextLength);
    m_label2->setBuddy(m_text1);

    auto *edit = new QHBoxLayout(m_frame3);
    edit->setContentsMargins(16, 24, 16, 24);
    edit->addWidget(m_label2);
    edit->addWidget(m_text1, 1);

    auto *area = new QVBoxLayout(formArea());
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(0);
    area->addWidget(m_tabs);
    area->addWidget(m_frame3);
    area->addStretch(1);

    grid()->setHeading(0, kFieldCaption);
    // One column: let it take the grid's width so long entries show whole.
    grid()->horizontalHeader()->setStretchLastSection(true);
    setKeyControl(m_text1);
    // The entry's text, not the tabs above it, is where typing starts.
    setFirstFocus(m_text1);

    // The first tab's table is the one the loading points at.
    m_tab = 0;
    m_listQuery = QStringLiteral("select * from category1");
    setChecks({{m_text1, true}});
    loadForm();

    connect(m_tabs, &WrappingTabs::currentChanged, this, &frmcodes::selectTab);
}

frmcodes::~frmcodes()
{
    // The cursors opened at loading are not left open behind the screen.
    for (int n = 1; n <= kTabCount; ++n)
        ctx().store.slot(core::DataStore::codeTableName(n)).close();
}

void frmcodes::loadLookups()
{
    // All eighteen cursors are opened at once; a failure leaves the screen
    // usable, since every button opens its own table again.
    try {
        ctx().store.openAllCodeTables();
    } catch (const engine::EngineError &) {
    }
}

void frmcodes::selectTab(int index)
{
    if (index < 0 || index >= kTabCount)
        return;
    const int number = index + 1;
    CLEARFIELDS();
    markSaved(); // another table: nothing typed for it yet
    grid()->setHeading(0, kFieldCaption);
    m_tab = index;
    setCursorSlot(ctx().store.slot(core::DataStore::codeTableName(number)));
    m_listQuery = QStringLiteral("select * from category%1").arg(number);
    m_text1->setMaxLength(core::schema::kCodeTextLength);
    refreshList();
}

// The list of the current tab's table; the tab change is what chooses the
// table the buttons work on.
void frmcodes::refreshList()
{
    listData()->setDatabase(ctx().store);
    listData()->setQuery(m_listQuery);
    if (!listData()->tryRefresh() && !loading())
        message(cmn().msgs.MSG_DATAERROR);
}

void frmcodes::CLEARFIELDS()
{
    m_text1->clear();
}

core::RecordKey frmcodes::SETKEY()
{
    return {core::controlText(m_text1)};
}

core::CheckResult frmcodes::VALIDATE()
{
    return runChecks();
}

// The code tables name their one field differently; it is always the
// first field, so the screen addresses it by position.
void frmcodes::DATATOTEXT()
{
    CLEARFIELDS();
    try {
        const QVariant v = table().value(0);
        if (!v.isNull())
            m_text1->setText(v.toString());
    } catch (const engine::EngineError &) {
    }
}

void frmcodes::texttodata()
{
    table().setValue(0, m_text1->text());
}

} // namespace reference
