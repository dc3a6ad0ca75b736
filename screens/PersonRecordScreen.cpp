#include "screens/PersonRecordScreen.h"

#include "screens/AppContext.h"
#include "screens/DataSource.h"
#include "screens/DateSelector.h"
#include "screens/DigitsOnly.h"
#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "data/Schema.h"
#include "screens/TextArea.h"
#include "engine/EngineError.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace core {

namespace {

bool isWholeNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(text).hasMatch();
}

} // namespace

PersonRecordScreen::PersonRecordScreen(AppContext &ctx, const QString &formName,
                                       const QString &caption, const QString &table,
                                       bool numbered, ListRows rows, QWidget *parent)
    : RecordScreen(ctx, formName, caption, table, parent), m_table(table), m_rows(rows)
{
    dbc_tamrel = new PersonLookup(QStringLiteral("dbc_tamrel"), formArea());
    dbc_tamrel->setStore(ctx.store);
    fitToField(dbc_tamrel, QStringLiteral("tamrel_no"));
    if (numbered) {
        txt_seq_no = new QLineEdit(formArea());
        txt_seq_no->setObjectName(QStringLiteral("txt_seq_no"));
        txt_seq_no->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
        txt_seq_no->setMaximumWidth(90);
    }
    txt_a_new_name = new QLineEdit(formArea());
    txt_a_new_name->setObjectName(QStringLiteral("txt_a_new_name"));
    txt_a_new_name->setReadOnly(true);
    txt_e_new_name = new QLineEdit(formArea());
    txt_e_new_name->setObjectName(QStringLiteral("txt_e_new_name"));
    txt_e_new_name->setReadOnly(true);
    txt_e_new_name->setLayoutDirection(Qt::LeftToRight);

    // Printing a screen's record is not offered; the button only keeps its place.
    auto *print = new QPushButton(QStringLiteral("طباعة"));
    print->setObjectName(QStringLiteral("cmd_print"));
    print->setToolTip(kPrintTip);
    print->setAutoDefault(false);
    addButton(print);

    if (m_rows == ListRows::All) {
        listData()->setQuery(allRowsSql());
        // Every row of a table that grows with the register: the list reads a
        // moment on the window's thread and the rest as it is found, so the
        // screen opens (and the list is read again) without a wait.
        listData()->setInlineBudget(1);
    }
    setKeyControl(dbc_tamrel);
    setListChoice({txt_seq_no, true, true});
    // Person and row numbers take digits only.
    acceptDigitsOnly(dbc_tamrel->lineEdit());
    if (txt_seq_no)
        acceptDigitsOnly(txt_seq_no);
    declareChecks();
    connect(dbc_tamrel, &PersonLookup::personChanged, this, [this] { personChanged(true); });
}

int PersonRecordScreen::addPersonRows(QGridLayout *grid, int row)
{
    grid->addWidget(caption(kPersonCaption, dbc_tamrel), row, 0);
    grid->addWidget(dbc_tamrel, row, 1);
    if (txt_seq_no)
        grid->addWidget(txt_seq_no, row, 2, Qt::AlignLeading);
    ++row;
    grid->addWidget(caption(kNewNameCaption, txt_a_new_name), row, 0);
    grid->addWidget(txt_a_new_name, row, 1);
    grid->addWidget(txt_e_new_name, row, 2);
    return row + 1;
}

DateSelector *PersonRecordScreen::addDateRow(QGridLayout *grid, int row, const QString &text,
                                             const QString &yearName, const QString &monthName,
                                             const QString &dayName, const QString &displayName)
{
    auto *date = new DateSelector(yearName, monthName, dayName, formArea());
    date->setYearsAround(ctx().logon, 3, 1);
    date->setWorkingDate(ctx().logon);
    auto *display = new QLineEdit(formArea());
    display->setObjectName(displayName);
    display->setReadOnly(true);
    display->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    display->setMaximumWidth(120);
    date->setDisplay(display);
    // The Gregorian day stands right after the three lists.
    auto *line = new QHBoxLayout;
    line->addWidget(date);
    line->addSpacing(12);
    line->addWidget(display);
    line->addStretch(1);
    grid->addWidget(caption(text, date->yearList()), row, 0);
    grid->addLayout(line, row, 1, 1, 2);
    return date;
}

PersonRecordScreen::ActivityForm PersonRecordScreen::layOutActivity(const QString &activityCaption,
                                                                    QWidget *activity,
                                                                    QWidget *evaluation)
{
    ActivityForm form;
    form.comments = textBox(QStringLiteral("txt_comments"));

    auto *grid = new QGridLayout(formArea());
    int row = addPersonRows(grid, 0);
    grid->addWidget(caption(activityCaption, activity), row, 0);
    grid->addWidget(activity, row++, 1, 1, 2);
    form.start = addDateRow(grid, row++, QStringLiteral("تاريخ البداية"), QStringLiteral("Combo1"),
                            QStringLiteral("Combo2"), QStringLiteral("Combo3"), QStringLiteral("Text1"));
    form.end = addDateRow(grid, row++, QStringLiteral("تاريخ النهاية"), QStringLiteral("Combo4"),
                          QStringLiteral("Combo5"), QStringLiteral("Combo6"), QStringLiteral("Text2"));
    grid->addWidget(caption(QStringLiteral("التقييم"), evaluation), row, 0);
    grid->addWidget(evaluation, row++, 1);
    grid->addWidget(caption(QStringLiteral("ملاحظات"), form.comments), row, 0, Qt::AlignTop);
    grid->addWidget(form.comments, row, 1, 1, 2);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 1);

    setFieldControls({{QStringLiteral("tamrel_no"), dbc_tamrel},
                      {QStringLiteral("seq_no"), txt_seq_no},
                      {QStringLiteral("description"), activity},
                      {QStringLiteral("step_start_date"), form.start},
                      {QStringLiteral("step_end_date"), form.end},
                      {QStringLiteral("evaluation"), evaluation},
                      {QStringLiteral("comments"), form.comments}});
    return form;
}

