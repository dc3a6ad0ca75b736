#include "education/frmForms.h"

#include "screens/AppContext.h"
#include "education/CatalogueButtons.h"
#include "screens/DataGrid.h"
#include "screens/DocumentFiles.h"
#include "data/Schema.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace education {

namespace {

// Fields in table order, with their boxes and labels; the grid shows them so.
struct FieldDef {
    const char *field;
    const char *control;
    const char *caption;
};
constexpr FieldDef kFields[] = {
    {"form_no", "txt_form_no", "رقم النموذج"},
    {"description", "txt_description", "الشرح"},
    {"file_1", "txt_file_1", "ملف 1"},
    {"file_2", "txt_file_2", "ملف 2"},
    {"file_3", "txt_file_3", "ملف 3"},
};
constexpr int kFirstFile = 2;

} // namespace

frmForms::frmForms(core::AppContext &ctx, QWidget *parent)
    : RecordScreen(ctx, QStringLiteral("frmForms"), QStringLiteral("نماذج"),
                   QLatin1String(kTable), parent)
{
    const core::schema::Table *table = core::schema::findTable(QLatin1String(kTable));
    auto *grid = new QGridLayout(formArea());
    for (int i = 0; i < int(std::size(kFields)); ++i) {
        auto *box = new QLineEdit(formArea());
        box->setObjectName(QLatin1String(kFields[i].control));
        // A box never takes more than its field stores.
        if (const core::schema::Column *c = table ? table->column(QLatin1String(kFields[i].field)) : nullptr)
            box->setMaxLength(c->maxLength > 0 ? c->maxLength : box->maxLength());
        auto *label = new QLabel(QString::fromUtf8(kFields[i].caption), formArea());
        label->setBuddy(box);
        grid->addWidget(label, i, 0);
        grid->addWidget(box, i, 1);
        m_boxes[i] = box;
        bindField(QLatin1String(kFields[i].field), box, label);
    }
    txt_form_no = m_boxes[0];
    txt_description = m_boxes[1];
    for (int n = 0; n < 3; ++n) {
        m_fileBoxes[n] = m_boxes[kFirstFile + n];
        QPushButton *open = makeOpenButton(QStringLiteral("Command%1").arg(n + 1), formArea());
        grid->addWidget(open, kFirstFile + n, 2);
        m_openButtons[n] = open;
        connect(open, &QPushButton::clicked, this, [this, n] { openFile(n); });
        core::onDoubleClick(m_fileBoxes[n], [this, n] { openFile(n); });
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(int(std::size(kFields)), 1);

    cmd_print = makeInertPrintButton();
    addButton(cmd_print);

    listData()->setObjectName(QStringLiteral("forms_data"));
    listData()->setQuery(QLatin1String(kListSql));
    setKeyControl(txt_form_no);
    loadForm();
}

void frmForms::openFile(int n)
{
    // The name goes in as typed, blanks and all, behind two separators.
    const core::DocumentFile file{ctx().store.config().formsDir,
                                  {QString(), m_fileBoxes[n]->text()}};
    core::openDocument(file, ctx().files, ctx().messages, this);
}

void frmForms::afterDelete(bool)
{
    // The deleted row stays listed until the list is asked for again.
}

void frmForms::listClicked()
{
    RecordScreen::listClicked();
    refreshList();
}

void frmForms::listOkClicked()
{
    if (grid()->columnValue(0).isEmpty())
        return;
    gridDoubleClicked();
}

void frmForms::gridDoubleClicked()
{
    txt_form_no->setText(grid()->columnValue(0));
    findClicked();
}

void frmForms::CLEARFIELDS()
{
    for (QLineEdit *box : m_boxes)
        box->clear();
}

core::RecordKey frmForms::SETKEY()
{
    return {core::controlText(txt_form_no)};
}

core::CheckResult frmForms::VALIDATE()
{
    // The catalogue checks none of its fields.
    return {};
}

} // namespace education
