#include "reports/frmRpts.h"

#include "screens/AppContext.h"
#include "screens/DataGrid.h"
#include "screens/DateSelector.h"
#include "screens/LookupCombo.h"
#include "reports/ReportDefinition.h"
#include "data/Schema.h"
#include "engine/TextRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QHeaderView>
#include <QVBoxLayout>

namespace reports {

namespace {

const QString kBlank = QStringLiteral(" ");

struct Category {
    const char *entry;
    const char *code; // nullptr: every row
};
constexpr Category kCategories[] = {
    {"الكل", nullptr},
    {"تقارير إدراية", "0"},
    {"تقارير المتابعة التعليمية", "1"},
    {"تقارير الزيارة الميدانية", "2"},
    {"خطابات", "3"},
    {"رسوم بيانية", "4"},
    {"الوثائق", "5"},
};

// The box a catalogue field is typed into, no longer than the field.
QLineEdit *fieldBox(const char *name, const char *field, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    if (const core::schema::Table *t = core::schema::findTable(QLatin1String(frmRpts::kTable)))
        if (const core::schema::Column *c = t->column(QLatin1String(field)); c && c->maxLength > 0)
            box->setMaxLength(c->maxLength);
    return box;
}

QLabel *captionFor(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

QStringList frmRpts::categories()
{
    QStringList entries;
    for (const Category &c : kCategories)
        entries << QString::fromUtf8(c.entry);
    return entries;
}

std::optional<QString> frmRpts::categoryCode(const QString &entry)
{
    for (const Category &c : kCategories)
        if (entry == QString::fromUtf8(c.entry))
            return c.code ? std::optional<QString>(QLatin1String(c.code)) : std::nullopt;
    return QStringLiteral("5");
}

QString frmRpts::leadingNumber(const QString &typed)
{
    QString digits;
    for (const QChar c : typed.trimmed()) {
        if (!c.isDigit())
            break;
        const int value = c.digitValue();
        if (value == 0 && digits.isEmpty())
            continue;
        digits += QLatin1Char(char('0' + value));
    }
    return digits.isEmpty() ? QStringLiteral("0") : digits;
}

frmRpts::frmRpts(core::AppContext &ctx, QWidget *parent)
    : RecordScreen(ctx, QStringLiteral("frmRpts"), QStringLiteral("التقارير"), QLatin1String(kTable), parent)
{
    QGridLayout *catalogue = buildCatalogue();
    buildFilter(ctx.logon);
    Frame4->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    auto *area = new QVBoxLayout(formArea());
    area->setContentsMargins(0, 0, 0, 0);
    area->addLayout(catalogue);
    placeListBesideFilter();

    bindField(QStringLiteral("report"), report_text);
    bindField(QStringLiteral("description"), desc_text);
    bindField(QStringLiteral("parms"), parms_text, QStringLiteral("تحديد المعلومات"));
    connectControls();

    // The catalogue is what the screen is for: its list shows from the start.
    listData()->setObjectName(QStringLiteral("RPTS_DATA"));
    listData()->setQuery(QLatin1String(kAllSql));
    button(QStringLiteral("refresh"))->setObjectName(QStringLiteral("cmndrefresh"));
    listPanel()->show();
    setKeyControl(report_text);
    setFirstFocus(report_text);
    setChecks({{report_text, true}});
    loadForm();
    sizeList();
}

// The catalogue: its fields, the category list and the buttons.
QGridLayout *frmRpts::buildCatalogue()
{
    report_text = fieldBox("report_text", "report", formArea());
    desc_text = fieldBox("desc_text", "description", formArea());
    parms_text = fieldBox("parms_text", "parms", formArea());
    parms_text->setMaximumWidth(40);
    // Room for a description of fifty characters.
    desc_text->setMinimumWidth(desc_text->fontMetrics().averageCharWidth() * 40);
    parms_text->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    Combo1 = new QComboBox(formArea());
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->addItems(categories());

    cmndprint = new QPushButton(QIcon::fromTheme(QStringLiteral("document-print")),
                                QStringLiteral("عرض التقرير"), formArea());
    cmndprint->setObjectName(QStringLiteral("cmndprint"));
    cmndprint->setToolTip(QStringLiteral("عرض التقرير المحدد في الجدول"));
    cmndprint->setAutoDefault(false);
    Command1 = new QPushButton(QStringLiteral("خروج"), formArea());
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);

    // Two rows, so that the list below gets the height: the report and its
    // category, then the description and the actions.
    auto *catalogue = new QGridLayout;
    catalogue->addWidget(captionFor(QStringLiteral("التقرير"), report_text, formArea()), 0, 0);
    catalogue->addWidget(report_text, 0, 1);
    catalogue->addWidget(captionFor(QStringLiteral("نوع التقرير"), Combo1, formArea()), 0, 2);
    auto *category = new QHBoxLayout;
    category->addWidget(Combo1, 1);
    category->addWidget(parms_text);
    catalogue->addLayout(category, 0, 3);
    catalogue->addWidget(captionFor(QStringLiteral("الشرح"), desc_text, formArea()), 1, 0);
    catalogue->addWidget(desc_text, 1, 1);
    auto *actions = new QHBoxLayout;
    actions->addWidget(cmndprint);
    actions->addWidget(Command1);
    actions->addStretch(1);
    catalogue->addLayout(actions, 1, 2, 1, 2);
    catalogue->setColumnStretch(1, 3);
    catalogue->setColumnStretch(3, 2);
    return catalogue;
}

// The catalogue list under the buttons with the filter values beside it,
// and the list's own buttons under those: the list takes the height.
void frmRpts::placeListBesideFilter()
{
    auto *main = qobject_cast<QVBoxLayout *>(layout());
    const int at = main->indexOf(listPanel());
    main->removeWidget(listPanel());
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("listRow"));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(listPanel(), 1);
    auto *side = new QVBoxLayout;
    side->addWidget(Frame4);
    auto *listButtons = new QHBoxLayout;
    for (const char *name : {"list_ok", "refresh"})
        listButtons->addWidget(button(QLatin1String(name)));
    listButtons->addStretch(1);
    side->addLayout(listButtons);
    side->addStretch(1);
    line->addLayout(side);
    main->insertWidget(at, row, 1);
}

// Wide enough for a name, a description of fifty characters and the
// category, and high enough for kListRows of them (once the list has its
// columns, which give the heading its height).
void frmRpts::sizeList()
{
    core::DataGrid *list = grid();
    list->setMinimumWidth(list->fontMetrics().averageCharWidth() * 70);
    list->setMinimumHeight(list->horizontalHeader()->sizeHint().height() +
                           kListRows * list->verticalHeader()->defaultSectionSize() + 2 * list->frameWidth());
}

// The filter values handed to a report.
void frmRpts::buildFilter(const core::LogonState &logon)
{
    Frame4 = new QGroupBox(QStringLiteral("عوامل تصفية"), formArea());
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Check1 = new QCheckBox(QStringLiteral("استخدام عوامل التصفية"), Frame4);
    Check1->setObjectName(QStringLiteral("Check1"));
    m_from = new core::DateSelector(QStringLiteral("Combo4"), QStringLiteral("Combo3"), QStringLiteral("Combo2"), Frame4);
    m_to = new core::DateSelector(QStringLiteral("Combo5"), QStringLiteral("Combo6"), QStringLiteral("Combo7"), Frame4);
    for (core::DateSelector *date : {m_from, m_to})
        date->setYearsAround(logon, 20, 0);
    auto filterBox = [this](const char *name) {
        auto *box = new QLineEdit(kBlank, Frame4);
        box->setObjectName(QLatin1String(name));
        box->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
        return box;
    };
    text1 = filterBox("text1");
    text2 = filterBox("text2");
    Text3 = filterBox("Text3");
    for (QLineEdit *date : {text1, text2}) {
        date->setMaxLength(8);
        date->setMaximumWidth(date->fontMetrics().horizontalAdvance(QStringLiteral("000000000")) + 16);
    }
    Text3->setLayoutDirection(Qt::LeftToRight);
    Text3->setMaximumWidth(160);
    dbc_daeyah_1 = new core::LookupCombo(QStringLiteral("dbc_daeyah_1"), Frame4);
    dbc_daeyah_1->setListField(QStringLiteral("NAME"));
    dbc_daeyah_1->setBoundColumn(QStringLiteral("english_NAME"));
    dbc_daeyah_1->offerFoldedMatches();
    dbc_language1 = new core::LookupCombo(QStringLiteral("dbc_language1"), Frame4);
    dbc_language1->setListField(core::schema::codeFieldName(1));
    dbc_nationality = new core::LookupCombo(QStringLiteral("dbc_nationality"), Frame4);
    dbc_nationality->setListField(core::schema::codeFieldName(2));

    auto *filter = new QGridLayout(Frame4);
    filter->addWidget(Check1, 0, 0, 1, 3);
    filter->addWidget(captionFor(QStringLiteral("تاريخ البداية"), m_from->yearList(), Frame4), 1, 0);
    filter->addWidget(m_from, 1, 1);
    filter->addWidget(text1, 1, 2);
    filter->addWidget(captionFor(QStringLiteral("تاريخ النهاية"), m_to->yearList(), Frame4), 2, 0);
    filter->addWidget(m_to, 2, 1);
    filter->addWidget(text2, 2, 2);
    filter->addWidget(captionFor(QStringLiteral("الداعية"), dbc_daeyah_1, Frame4), 3, 0);
    filter->addWidget(dbc_daeyah_1, 3, 1);
    filter->addWidget(Text3, 3, 2);
    filter->addWidget(captionFor(QStringLiteral("اللغة"), dbc_language1, Frame4), 4, 0);
    filter->addWidget(dbc_language1, 4, 1, 1, 2);
    filter->addWidget(captionFor(QStringLiteral("الجنســيـــة"), dbc_nationality, Frame4), 5, 0);
    filter->addWidget(dbc_nationality, 5, 1, 1, 2);
    filter->setColumnStretch(1, 1);
}

void frmRpts::connectControls()
{
    connect(Combo1, &QComboBox::activated, this, [this](int index) { chooseCategory(Combo1->itemText(index)); });
    connect(m_from, &core::DateSelector::picked, this, [this] { text1->setText(m_from->text()); });
    connect(m_to, &core::DateSelector::picked, this, [this] { text2->setText(m_to->text()); });
    connect(dbc_daeyah_1, &core::LookupCombo::chosen, Text3, &QLineEdit::setText);
    connect(cmndprint, &QPushButton::clicked, this, &frmRpts::showChosenReport);
    connect(Command1, &QPushButton::clicked, this, [this] { closeClicked(); });
    // A row chosen in the catalogue shows its fields, as list_ok does.
    connect(grid(), &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            listOkClicked();
    });
}

