#pragma once

#include "screens/RecordScreen.h"

#include <QString>

#include <QAbstractButton>
#include <QList>

class QButtonGroup;
class QFrame;
class QLabel;
class QLineEdit;

namespace core {
struct AppContext;
}

namespace reference {

// A tab control whose tabs wrap into rows of equal width, so that many
// tabs stay visible and readable at once. Tab i is a button named
// "<control>_tab<i>".
class WrappingTabs : public QWidget {
    Q_OBJECT
public:
    explicit WrappingTabs(int tabsPerRow, QWidget *parent = nullptr);

    int addTab(const QString &text);
    int count() const { return int(m_tabs.size()); }
    QString tabText(int index) const;
    QAbstractButton *tab(int index) const { return m_tabs.value(index); }
    int currentIndex() const { return m_current; }
    // Selecting another tab emits currentChanged.
    void setCurrentIndex(int index);

signals:
    void currentChanged(int index);

private:
    int m_perRow;
    int m_current = -1;
    QList<QAbstractButton *> m_tabs;
    QButtonGroup *m_group;
};

// The code tables screen: one tab per code table, one edit field holding
// the entry's text, which is the entry's key as well. The buttons work on
// the cursor slot of the current tab's table.
class frmcodes : public core::RecordScreen {
    Q_OBJECT
public:
    static constexpr int kTabCount = 18;
    static inline const QString kFieldCaption = QStringLiteral("الشرح");

    explicit frmcodes(core::AppContext &ctx, QWidget *parent = nullptr);
    ~frmcodes() override;

    // The captions of the tabs, tab index i showing code table i + 1.
    static QString tabCaption(int index);

    void DATATOTEXT() override;
    void texttodata() override;

    // Current tab index (0..17) and the list query of its table.
    int currentTab() const { return m_tab; }
    const QString &listQuery() const { return m_listQuery; }

protected:
    void CLEARFIELDS() override;
    core::RecordKey SETKEY() override;
    core::CheckResult VALIDATE() override;

    void loadLookups() override;
    void refreshList() override;

private:
    void selectTab(int index);

    WrappingTabs *m_tabs = nullptr; // SSTab1
    QFrame *m_frame3 = nullptr;
    QLabel *m_label2 = nullptr;
    QLineEdit *m_text1 = nullptr;

    int m_tab = 0;
    QString m_listQuery;
};

} // namespace reference
