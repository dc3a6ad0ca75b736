#include "frmCourses.h"

#include "AppContext.h"
#include "DateSelector.h"
#include "LookupCombo.h"
#include "PersonLookup.h"
#include "Schema.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace education {

namespace {

// Fields in table order.
constexpr const char *kFields[] = {"tamrel_no",     "seq_no",     "description", "step_start_date",
                                   "step_end_date", "evaluation", "comments"};

} // namespace

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
    dbc_step = new core::LookupCombo(QStringLiteral("dbc_step"), formArea());
    dbc_step->setListField(core::schema::codeFieldName(9));
    fitToField(dbc_step, QStringLiteral("description"));
    // A fixed list, but a stored grade it lacks is still shown as it is.
    Combo_evaluation = new QComboBox(formArea());
    Combo_evaluation->setObjectName(QStringLiteral("Combo_evaluation"));
    Combo_evaluation->setEditable(true);
    Combo_evaluation->setInsertPolicy(QComboBox::NoInsert);
    Combo_evaluation->addItems(grades());
    fitToField(Combo_evaluation, QStringLiteral("evaluation"));
    txt_comments = new QPlainTextEdit(formArea());
    txt_comments->setObjectName(QStringLiteral("txt_comments"));
    txt_comments->setTabChangesFocus(true);

    auto *grid = new QGridLayout(formArea());
    int row = addPersonRows(grid, 0);
    grid->addWidget(caption(QStringLiteral("الدورة"), dbc_step), row, 0);
    grid->addWidget(dbc_step, row++, 1, 1, 2);
    m_start = addDateRow(grid, row++, QStringLiteral("تاريخ البداية"), QStringLiteral("Combo1"),
                         QStringLiteral("Combo2"), QStringLiteral("Combo3"), QStringLiteral("Text1"));
    m_end = addDateRow(grid, row++, QStringLiteral("تاريخ النهاية"), QStringLiteral("Combo4"),
                       QStringLiteral("Combo5"), QStringLiteral("Combo6"), QStringLiteral("Text2"));
    grid->addWidget(caption(QStringLiteral("التقييم"), Combo_evaluation), row, 0);
    grid->addWidget(Combo_evaluation, row++, 1);
    grid->addWidget(caption(QStringLiteral("ملاحظات"), txt_comments), row, 0, Qt::AlignTop);
    grid->addWidget(txt_comments, row, 1, 1, 2);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 1);

    m_controls = {dbc_tamrel, txt_seq_no, dbc_step, m_start, m_end, Combo_evaluation, txt_comments};
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

void frmCourses::DATATOTEXT()
{
    CLEARFIELDS();
    for (int i = 0; i < int(m_controls.size()); ++i)
        showField(QLatin1String(kFields[i]), m_controls[i]);
    personChanged(false);
}

void frmCourses::texttodata()
{
    for (int i = 0; i < int(m_controls.size()); ++i)
        storeField(m_controls[i], QLatin1String(kFields[i]));
}

} // namespace education
