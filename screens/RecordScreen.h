#pragma once

#include "screens/CmnSub.h"

#include <QFrame>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QStatusBar;
class QVBoxLayout;

namespace engine {
class TableCursor;
}

namespace core {

struct AppContext;
class CursorSlot;
class DataGrid;
class DataSource;
class EditWatch;
class LookupCombo;
class TextArea;
class ScreenKeys;

// The base of every table screen: the standard buttons, the list panel and
// the standard handlers around the common procedures of CmnSub. A screen
// puts its controls into formArea(), implements CLEARFIELDS, SETKEY and
// VALIDATE (and DATATOTEXT and texttodata where its bound fields are not
// all there is to show and store), configures listData(), and calls
// loadForm() last in its constructor.
//
// Every button that works on the table opens the screen's cursor slot, runs
// the common procedure on this screen with the key SETKEY gives at that
// moment, and closes the cursor again, also when something fails.
//
// Field bindings. A screen lists its fields once, in the order it maps
// them, each with its control (and, where it is not the control's buddy,
// its label):
//
//     bindField("NAME", NAME_TEXT);                 // label: the QLabel whose buddy is NAME_TEXT (or lies inside it)
//     bindField("english_NAME", english_NAME_TEXT, englishLabel);
//     bindField("Date_of_islam", txt_date, QStringLiteral("تاريخ الإسلام"));
//
// The default DATATOTEXT clears the controls and shows the bound fields;
// the default texttodata stores them.
//
// The same list names the list grid's columns: the heading of a column is
// the text of its field's label (trimmed, without a trailing colon or a
// mnemonic &), or the field name when the field has no label or is not
// bound. The grid's columns, their order and their field names stay those
// of the list's query; a heading set on the grid itself (setHeading) wins.
//
// Checks. A screen declares its checks once, in VALIDATE's order
// (setChecks: each control with CHECKFIELD's REQUIRED and NUMERIC, or a
// rule of its own); VALIDATE runs them (runChecks). The required ones are
// marked on the screen from its opening (screens/RequiredMark.h), so the
// marks and the check never differ. A refusal shows the control's tab page
// and names the field and the page in the status bar, besides the message.
//
// Status bar. At the bottom of the screen: a line of the screen's own
// (showStatus) and the unsaved mark. While the controls hold edits not yet
// saved (EditWatch over the bound fields and any watchEdits() control),
// the window title ends in " *" and the status bar says so; showing a
// record, writing it and clearing the screen take the mark away.
//
// The list follows the record: once a record is shown or written, the
// grid's current row is that record's row (found by the table's key), and
// none when the list does not hold it.
//
// Keyboard. Each standard button has a key (screens/ScreenKeys.h): Ctrl+F
// find, Ctrl+S update, Ctrl+N add, Ctrl+Shift+Delete delete, Ctrl+E clear,
// Alt+Home/Alt+End first/last, Ctrl+Page Up/Page Down previous/next,
// Ctrl+L list, F5 refresh, Escape close, F1 the list of keys. A key acts as
// a click on its button: a disabled or hidden button does nothing. Enter or
// a double click on a grid row runs gridDoubleClicked() (list_ok by default).
// The focus starts in the first data field of formArea() in tab order, or
// in the control given to setFirstFocus().
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
    // CLEARFIELDS, then every bound field into its control.
    void DATATOTEXT() override;
    // Every bound control into its field.
    void texttodata() override;
    // The open cursor of the screen's slot.
    engine::TableCursor &recordTable() override;

    QSize sizeHint() const override;

    // The controls hold edits that are not saved yet.
    bool hasUnsavedEdits() const;
    static inline const QString kUnsavedText = QStringLiteral("تعديلات لم تحفظ بعد");
    static inline const QString kUnsavedTitleMark = QStringLiteral(" *");
    // The status line after a refused check: the field and its tab page.
    static QString refusalText(const QString &field, const QString &tab, const QString &message);

protected:
    // The loading sequence: LOADMSGS, CLEARFIELDS, the list's database,
    // loadLookups(), then refreshList().
    void loadForm();

    // --- the screen's own procedures
    virtual void CLEARFIELDS() = 0;
    // The key of the record on the screen, from its key controls as they
    // are when a procedure is about to run.
    virtual RecordKey SETKEY() = 0;
    // Runs the screen's checks in order; the first failing one gives the
    // result (its message), has the focus, and the rest are not run.
    virtual CheckResult VALIDATE() = 0;

    // --- where screens differ
    // Opens the screen's look-up lists during loading (default: none).
    virtual void loadLookups() {}
    // The refresh button: the list's data source runs its record source
    // again on the data store.
    virtual void refreshList();
    // Before update checks anything: false stops the update (the screen did
    // what it does instead). Default: true.
    virtual bool beforeUpdate() { return true; }
    // After the add, update and delete operations, with their outcome.
    // Default: add and delete refresh the list, update does nothing.
    virtual void afterAdd(bool added);
    virtual void afterUpdate(bool updated);
    virtual void afterDelete(bool deleted);
    // Enter or a double click on a grid row: the list choice when it takes
    // double clicks, otherwise presses list_ok (default).
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
    // Opens the slot, runs op, closes the cursor on every way out. An engine error that reaches here (opening
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

