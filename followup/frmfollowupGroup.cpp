#include "followup/frmfollowupGroup.h"

#include "screens/AppContext.h"
#include "screens/DataSource.h"
#include "screens/LookupCombo.h"
#include "data/Schema.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace followup {

namespace {

// Fields in mapping order; the controls carry the field names, except the
// language, which is a look-up list.
constexpr const char *kFields[] = {"group_name", "english_NAME", "phone",
                                   "mobile",     "leader_name",  "language"};

// The characters a field of the groups table stores (0: no limit).
int fieldLimit(const char *field)
{
    const core::schema::Table *table =
        core::schema::findTable(QLatin1String(frmfollowupGroup::kTable));
    const core::schema::Column *column = table ? table->column(QLatin1String(field)) : nullptr;
    return column ? column->maxLength : 0;
}

} // namespace

frmfollowupGroup::frmfollowupGroup(core::AppContext &ctx, QWidget *parent)
    : RecordScreen(ctx, QStringLiteral("frmfollowupGroup"), QStringLiteral("مجموعة المتابعة"),
                   QLatin1String(kTable), parent)
{
    auto makeBox = [this](const char *field) {
        auto *box = new QLineEdit(formArea());
        box->setObjectName(QLatin1String(field));
        if (const int limit = fieldLimit(field); limit > 0)
            box->setMaxLength(limit);
        return box;
    };
    group_name = makeBox("group_name");
    english_NAME = makeBox("english_NAME");
    english_NAME->setLayoutDirection(Qt::LeftToRight);
    phone = makeBox("phone");
    mobile = makeBox("mobile");
    // Numbers keep to the right like the rest of the form, even though a
    // box of digits alone would align itself to the left.
    phone->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    mobile->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    leader_name = makeBox("leader_name");
    dbc_language = new core::LookupCombo(QStringLiteral("dbc_language"), formArea());
    dbc_language->setListField(core::schema::codeFieldName(1));
    if (const int limit = fieldLimit("language"); limit > 0)
        dbc_language->lineEdit()->setMaxLength(limit);
    QWidget *const controls[] = {group_name, english_NAME, phone, mobile, leader_name, dbc_language};
    for (int i = 0; i < int(std::size(controls)); ++i)
        bindField(QLatin1String(kFields[i]), controls[i]);

    // The English name has no label of its own: it stands beside the
    // Arabic name on the first row.
    auto *grid = new QGridLayout(formArea());
    const auto label = [this, grid](int row, const QString &caption, QWidget *buddy) {
        auto *l = new QLabel(caption, formArea());
        l->setBuddy(buddy);
        grid->addWidget(l, row, 0);
    };
    label(0, QStringLiteral("المجموعة"), group_name);
    grid->addWidget(group_name, 0, 1);
    grid->addWidget(english_NAME, 0, 2);
    label(1, QStringLiteral("التلفون "), phone);
    grid->addWidget(phone, 1, 1);
    label(2, QStringLiteral("الجوال"), mobile);
    grid->addWidget(mobile, 2, 1);
    label(3, QStringLiteral("المشرف"), leader_name);
    grid->addWidget(leader_name, 3, 1, 1, 2);
    label(4, QStringLiteral("اللغة"), dbc_language);
    grid->addWidget(dbc_language, 4, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(5, 1);

    addInertListButton();

    listData()->setObjectName(QStringLiteral("followup_group_DATA"));
    listData()->setQuery(QLatin1String(kListSql));
    setKeyControl(group_name);
    setChecks({{group_name, true}});
    loadForm();
}

void frmfollowupGroup::loadLookups()
{
    // A language list that cannot be read stays empty; the box still takes typing.
    dbc_language->open(ctx().store, QLatin1String(kLanguageSql));
}

void frmfollowupGroup::CLEARFIELDS()
{
    group_name->clear();
    english_NAME->clear();
    phone->clear();
    mobile->clear();
    leader_name->clear();
    dbc_language->setText(QString());
}

core::RecordKey frmfollowupGroup::SETKEY()
{
    return {core::controlText(group_name)};
}

core::CheckResult frmfollowupGroup::VALIDATE()
{
    return runChecks();
}

} // namespace followup
