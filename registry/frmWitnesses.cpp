#include "registry/frmWitnesses.h"

#include "screens/AppContext.h"
#include "screens/DataSource.h"
#include "data/Schema.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace registry {

namespace {

const QString kBlank = QStringLiteral(" ");

// Fields in the order the screen maps them, with their boxes and labels.
struct FieldDef {
    const char *field;
    const char *control;
    const char *caption;
};
constexpr FieldDef kFields[] = {
    {"NAME", "NAME_TEXT", "الاسم "},
    {"english_NAME", "english_NAME_TEXT", "Name"},
    {"TELEPHONE", "PHONE_TEXT", "التلفون "},
    {"PAGER", "PAGER_TEXT", "بيجر"},
    {"ADDRESS", "ADDRESS_TEXT", "العنوان"},
    {"job", "job_text", "الوظيفة"},
};

} // namespace

frmWitnesses::frmWitnesses(core::AppContext &ctx, QWidget *parent)
    : RecordScreen(ctx, QStringLiteral("frmWitnesses"), QStringLiteral("الشهود"),
                   QLatin1String(kTable), parent)
{
    const core::schema::Table *table = core::schema::findTable(QLatin1String(kTable));
    auto *form = new QFormLayout(formArea());
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    QLineEdit **boxes[] = {&NAME_TEXT, &english_NAME_TEXT, &PHONE_TEXT,
                           &PAGER_TEXT, &ADDRESS_TEXT, &job_text};
    static_assert(std::size(kFields) == 6);
    for (int i = 0; i < int(std::size(kFields)); ++i) {
        auto *box = new QLineEdit(formArea());
        box->setObjectName(QLatin1String(kFields[i].control));
        // A box never takes more than its field stores.
        if (const core::schema::Column *c = table ? table->column(QLatin1String(kFields[i].field)) : nullptr;
            c && c->maxLength > 0)
            box->setMaxLength(c->maxLength);
        form->addRow(QString::fromUtf8(kFields[i].caption), box);
        *boxes[i] = box;
        bindField(QLatin1String(kFields[i].field), box);
    }
    // Numbers read from the right like the rest of the form, even though
    // a box of digits alone would align itself to the left.
    PHONE_TEXT->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    PAGER_TEXT->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    english_NAME_TEXT->setLayoutDirection(Qt::LeftToRight);

    addInertListButton();

    listData()->setObjectName(QStringLiteral("witness_DATA"));
    listData()->setQuery(QLatin1String(kListSql));
    setKeyControl(NAME_TEXT);
    setChecks({{NAME_TEXT, true}});
    loadForm();
}

void frmWitnesses::CLEARFIELDS()
{
    NAME_TEXT->setText(QString());
    english_NAME_TEXT->setText(QString());
    PHONE_TEXT->setText(kBlank);
    PAGER_TEXT->setText(kBlank);
    ADDRESS_TEXT->setText(kBlank);
    job_text->setText(kBlank);
}

core::RecordKey frmWitnesses::SETKEY()
{
    return {core::controlText(NAME_TEXT)};
}

core::CheckResult frmWitnesses::VALIDATE()
{
    return runChecks();
}

} // namespace registry