    // --- field bindings (see the class comment)
    struct FieldBinding {
        QString field;
        QPointer<QWidget> control;
        QPointer<QLabel> label; // none: the label whose buddy is the control
        QString heading;        // a fixed heading instead of a label's text
    };
    void bindField(const QString &field, QWidget *control, QLabel *label = nullptr);
    void bindField(const QString &field, QWidget *control, const QString &heading);
    const QList<FieldBinding> &fieldBindings() const { return m_bindings; }
    // Every bound field into its control (showField), in binding order.
    void showFields();
    // Every bound control into its field (storeField), in binding order.
    void storeFields();

    void message(const QString &text);

    // One check of VALIDATE (CmnSub::CHECKFIELD on the control's text): a
    // failing control takes the focus; a valid empty one is given a blank.
    CheckResult checkControl(QWidget *control, bool required, bool numeric = false);

    // --- the checks of VALIDATE (see the class comment)
    struct FieldCheck {
        QWidget *control = nullptr;
        bool required = true; // CHECKFIELD's REQUIRED; required ones are marked
        bool numeric = false; // CHECKFIELD's NUMERIC
        // A check of the screen's own instead of CHECKFIELD; it leaves the
        // focus on the control that fails, as CHECKFIELD does.
        std::function<CheckResult()> rule = {};
    };
    // Declares the checks, before loadForm().
    void setChecks(const QList<FieldCheck> &checks);
    const QList<FieldCheck> &checks() const { return m_fieldChecks; }
    // Runs the checks in order; the first that fails gives the result, and
    // the rest are not run.
    CheckResult runChecks();

    // --- the status bar and the unsaved mark
    QStatusBar *statusBar() const { return m_statusBar; }
    // The screen's line in the status bar, until the next one (empty: none).
    void showStatus(const QString &text);
    // A control whose edits count besides the bound fields.
    void watchEdits(QWidget *control);
    // A bound control left out of the watch (shown, never stored).
    void ignoreEdits(QWidget *control);
    // What the controls hold now is stored (or a cleared screen).
    void markSaved();

    // --- the list row of the record shown
    // The common procedures' call once a record is in the controls: the
    // screen is clean and the list follows the record.
    void recordInControls() override;
    // Makes the row of the record with these key values (the table's key,
    // in key order) the list's current row; no row when it has none.
    void followRecord(const QVariantList &key);

    // A box, editable list or text area never takes more characters than
    // its field stores (a field of the screen's table, or of the table named).
    void fitToField(QWidget *control, const QString &field, const QString &table = {}) const;
    // An editable look-up list for a field of the screen's table (or of
    // `table`), never taking more characters than the field stores; with a
    // code table, its entries are what the list shows.
    LookupCombo *fieldList(const QString &objectName, const QString &field, int codeTable = 0,
                           const QString &table = {});
    // A box of several lines of text (Tab moves on), `lines` high (0: as
    // high as the layout makes it), holding no more than `field` stores.
    TextArea *textBox(const QString &objectName, int lines = 0, const QString &field = {});

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

    // The screen's keys; a screen may bind keys of its own buttons.
    ScreenKeys &keys() const { return *m_keys; }
    // Where the focus starts when the screen opens, instead of the first
    // data field of formArea().
    void setFirstFocus(QWidget *control);

    bool loading() const { return m_loading; }

public:
    // The heading the list grid shows for a field (see the class comment).
    QString headingFor(const QString &field) const;

private:
    QPushButton *makeButton(const QString &name, const QString &tip, int icon);
    void chooseGridRow();
    void buildLayout();
    void makeStandardButtons(QHBoxLayout *bar);
    void buildListPanel();
    void connectButtons();
    void bindKeys();
    void fitWindowToContents();
    void buildStatusBar(QVBoxLayout *main);
    void showUnsavedMark(bool unsaved);
    void startWatchingEdits();
    void followShownRecordAgain();

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
    ScreenKeys *m_keys = nullptr;
    QList<FieldBinding> m_bindings;
    mutable QHash<QString, QString> m_headings; // folded field -> heading, built on demand
    mutable bool m_headingsKnown = false;
    bool m_loading = false;

    QString m_caption;
    QList<FieldCheck> m_fieldChecks;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_statusLine = nullptr;
    QLabel *m_unsavedMark = nullptr;
    QString m_refusal; // the status line a refused check left
    EditWatch *m_edits = nullptr;
    QList<QPointer<QWidget>> m_extraWatched;
    QList<QPointer<QWidget>> m_ignored;
    QVariantList m_shownKey; // the key of the record in the controls
    QMetaObject::Connection m_followWhenRead;
};

} // namespace core
