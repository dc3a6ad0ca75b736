#pragma once

#include "screens/PersonRecordScreen.h"

class QPlainTextEdit;

namespace core {
class LookupCombo;
}

namespace followup {

// The follow-up steps screen: the activities carried out with a person,
// numbered per person, with start and end dates (Hijri, with their
// Gregorian days beside them), evaluation and notes (table followUp, key
// tamrel_no + seq_no). The grid lists the chosen person's steps.
class frmFollowup : public core::PersonRecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "followUp";
    static constexpr const char *kStepSql = "select * from category7";
    static constexpr const char *kEvaluationSql = "select * from category8";

    explicit frmFollowup(core::AppContext &ctx, QWidget *parent = nullptr);


private:
    void CLEARFIELDS() override;
    void loadLookups() override;
    void personChanged(bool byUser) override;

    core::LookupCombo *dbc_step = nullptr;
    core::LookupCombo *DBC_evaluation = nullptr;
    QPlainTextEdit *txt_comments = nullptr;
};

} // namespace followup
