#include "education/frmCourseMaterial.h"

#include "screens/AppContext.h"
#include "education/CatalogueButtons.h"
#include "screens/DataGrid.h"
#include "screens/DocumentFiles.h"
#include "screens/LookupCombo.h"
#include "data/Schema.h"
#include "screens/TextArea.h"
#include "engine/EngineError.h"
#include "engine/QueryCursor.h"

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace education {

namespace {

// Fields in table order; the grid shows them so.
constexpr const char *kFields[] = {"language", "course_no", "description", "file_1", "unit"};

int fieldLimit(const char *field)
{
    const core::schema::Table *table =
        core::schema::findTable(QLatin1String(frmCourseMaterial::kTable));
    const core::schema::Column *column = table ? table->column(QLatin1String(field)) : nullptr;
    return column ? column->maxLength : 0;
}

} // namespace

frmCourseMaterial::frmCourseMaterial(core::AppContext &ctx, QWidget *parent)
    : RecordScreen(ctx, QStringLiteral("frmCourseMaterial"), QStringLiteral("المادة العلمية"),
                   QLatin1String(kTable), parent)
{
    auto makeBox = [this](const char *name, const char *field) {
        auto *box = new QLineEdit(formArea());
        box->setObjectName(QLatin1String(name));
        box->setMaxLength(fieldLimit(field));
        return box;
    };
    dbc_language = new core::LookupCombo(QStringLiteral("dbc_language"), formArea());
    dbc_language->setListField(core::schema::codeFieldName(1));
    dbc_language->lineEdit()->setMaxLength(fieldLimit("language"));
    txt_course_no = makeBox("txt_course_no", "course_no");
    txt_description = new core::TextArea(QStringLiteral("txt_description"), formArea());
    txt_description->setMaxLength(fieldLimit("description"));
    txt_file_1 = makeBox("txt_file_1", "file_1");
    txt_unit = makeBox("txt_unit", "unit");
    m_controls = {dbc_language, txt_course_no, txt_description, txt_file_1, txt_unit};
    for (int i = 0; i < int(m_controls.size()); ++i)
        bindField(QLatin1String(kFields[i]), m_controls[i]);

    open_file = makeOpenButton(QStringLiteral("open_file"), formArea());

    auto *grid = new QGridLayout(formArea());
    const auto row = [this, grid](int r, const QString &caption, QWidget *control) {
        auto *label = new QLabel(caption, formArea());
        label->setBuddy(control);
        grid->addWidget(label, r, 0, Qt::AlignTop);
        grid->addWidget(control, r, 1);
    };
    row(0, QStringLiteral("اللغة"), dbc_language);
    row(1, QStringLiteral("رقم المستوي/اسم الدورة"), txt_course_no);
    row(2, QStringLiteral("الشرح"), txt_description);
    row(3, QStringLiteral("اسم الملف"), txt_file_1);
    grid->addWidget(open_file, 3, 2);
    row(4, QStringLiteral("الوحدة"), txt_unit);
    grid->setColumnStretch(1, 1);
    txt_description->setFixedHeight(txt_course_no->sizeHint().height() * 4);

    cmd_print = makeInertPrintButton();
    addButton(cmd_print);

    language_data = new core::DataSource(QStringLiteral("language_data"), this);
    language_data->setQuery(QLatin1String(kLanguageSql));
    dbc_language->setRowSource(language_data);

    listData()->setObjectName(QStringLiteral("coursematerial_data"));
    setKeyControl(dbc_language);
    loadForm();
    makeLanguageFolders();

    connect(open_file, &QPushButton::clicked, this, [this] { openFile(); });
    core::onDoubleClick(txt_file_1, [this] { openFile(); });
    connect(dbc_language, &QComboBox::currentTextChanged, this, [this] { refreshList(); });
}

void frmCourseMaterial::loadLookups()
{
    // A language list that cannot be read stays empty; the box still takes typing.
    language_data->setDatabase(ctx().store);
    language_data->tryRefresh();
}

void frmCourseMaterial::refreshList()
{
    // The language is a bound value: any text, quotes included, lists its own rows.
    listData()->setQuery(QLatin1String(kLanguageListSql), {dbc_language->text()});
    RecordScreen::refreshList();
}

void frmCourseMaterial::makeLanguageFolders()
{
    const QString root = ctx().store.config().materialDir;
    if (root.trimmed().isEmpty())
        return;
    QDir dir;
    try {
        engine::QueryCursor entries(ctx().store.db(), QLatin1String(kLanguageSql));
        const QString field = core::schema::codeFieldName(1);
        while (entries.next()) {
            const QString name = entries.value(field).toString();
            // An entry that would make a folder elsewhere is passed over.
            if (name.trimmed().isEmpty() || core::reachesOutside(name))
                continue;
            dir.mkdir(root + QLatin1Char('/') + name);
        }
    } catch (const engine::EngineError &) {
        // The folders are a convenience: the screen opens without them.
    }
}

void frmCourseMaterial::afterDelete(bool)
{
    // The deleted row stays listed until the list is asked for again.
}

void frmCourseMaterial::listClicked()
{
    RecordScreen::listClicked();
    listData()->setQuery(QLatin1String(kListSql));
    RecordScreen::refreshList();
}

void frmCourseMaterial::listOkClicked()
{
    if (grid()->columnValue(0).isEmpty())
        return;
    chooseGridRow();
}

void frmCourseMaterial::gridDoubleClicked()
{
    chooseGridRow();
}

void frmCourseMaterial::chooseGridRow()
{
    // Both values are read first: the new language re-queries the grid.
    const QString language = grid()->columnValue(0);
    const QString course = grid()->columnValue(1);
    dbc_language->setText(language);
    txt_course_no->setText(course);
    findClicked();
}

void frmCourseMaterial::openFile()
{
    const core::DocumentFile file{ctx().store.config().materialDir,
                                  {dbc_language->text(), txt_file_1->text().trimmed()}};
    core::openDocument(file, ctx().files, ctx().messages, this);
}

void frmCourseMaterial::CLEARFIELDS()
{
    dbc_language->setText(QString());
    txt_course_no->clear();
    txt_description->clear();
    txt_file_1->clear();
    txt_unit->clear();
}

core::RecordKey frmCourseMaterial::SETKEY()
{
    return {core::controlText(dbc_language), core::controlText(txt_course_no)};
}

core::CheckResult frmCourseMaterial::VALIDATE()
{
    // The catalogue checks none of its fields.
    return {};
}

} // namespace education
