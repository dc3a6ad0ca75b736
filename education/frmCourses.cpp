#include "education/frmCourses.h"

#include "screens/AppContext.h"
#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "data/Schema.h"
#include "screens/TextArea.h"

#include <QComboBox>
#include <QLineEdit>

namespace education {

QStringList frmCourses::grades()
{
    return {QStringLiteral("جيد"), QStringLiteral("جيد جدا"), QStringLiteral("ممتاز"),
            QStringLiteral("مقبول"), QStringLiteral("اجتياز")};
}

frmCourses::frmCourses(core::AppContext &ctx, QWidget *parent)
    : PersonRecordScreen(ctx, QStringLiteral("frmCourses"), QStringLiteral("متابعة الدورات"),
                         QLatin1String(kTable), true, ListRows::OfPerson, parent)
{
    // The number is given by add, by a record shown or by the list.
    txt_seq_no->setReadOnly(true);
    dbc_step = fieldList(QStringLiteral("dbc_step"), QStringLiteral("description"), 9);
    // A fixed list, but a stored grade it lacks is still shown as it is.
    Combo_evaluation = new QComboBox(formArea());
    Combo_evaluation->setObjectName(QStringLiteral("Combo_evaluation"));
    Combo_evaluation->setEditable(true);
    Combo_evaluation->setInsertPolicy(QComboBox::NoInsert);
    Combo_evaluation->addItems(grades());
    fitToField(Combo_evaluation, QStringLiteral("evaluation"));
    txt_comments = layOutActivity(QStringLiteral("الدورة"), dbc_step, Combo_evaluation).comments;

    listData()->setObjectName(QStringLiteral("courses_data"));
    // Until a person is chosen the grid lists every course.
    listData()->setQuery(QLatin1String(kListSql));
    loadForm();
}

void frmCourses::loadLookups()
{
    // A list that cannot be read stays empty; its box still takes typing.
    dbc_step->open(ctx().store, QLatin1String(kCourseSql));
}

void frmCourses::CLEARFIELDS()
{
    // The date selectors and their Gregorian days keep what they show.
    dbc_tamrel->setText(QStringLiteral(" "));
    dbc_step->setText(QString());
    txt_seq_no->clear();
    Combo_evaluation->setCurrentIndex(-1);
    Combo_evaluation->setEditText(QString());
    txt_comments->clear();
    txt_a_new_name->clear();
    txt_e_new_name->clear();
}

} // namespace education
