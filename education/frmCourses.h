#pragma once

#include "screens/PersonRecordScreen.h"

#include <QStringList>

class QComboBox;
class QPlainTextEdit;

namespace core {
class LookupCombo;
}

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


private:
    void CLEARFIELDS() override;
    void loadLookups() override;

    core::LookupCombo *dbc_step = nullptr;
    QComboBox *Combo_evaluation = nullptr;
    QPlainTextEdit *txt_comments = nullptr;
};

} // namespace education
