#pragma once

#include "CmnSub.h"

#include <QFrame>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QHBoxLayout;
class QPushButton;

namespace engine {
class TableCursor;
}

namespace core {

struct AppContext;
class CursorSlot;
class DataGrid;
class DataSource;

// The base of every table screen: the standard buttons, the list panel and
// the standard handlers around the common procedures of CmnSub. A screen
// puts its controls into formArea(), implements DATATOTEXT, texttodata,
// CLEARFIELDS, SETKEY and VALIDATE, configures listData(), and calls
// loadForm() last in its constructor.
//
// Every button that works on the table opens the screen's cursor slot,
// makes it CURRENT_TABLE (and this screen CURRENT_FORM), runs the common
// procedure and closes the cursor again, also when something fails.
class RecordScreen : public QWidget, public RecordForm {
    Q_OBJECT
public:
    // Standard button names and texts.
    static inline const QString kAddTip = QStringLiteral(" اضافة سجل جديد");
    static inline const QString kUpdateTip = QStringLiteral("حفظ التعديلات");
    static inline const QString kDeleteTip = QStringLiteral("حذف السجل");
    static inline const QString kClearTip = QStringLiteral("مسح الحقول");
    static inline const QString kFindTip = QStringLiteral("بحث بواسطة رمز التخزين أو جزء منه");
    static inline const QString kFirstTip = QStringLiteral("السجل الاول");
    static inline const QString kLastTip = QStringLiteral("السجل الاخير");
    static inline const QString kNextTip = QStringLiteral("السجل التالي");
    static inline const QString kPrevTip = QStringLiteral("السجل السابق");
    static inline const QString kListTip = QStringLiteral("عرض المعلومات على شكل جدول");
    static inline const QString kListOkCaption = QStringLiteral("اختيار");
    static inline const QString kRefreshCaption = QStringLiteral("تحديث");
    static inline const QString kCloseCaption = QStringLiteral("خروج");
    static inline const QString kPrimaryKey = QStringLiteral("PRIMARYKEY");

    // formName: the screen's object name (frmWitnesses); caption: its
    // window title; table: the table whose cursor slot the buttons open.
    RecordScreen(AppContext &ctx, const QString &formName, const QString &caption,
                 const QString &table, QWidget *parent = nullptr);
    ~RecordScreen() override;

    // Sets the index of the screen's cursor to PRIMARYKEY.
    void SETINDEX() override;

    QSize sizeHint() const override;

protected:
    // The loading sequence: LOADMSGS, CLEARFIELDS, the list's database,
    // CURRENT_TABLE and CURRENT_FORM, loadLookups(), then refreshList().
    void loadForm();

    // --- the screen's own procedures
    virtual void CLEARFIELDS() = 0;
    virtual void SETKEY() = 0;
    // Runs the screen's checks; returns the screen's valid flag. On failure
    // the message is in cmn().ERRMSG and the focus on the failing control.
    virtual bool VALIDATE() = 0;

    // --- where screens differ
    // Opens the screen's look-up lists during loading (default: none).
    virtual void loadLookups() {}
    // The refresh button: CURRENT_TABLE := the screen's slot, then the list's
    // data source runs its record source again on the data store.
    virtual void refreshList();
    // After the add, update and delete operations, with their outcome.
    // Default: add and delete refresh the list, update does nothing.
    virtual void afterAdd(bool added);
    virtual void afterUpdate(bool updated);
    virtual void afterDelete(bool deleted);
    // A double click on a grid row (default: the list choice, when it
    // takes double clicks; otherwise nothing).
    virtual void gridDoubleClicked();

    // --- the standard handlers, one per button
    virtual void addClicked();
    virtual void updateClicked();
    virtual void deleteClicked();
    virtual void clearClicked();
    virtual void findClicked();
    virtual void firstrecClicked();
    virtual void prevrecClicked();
    virtual void nextrecClicked();
    virtual void lastrecClicked();
    virtual void listClicked();
    // Puts column 0 of the grid's current row into the key control, then
    // runs find. Nothing happens when the grid has no current row.
    virtual void listOkClicked();
    virtual void refreshClicked();
    virtual void closeClicked();

    // --- building blocks
    // Opens the slot, sets CURRENT_TABLE/CURRENT_FORM, runs op, closes the
    // cursor on every way out. An engine error that reaches here (opening
    // the cursor, SETKEY...) is shown as MSG_DATAERROR. Returns false then.
    bool withCursor(const std::function<void()> &op);

    AppContext &ctx() const { return m_ctx; }
    CmnSub &cmn() const;
    // The slot the buttons open; a screen over several tables may switch it.
    CursorSlot &cursorSlot() const { return *m_slot; }
    void setCursorSlot(CursorSlot &slot) { m_slot = &slot; }
    // The open cursor of the screen's slot (throws EngineError when closed).
    engine::TableCursor &table() const;

    // DATATOTEXT helper: the field of the current record into the control
    // as text; a null field or a failing read leaves the control as it is.
    void showField(const QString &field, QWidget *control);
    // texttodata helper: the control's text into the field (a check box as
    // 0 or 1). Errors go to the caller.
    void storeField(QWidget *control, const QString &field);

    void message(const QString &text);

    // The control that list_ok fills from the first grid column.
    void setKeyControl(QWidget *control) { m_keyControl = control; }
    QWidget *keyControl() const { return m_keyControl; }

    // How list_ok takes the grid's current row: column 0 into the key
    // control and, on screens with a two-part key, column 1 into the second
    // key control; then find runs.
    struct ListChoice {
        QWidget *secondKey = nullptr; // receives column 1 (none: one key column)
        bool skipEmptyKey = false;    // list_ok leaves a row with an empty column 0 alone
        bool onDoubleClick = false;   // a double click on a row chooses it too (no emptiness test)
    };
    void setListChoice(const ListChoice &choice);

    // --- the parts of the window
    QWidget *formArea() const { return m_formArea; }
    QFrame *buttonBar() const { return m_buttonBar; }
    // Adds a screen's own button to the button row, after the standard ones.
    void addButton(QAbstractButton *button);
    // Adds list2: a second button looking like the list button (same icon,
    // size and tip) with no action of its own.
    QPushButton *addInertListButton();
    QFrame *listPanel() const { return m_frame1; }
    DataGrid *grid() const { return m_grid; }
    DataSource *listData() const { return m_listData; }
    QPushButton *button(const QString &name) const;

    bool loading() const { return m_loading; }

private:
    QPushButton *makeButton(const QString &name, const QString &tip, int icon);
    void chooseGridRow();
    void buildLayout();

    AppContext &m_ctx;
    CursorSlot *m_slot;
    QPointer<QWidget> m_keyControl;
    QPointer<QWidget> m_secondKeyControl;
    bool m_skipEmptyKey = false;
    bool m_chooseOnDoubleClick = false;
    QWidget *m_formArea = nullptr;
    QFrame *m_buttonBar = nullptr;
    QHBoxLayout *m_buttonRow = nullptr;
    QFrame *m_frame1 = nullptr;
    DataGrid *m_grid = nullptr;
    DataSource *m_listData = nullptr;
    bool m_loading = false;
};

} // namespace core
