#pragma once

#include "screens/RecordScreen.h"

#include <QString>

class QGridLayout;
class QLabel;
class QLineEdit;

namespace core {

class DateSelector;
class PersonLookup;

// The base of the screens that keep rows about one registered person
// (follow-up steps, courses, questionnaire, ...). It brings:
//
// - the person look-up list dbc_tamrel (PersonLookup) with the person's new
//   names beside it (txt_a_new_name, txt_e_new_name, display only) and, on
//   screens that number rows per person, the row number txt_seq_no; the
//   key is (dbc_tamrel, txt_seq_no) or dbc_tamrel alone;
// - the person check before add and update: a missing person (empty or one
//   blank) or one that is not a number is refused with MSG_INVALID and the
//   focus on dbc_tamrel, so an empty key is never written; a row number
//   that is not a whole number is refused the same way;
// - on add, the next number of the person (highest seq_no + 1) first;
// - the list grid: either the chosen person's rows (re-queried when the
//   person changes, on refresh and after add; the list button shows every
//   row) or every row at all times; update and delete never re-query it;
// - list_ok and a double click on a row: person from column 0 and, when
//   numbered, the number from column 1, then find;
// - the inert print button cmd_print.
//
// Every query takes the person number as a bound value, compared as text:
// a number with quotes, blanks or letters simply finds nothing.
class PersonRecordScreen : public RecordScreen {
    Q_OBJECT
public:
    // What the list grid shows.
    enum class ListRows {
        OfPerson, // the chosen person's rows; `list` shows every row
        All,      // every row, whichever person is chosen
    };

    static inline const QString kPrintTip = QStringLiteral("طباعة الملف");
    static inline const QString kPersonCaption = QStringLiteral("رقم Tamrel");
    static inline const QString kNewNameCaption = QStringLiteral("الاسم الجديد");

    // Clears, shows the bound fields, then personChanged(false).
    void DATATOTEXT() override;

protected:
    // numbered: the rows carry seq_no, numbered per person (two-part key).
    PersonRecordScreen(AppContext &ctx, const QString &formName, const QString &caption,
                       const QString &table, bool numbered, ListRows rows,
                       QWidget *parent = nullptr);

    // Lays out the person rows in the screen's grid from `row` on: the
    // caption, dbc_tamrel and txt_seq_no; then the names. Returns the next row.
    int addPersonRows(QGridLayout *grid, int row);
    // A date row from `row`: the caption, a Hijri date selector whose three
    // lists carry the given names (years WORK_YY - 3 .. WORK_YY + 1, set to
    // the working date) and, beside it, the read-only box `displayName`
    // showing the Gregorian day after each pick.
    DateSelector *addDateRow(QGridLayout *grid, int row, const QString &text,
                             const QString &yearName, const QString &monthName,
                             const QString &dayName, const QString &displayName);
    // The form of a screen shaped like the follow-up steps, in one grid:
    // the person rows; the activity list under its caption; the start date
    // (Combo1..Combo3, Text1) and the end date (Combo4..Combo6, Text2); the
    // evaluation control; the notes box txt_comments. The field controls
    // are set for such a table: tamrel_no, seq_no, description,
    // step_start_date, step_end_date, evaluation, comments.
    struct ActivityForm {
        DateSelector *start = nullptr;
        DateSelector *end = nullptr;
        TextArea *comments = nullptr;
    };
    ActivityForm layOutActivity(const QString &activityCaption, QWidget *activity,
                                QWidget *evaluation);
    // A caption for a control, right of it in the form.
    QLabel *caption(const QString &text, QWidget *buddy);

    // The screen's fields in mapping order with their controls, bound in
    // that order (bindField): showFields() and storeFields() copy them and
    // the list's headings come from their captions.
    struct FieldControl {
        QString field;
        QWidget *control;
    };
    void setFieldControls(const QList<FieldControl> &fields);

    // The person number in the look-up list, without surrounding blanks.
    QString personNumber() const;
    bool personChosen() const;

    // How the look-up of the person's names went.
    enum class PersonFound { NotChosen, Yes, No, Unreadable };
    // Shows the chosen person's names; empties them for a number no person
    // has. Leaves them as they were when no person is chosen or on a read error.
    PersonFound showPersonNames();
    // The grid on the chosen person's rows (lists by person only); errors
    // keep the rows shown. Nothing happens while no person is chosen.
    void requeryPersonRows();

    // After the person number changed: byUser when typed or chosen in the
    // list, not when a record is shown (DATATOTEXT ends with this call).
    // Default: the names and, for lists by person, the grid.
    virtual void personChanged(bool byUser);

    RecordKey SETKEY() override;
    CheckResult VALIDATE() override;
    void refreshList() override;
    void afterDelete(bool deleted) override;
    void addClicked() override;
    void listClicked() override;

    PersonLookup *dbc_tamrel = nullptr;
    QLineEdit *txt_seq_no = nullptr; // numbered screens only
    QLineEdit *txt_a_new_name = nullptr;
    QLineEdit *txt_e_new_name = nullptr;

private:
    void declareChecks();
    QString allRowsSql() const;
    void setPersonRowsQuery();

    QString m_table;
    ListRows m_rows;
};

} // namespace core