void frmRpts::loadLookups()
{
    // A list that cannot be read stays empty.
    dbc_daeyah_1->open(ctx().store, QStringLiteral("SELECT * FROM witnesses"));
    dbc_nationality->open(ctx().store, QStringLiteral("SELECT * FROM category2"));
    dbc_language1->open(ctx().store, QStringLiteral("SELECT * FROM category1"));
}

void frmRpts::chooseCategory(const QString &entry)
{
    const std::optional<QString> code = categoryCode(entry);
    if (code) {
        parms_text->setText(*code);
        listData()->setQuery(QLatin1String(kCategorySql), {*code});
    } else {
        listData()->setQuery(QLatin1String(kAllSql));
    }
    // A list that cannot be read keeps its rows.
    listData()->tryRefresh();
}

// The report of the grid's current row (not the one typed in report_text).
// With the filter box ticked the report gets its values.
void frmRpts::showChosenReport()
{
    core::ReportService *reports = ctx().reports;
    if (!reports)
        return;
    const QString name = grid()->columnValue(0).trimmed();
    if (!Check1->isChecked()) {
        reports->showReport(name);
        return;
    }
    reports->showReport(name, [this](const QStringList &parameters) { return filterValues(parameters); });
}

// The filter values of the parameters a report declares: a one-parameter
// report first asks for the person's number. None when the clerk cancels.
std::optional<core::ReportValues> frmRpts::filterValues(const QStringList &parameters)
{
    QString person;
    if (parameters.size() == 1) {
        const std::optional<QString> typed =
            ctx().input.ask(kPersonPrompt, QString::fromUtf8(core::kProductTitle), {}, this);
        if (!typed)
            return std::nullopt; // the clerk changed their mind
        person = leadingNumber(*typed);
    }
    core::ReportValues values;
    for (const QString &parameter : parameters) {
        if (parameter == QLatin1String(kPersonNo))
            values.insert(parameter, person);
        else if (parameter == QLatin1String(kFromDate))
            values.insert(parameter, engine::searchFold(text1->text())); // ١٤٢٥ typed is 1425
        else if (parameter == QLatin1String(kToDate))
            values.insert(parameter, engine::searchFold(text2->text()));
        else if (parameter == QLatin1String(kCaller))
            values.insert(parameter, Text3->text());
    }
    return values;
}

void frmRpts::afterUpdate(bool)
{
    // An edited description shows in the catalogue at once.
    refreshList();
}

void frmRpts::CLEARFIELDS()
{
    report_text->clear();
    desc_text->setText(kBlank);
    parms_text->setText(QStringLiteral("0"));
}

core::RecordKey frmRpts::SETKEY()
{
    return {core::controlText(report_text)};
}

core::CheckResult frmRpts::VALIDATE()
{
    return runChecks();
}

void frmRpts::DATATOTEXT()
{
    // The fields are overwritten as they are, not cleared first.
    showFields();
}

void frmRpts::texttodata()
{
    storeFields();
}

} // namespace reports
