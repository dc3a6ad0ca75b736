#pragma once

#include "PersonRecordScreen.h"

#include <QStringList>

#include <array>

class QComboBox;
class QPlainTextEdit;

namespace core {
class DateSelector;
class LookupCombo;
} // namespace core

namespace education {

// The courses screen: the courses each person takes, numbered per person,
// with start and end dates (Hijri, with their Gregorian days beside them),
// the grade reached and remarks (table courses, key tamrel_no + seq_no).
// The grid lists every course until a person is chosen, then that
// person's courses.
class frmCourses : public core::PersonRecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "courses";
    static constexpr const char *kListSql = "select * from courses";
    static constexpr const char *kCourseSql = "select * from category9";
    // The grades, in the order the list offers them.
    static QStringList grades();

    explicit frmCourses(core::AppContext &ctx, QWidget *parent = nullptr);

    void DATATOTEXT() override;
    void texttodata() override;

private:
    void CLEARFIELDS() override;
    void loadLookups() override;

    core::LookupCombo *dbc_step = nullptr;
    core::DateSelector *m_start = nullptr; // Combo1..Combo3, shown in Text1
    core::DateSelector *m_end = nullptr;   // Combo4..Combo6, shown in Text2
    QComboBox *Combo_evaluation = nullptr;
    QPlainTextEdit *txt_comments = nullptr;
    // The controls in the order of their fields.
    std::array<QWidget *, 7> m_controls{};
};

} // namespace education
