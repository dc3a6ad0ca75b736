#include "followup/frmFollowup.h"

#include "screens/AppContext.h"
#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "screens/TextArea.h"

#include <QLineEdit>

namespace followup {

frmFollowup::frmFollowup(core::AppContext &ctx, QWidget *parent)
    : PersonRecordScreen(ctx, QStringLiteral("frmFollowup"), QStringLiteral("متابعة الأنشطة"),
                         QLatin1String(kTable), true, ListRows::OfPerson, parent)
{
    dbc_step = fieldList(QStringLiteral("dbc_step"), QStringLiteral("description"), 7);
    DBC_evaluation = fieldList(QStringLiteral("DBC_evaluation"), QStringLiteral("evaluation"), 8);
    txt_comments = layOutActivity(QStringLiteral("النشاط"), dbc_step, DBC_evaluation).comments;

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

} // namespace followup
