#include "frmFollowup.h"

#include "AppContext.h"
#include "DateSelector.h"
#include "LookupCombo.h"
#include "PersonLookup.h"
#include "Schema.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace followup {

namespace {

// Fields in mapping order.
constexpr const char *kFields[] = {"tamrel_no",     "seq_no",     "description", "step_start_date",
                                   "step_end_date", "evaluation", "comments"};

} // namespace

frmFollowup::frmFollowup(core::AppContext &ctx, QWidget *parent)
    : PersonRecordScreen(ctx, QStringLiteral("frmFollowup"), QStringLiteral("متابعة الأنشطة"),
                         QLatin1String(kTable), true, ListRows::OfPerson, parent)
{
    dbc_step = new core::LookupCombo(QStringLiteral("dbc_step"), formArea());
    dbc_step->setListField(core::schema::codeFieldName(7));
    fitToField(dbc_step, QStringLiteral("description"));
    DBC_evaluation = new core::LookupCombo(QStringLiteral("DBC_evaluation"), formArea());
    DBC_evaluation->setListField(core::schema::codeFieldName(8));
    fitToField(DBC_evaluation, QStringLiteral("evaluation"));
    txt_comments = new QPlainTextEdit(formArea());
    txt_comments->setObjectName(QStringLiteral("txt_comments"));
    txt_comments->setTabChangesFocus(true);

    auto *grid = new QGridLayout(formArea());
    int row = addPersonRows(grid, 0);
    grid->addWidget(caption(QStringLiteral("النشاط"), dbc_step), row, 0);
    grid->addWidget(dbc_step, row++, 1, 1, 2);
    m_start = addDateRow(grid, row++, QStringLiteral("تاريخ البداية"), QStringLiteral("Combo1"),
                         QStringLiteral("Combo2"), QStringLiteral("Combo3"), QStringLiteral("Text1"));
    m_end = addDateRow(grid, row++, QStringLiteral("تاريخ النهاية"), QStringLiteral("Combo4"),
                       QStringLiteral("Combo5"), QStringLiteral("Combo6"), QStringLiteral("Text2"));
    grid->addWidget(caption(QStringLiteral("التقييم"), DBC_evaluation), row, 0);
    grid->addWidget(DBC_evaluation, row++, 1);
    grid->addWidget(caption(QStringLiteral("ملاحظات"), txt_comments), row, 0, Qt::AlignTop);
    grid->addWidget(txt_comments, row, 1, 1, 2);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 1);

    m_controls = {dbc_tamrel, txt_seq_no, dbc_step, m_start, m_end, DBC_evaluation, txt_comments};
    listData()->setObjectName(QStringLiteral("followup_data"));
    loadForm();
}

void frmFollowup::loadLookups()
{
    // A list that cannot be read stays empty; its box still takes typing.
    dbc_step->open(ctx().store, QLatin1String(kStepSql));
    DBC_evaluation->open(ctx().store, QLatin1String(kEvaluationSql));
}

void frmFollowup::CLEARFIELDS()
{
    // The date selectors and their Gregorian days keep what they show.
    dbc_tamrel->setText(QStringLiteral(" "));
    dbc_step->setText(QString());
    txt_seq_no->clear();
    DBC_evaluation->setText(QString());
    txt_comments->clear();
    txt_a_new_name->clear();
    txt_e_new_name->clear();
}

void frmFollowup::personChanged(bool byUser)
{
    // A number no person has starts the step afresh; a step shown from the
    // table keeps its fields even when its person has gone.
    if (showPersonNames() == PersonFound::No && byUser) {
        dbc_step->setText(QString());
        txt_seq_no->clear();
        DBC_evaluation->setText(QString());
        txt_comments->clear();
    }
    requeryPersonRows();
}

void frmFollowup::DATATOTEXT()
{
    CLEARFIELDS();
    for (int i = 0; i < int(m_controls.size()); ++i)
        showField(QLatin1String(kFields[i]), m_controls[i]);
    personChanged(false);
}

void frmFollowup::texttodata()
{
    for (int i = 0; i < int(m_controls.size()); ++i)
        storeField(m_controls[i], QLatin1String(kFields[i]));
}

} // namespace followup
