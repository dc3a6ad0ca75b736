#pragma once

#include "screens/PersonRecordScreen.h"

class QPlainTextEdit;

namespace core {
class LookupCombo;
}

namespace followup {

// The general questionnaire: one row per person (table questionnaire, key
// tamrel_no). Choosing a person shows that person's stored answers at once,
// ready for update, or empty answers ready for add. The grid lists every
// questionnaire.
class frmQuest : public core::PersonRecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "questionnaire";
    static constexpr const char *kQ1Sql = "select * from category10";
    static constexpr const char *kQ2Sql = "select * from category11";

    explicit frmQuest(core::AppContext &ctx, QWidget *parent = nullptr);


private:
    void CLEARFIELDS() override;
    void loadLookups() override;
    void personChanged(bool byUser) override;
    void clearAnswers();
    // The stored answers of the chosen person into the answer controls; a
    // failing read ends quietly, keeping what has been set.
    bool showStoredAnswers(); // false when none is stored

    core::LookupCombo *dbc_q1 = nullptr;
    core::LookupCombo *dbc_q2 = nullptr;
    QPlainTextEdit *txt_q3 = nullptr;
    QPlainTextEdit *txt_q4 = nullptr;
    QPlainTextEdit *txt_q5 = nullptr;
    QPlainTextEdit *txt_remark_1 = nullptr;
    // The six answers in the order of their fields.
    QList<FieldControl> m_answers;
};

} // namespace followup
