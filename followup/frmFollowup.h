#pragma once

#include "PersonRecordScreen.h"

#include <array>

class QLineEdit;
class QPlainTextEdit;

namespace core {
class DateSelector;
class LookupCombo;
} // namespace core

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

    void DATATOTEXT() override;
    void texttodata() override;

private:
    void CLEARFIELDS() override;
    void loadLookups() override;
    void personChanged(bool byUser) override;

    core::LookupCombo *dbc_step = nullptr;
    core::DateSelector *m_start = nullptr; // Combo1..Combo3, shown in Text1
    core::DateSelector *m_end = nullptr;   // Combo4..Combo6, shown in Text2
    core::LookupCombo *DBC_evaluation = nullptr;
    QPlainTextEdit *txt_comments = nullptr;
    // The controls in the order of their fields.
    std::array<QWidget *, 7> m_controls{};
};

} // namespace followup