void PersonRecordScreen::setFieldControls(const QList<FieldControl> &fields)
{
    for (const FieldControl &f : fields) {
        // The row number has no caption of its own on these screens.
        if (f.control == txt_seq_no)
            bindField(f.field, f.control, QStringLiteral("الرقم"));
        else
            bindField(f.field, f.control);
    }
}

QLabel *PersonRecordScreen::caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, formArea());
    label->setBuddy(buddy);
    return label;
}

QString PersonRecordScreen::personNumber() const
{
    return dbc_tamrel->text().trimmed();
}

bool PersonRecordScreen::personChosen() const
{
    return isPersonChosen(dbc_tamrel->text());
}

PersonRecordScreen::PersonFound PersonRecordScreen::showPersonNames()
{
    if (!personChosen())
        return PersonFound::NotChosen;
    try {
        const std::optional<PersonNames> names = findPersonNames(ctx().store.db(), personNumber());
        txt_a_new_name->setText(names ? names->arabic : QString());
        txt_e_new_name->setText(names ? names->english : QString());
        return names ? PersonFound::Yes : PersonFound::No;
    } catch (const engine::EngineError &) {
        return PersonFound::Unreadable;
    }
}

// The table name is the screen's own constant, never typed text; the
// person number is always a bound value.
QString PersonRecordScreen::allRowsSql() const
{
    return QStringLiteral("SELECT * FROM %1").arg(m_table);
}

void PersonRecordScreen::setPersonRowsQuery()
{
    listData()->setQuery(QStringLiteral("SELECT * FROM %1 WHERE tamrel_no = ?").arg(m_table),
                         {QVariant(personNumber())});
}

void PersonRecordScreen::requeryPersonRows()
{
    if (m_rows != ListRows::OfPerson || !personChosen())
        return;
    setPersonRowsQuery();
    listData()->setDatabase(ctx().store);
    // A list that cannot be read keeps the rows it showed.
    listData()->tryRefresh();
}

void PersonRecordScreen::personChanged(bool)
{
    showPersonNames();
    requeryPersonRows();
}

void PersonRecordScreen::DATATOTEXT()
{
    RecordScreen::DATATOTEXT();
    personChanged(false);
}

RecordKey PersonRecordScreen::SETKEY()
{
    if (txt_seq_no)
        return {controlText(dbc_tamrel), txt_seq_no->text()};
    return {controlText(dbc_tamrel)};
}

// The person check: a person whose number is a number, then (numbered
// screens) a whole row number; both refused with MSG_INVALID.
void PersonRecordScreen::declareChecks()
{
    QList<FieldCheck> checks{{dbc_tamrel, true, true, [this] {
                                  const QString typed = dbc_tamrel->text();
                                  const QString number = typed.trimmed();
                                  if (number.isEmpty() || !isNumber(number)) {
                                      dbc_tamrel->setFocus();
                                      return CheckResult::failed(cmn().msgs.MSG_INVALID);
                                  }
                                  // The key is written as the number itself, never with blanks around it.
                                  if (number != typed)
                                      dbc_tamrel->setText(number);
                                  return CheckResult();
                              }}};
    if (txt_seq_no)
        checks.append({txt_seq_no, true, true, [this] {
                           txt_seq_no->setText(txt_seq_no->text().trimmed());
                           if (isWholeNumber(txt_seq_no->text()))
                               return CheckResult();
                           txt_seq_no->setFocus();
                           return CheckResult::failed(cmn().msgs.MSG_INVALID);
                       }});
    setChecks(checks);
}

CheckResult PersonRecordScreen::VALIDATE()
{
    return runChecks();
}

void PersonRecordScreen::refreshList()
{
    if (m_rows == ListRows::OfPerson) {
        if (personChosen()) {
            setPersonRowsQuery();
        } else if (!loading()) {
            // Without a person the grid keeps what it shows.
            return;
        }
    }
    RecordScreen::refreshList();
}

void PersonRecordScreen::afterDelete(bool)
{
    // The deleted row stays in the grid until the next re-query.
}

void PersonRecordScreen::addClicked()
{
    // The new row's number comes first; with no valid person chosen the
    // check below refuses the row and the number is left alone.
    if (txt_seq_no && personChosen() && isNumber(personNumber())) {
        try {
            txt_seq_no->setText(QString::number(nextSeqNo(ctx().store.db(), m_table, personNumber())));
        } catch (const engine::EngineError &) {
            message(cmn().msgs.MSG_DATAERROR);
            return;
        }
    }
    RecordScreen::addClicked();
}

void PersonRecordScreen::listClicked()
{
    RecordScreen::listClicked();
    listData()->setQuery(allRowsSql());
    RecordScreen::refreshList();
}

} // namespace core
