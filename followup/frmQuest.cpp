#include "followup/frmQuest.h"

#include "screens/AppContext.h"
#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "screens/TextArea.h"
#include "engine/QueryCursor.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace followup {

frmQuest::frmQuest(core::AppContext &ctx, QWidget *parent)
    : PersonRecordScreen(ctx, QStringLiteral("frmQuest"),
                         QStringLiteral("إستبيان عام لTamrels / General Questionnaire For Tamrels"),
                         QLatin1String(kTable), false, ListRows::All, parent)
{
    dbc_q1 = fieldList(QStringLiteral("dbc_q1"), QStringLiteral("q1"), 10);
    dbc_q2 = fieldList(QStringLiteral("dbc_q2"), QStringLiteral("q2"), 11);
    txt_q3 = textBox(QStringLiteral("txt_q3"), 3);
    txt_q4 = textBox(QStringLiteral("txt_q4"), 3);
    txt_q5 = textBox(QStringLiteral("txt_q5"), 3);
    txt_remark_1 = textBox(QStringLiteral("txt_remark_1"), 3);

    auto *grid = new QGridLayout(formArea());
    int row = addPersonRows(grid, 0);
    const auto question = [&](const QString &text, QWidget *answer) {
        const bool list = qobject_cast<core::LookupCombo *>(answer) != nullptr;
        grid->addWidget(caption(text, answer), row, 0, list ? Qt::Alignment() : Qt::AlignTop);
        grid->addWidget(answer, row++, 1, 1, 2);
    };
    question(QStringLiteral("كيف تعرف على الإسلام"), dbc_q1);
    question(QStringLiteral("منذ متى و هو يفكر في الإسلام؟"), dbc_q2);
    question(QStringLiteral("سبب اعتناقه الإسلام"), txt_q3);
    question(QStringLiteral("ماهو سبب تأخر أسلامه؟"), txt_q4);
    question(QStringLiteral("كيف أسلمت؟"), txt_q5);
    question(QStringLiteral("ملاحظات"), txt_remark_1);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 1);

    m_answers = {{QStringLiteral("q1"), dbc_q1},       {QStringLiteral("q2"), dbc_q2},
                 {QStringLiteral("q3"), txt_q3},       {QStringLiteral("q4"), txt_q4},
                 {QStringLiteral("q5"), txt_q5},       {QStringLiteral("remark_1"), txt_remark_1}};
    setFieldControls(QList<FieldControl>{{QStringLiteral("tamrel_no"), dbc_tamrel}} + m_answers);
    listData()->setObjectName(QStringLiteral("quest_data"));
    loadForm();
}

void frmQuest::loadLookups()
{
    // A list that cannot be read stays empty; its box still takes typing.
    dbc_q1->open(ctx().store, QLatin1String(kQ1Sql));
    dbc_q2->open(ctx().store, QLatin1String(kQ2Sql));
}

void frmQuest::clearAnswers()
{
    for (const FieldControl &answer : std::as_const(m_answers))
        core::setControlText(answer.control, QString());
}

void frmQuest::CLEARFIELDS()
{
    dbc_tamrel->setText(QString());
    txt_a_new_name->clear();
    txt_e_new_name->clear();
    clearAnswers();
}

bool frmQuest::showStoredAnswers()
{
    try {
        engine::QueryCursor stored(ctx().store.db(),
                                   QStringLiteral("SELECT * FROM questionnaire WHERE tamrel_no = ?"),
                                   {QVariant(personNumber())});
        if (!stored.next())
            return false; // none yet: the empty answers are ready for add
        for (const FieldControl &answer : std::as_const(m_answers)) {
            const QVariant v = stored.value(answer.field);
            if (!v.isNull())
                core::setControlText(answer.control, v.toString());
        }
        return true;
    } catch (const engine::EngineError &) {
        return false;
    }
}

void frmQuest::personChanged(bool byUser)
{
    const PersonFound found = showPersonNames();
    // Showing a record has put its answers in already; they stay even when
    // the person has gone from the register.
    if (!byUser)
        return;
    if (found != PersonFound::NotChosen && found != PersonFound::Unreadable) {
        clearAnswers();
        if (found == PersonFound::Yes && showStoredAnswers()) {
            // The person's questionnaire as stored is what the screen shows.
            markSaved();
            followRecord({personNumber()});
        }
    }
    // The list shows what add and delete have changed meanwhile.
    listData()->tryRefresh();
}

} // namespace followup
