#include "logon/frmAudit.h"

#include "screens/AppContext.h"
#include "screens/DataGrid.h"
#include "screens/DataSource.h"
#include "screens/DateSelector.h"
#include "screens/ScreenHost.h"
#include "screens/ScreenKeys.h"
#include "data/AuditTrail.h"
#include "data/HijraDate.h"
#include "data/Schema.h"
#include "engine/EngineError.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <optional>

namespace logon {

namespace {

const QString kIdField = QStringLiteral("audit_id");

// The grid's fields and their headings, in grid order.
const QList<std::pair<QString, QString>> &gridColumns()
{
    static const QList<std::pair<QString, QString>> columns{
        {QStringLiteral("changed_at"), QStringLiteral("الوقت")},
        {QStringLiteral("user_id"), QStringLiteral("المستخدم")},
        {QStringLiteral("action"), QStringLiteral("العملية")},
        {QStringLiteral("table_name"), QStringLiteral("الجدول")},
        {QStringLiteral("record_key"), QStringLiteral("رقم السجل")},
        {QStringLiteral("workstation"), QStringLiteral("الجهاز")},
    };
    return columns;
}

QLabel *caption(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// A JSON value as the changes table shows it.
QString valueText(const QJsonValue &v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 17);
    if (v.isBool())
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return {};
}

// The local day a selector names; invalid when nothing is chosen. nullopt
// when it is chosen in part or names no day.
std::optional<QDate> chosenDay(const core::DateSelector *date)
{
    const QString none = core::DateSelector::kNoYear + core::DateSelector::kNoPart + core::DateSelector::kNoPart;
    if (date->text() == none)
        return QDate();
    const QDate day = date->isComplete() ? core::dateFromText(date->converted()) : QDate();
    if (!day.isValid())
        return std::nullopt;
    return day;
}

} // namespace

frmAudit *frmAudit::open(core::AppContext &ctx, QWidget *parent)
{
    if (!ctx.logon.granted(kPermission)) {
        ctx.messages.show(kNoPermission, parent);
        return nullptr;
    }
    return new frmAudit(ctx, parent);
}

const QList<std::pair<QString, QString>> &frmAudit::auditedTables()
{
    static const QList<std::pair<QString, QString>> tables = [] {
        QList<std::pair<QString, QString>> t{
            {QStringLiteral("tamrel"), QStringLiteral("ملف Tamrel")},
            {QStringLiteral("followUp"), QStringLiteral("متابعة الأنشطة")},
            {QStringLiteral("courses"), QStringLiteral("متابعة الدورات")},
            {QStringLiteral("questionnaire"), QStringLiteral("استبيان")},
            {QStringLiteral("CourseMaterial"), QStringLiteral("المادة العلمية")},
            {QStringLiteral("Field_Evaluation"), QStringLiteral("التقويم الميداني")},
            {QStringLiteral("follow_up_Problems"), QStringLiteral("مشكلات التقويم الميداني")},
            {QStringLiteral("forms"), QStringLiteral("النماذج")},
            {QStringLiteral("users"), QStringLiteral("المستخدمين")},
            {QStringLiteral("rpts"), QStringLiteral("التقارير")},
            {QStringLiteral("witnesses"), QStringLiteral("الشهود")},
            {QStringLiteral("followup_group"), QStringLiteral("مجموعة المتابعة")},
            {QStringLiteral("info"), QStringLiteral("بيانات المؤسسة")},
        };
        for (int n = 1; n <= core::schema::kCodeTableCount; ++n)
            t.append({core::schema::codeTableName(n), QStringLiteral("الرموز %1").arg(n)});
        return t;
    }();
    return tables;
}

QString frmAudit::tableCaption(const QString &table)
{
    for (const auto &[name, text] : auditedTables())
        if (name.compare(table, Qt::CaseInsensitive) == 0)
            return text;
    return table;
}

QString frmAudit::actionCaption(const QString &action)
{
    if (action == QLatin1String("add"))
        return QStringLiteral("إضافة");
    if (action == QLatin1String("update"))
        return QStringLiteral("تعديل");
    if (action == QLatin1String("delete"))
        return QStringLiteral("حذف");
    return action;
}

frmAudit::frmAudit(core::AppContext &ctx, QWidget *parent) : QWidget(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmAudit"));
    setWindowTitle(kCaption);
    setLayoutDirection(Qt::RightToLeft);

    auto *filters = new QGroupBox(QStringLiteral("عوامل تصفية"), this);
    filters->setObjectName(QStringLiteral("fraFilters"));
    buildFilters(filters);
    buildGrid();

    auto *changesCaption = caption(QStringLiteral("تفاصيل التعديل المحدد"), m_changes, this);
    auto *main = new QVBoxLayout(this);
    main->addWidget(filters);
    main->addWidget(m_grid, 3);
    main->addWidget(changesCaption);
    main->addWidget(m_changes, 2);
    resize(900, 640);

    // The keys of every screen, for the buttons this one has.
    auto *keys = new core::ScreenKeys(this);
    keys->setGuide(ctx.guide);
    keys->bind(core::keys::kFind, m_search, QStringLiteral("بحث بعوامل التصفية"));
    keys->bind(core::keys::kRefresh, m_search, QStringLiteral("قراءة السجل من جديد"));
    keys->bind(core::keys::kClear, m_clear, QStringLiteral("مسح عوامل التصفية"));
    keys->bind(core::keys::kClose, m_close, QStringLiteral("خروج"));
    keys->setFirstFocus(m_table);

    search();
}

QLineEdit *frmAudit::dateDisplay(const QString &name)
{
    auto *box = new QLineEdit(this);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00 م")) + 16);
    return box;
}

void frmAudit::buildFilters(QWidget *area)
{
    m_table = new QComboBox(area);
    m_table->setObjectName(QStringLiteral("cboTable"));
    m_table->addItem(QStringLiteral("كل الجداول"), QString());
    for (const auto &[name, text] : auditedTables())
        m_table->addItem(text, name);
    m_recordKey = new QLineEdit(area);
    m_recordKey->setObjectName(QStringLiteral("txtRecordKey"));
    m_user = new QLineEdit(area);
    m_user->setObjectName(QStringLiteral("txtUser"));
    m_user->setLayoutDirection(Qt::LeftToRight); // identifiers are Latin
    m_from = new core::DateSelector(QStringLiteral("cboFromYear"), QStringLiteral("cboFromMonth"),
                                    QStringLiteral("cboFromDay"), area);
    m_to = new core::DateSelector(QStringLiteral("cboToYear"), QStringLiteral("cboToMonth"),
                                  QStringLiteral("cboToDay"), area);
    m_from->setDisplay(dateDisplay(QStringLiteral("txtFromGregorian")));
    m_to->setDisplay(dateDisplay(QStringLiteral("txtToGregorian")));
    for (core::DateSelector *date : {m_from, m_to})
        date->setYearsAround(m_ctx.logon, 10, 1);

    m_search = new QPushButton(QStringLiteral("بحث"), area);
    m_search->setObjectName(QStringLiteral("cmdSearch"));
    m_clear = new QPushButton(QStringLiteral("مسح الحقول"), area);
    m_clear->setObjectName(QStringLiteral("cmdClear"));
    m_close = new QPushButton(QStringLiteral("خروج"), area);
    m_close->setObjectName(QStringLiteral("close"));
    for (QPushButton *b : {m_search, m_clear, m_close})
        b->setAutoDefault(false);

    // Captions on the right of their values (column 0 reads first).
    auto *grid = new QGridLayout(area);
    grid->addWidget(caption(QStringLiteral("الجدول"), m_table, area), 0, 0);
    grid->addWidget(m_table, 0, 1);
    grid->addWidget(caption(QStringLiteral("رقم السجل"), m_recordKey, area), 0, 2);
    grid->addWidget(m_recordKey, 0, 3);
    grid->addWidget(caption(QStringLiteral("المستخدم"), m_user, area), 0, 4);
    grid->addWidget(m_user, 0, 5);
    grid->addWidget(caption(QStringLiteral("من تاريخ"), m_from->yearList(), area), 1, 0);
    auto *from = new QHBoxLayout;
    from->addWidget(m_from);
    from->addWidget(m_from->display());
    grid->addLayout(from, 1, 1);
    grid->addWidget(caption(QStringLiteral("إلى تاريخ"), m_to->yearList(), area), 1, 2);
    auto *to = new QHBoxLayout;
    to->addWidget(m_to);
    to->addWidget(m_to->display());
    grid->addLayout(to, 1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_search);
    buttons->addWidget(m_clear);
    buttons->addWidget(m_close);
    grid->addLayout(buttons, 1, 4, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);

    connect(m_search, &QPushButton::clicked, this, [this] { search(); });
    connect(m_recordKey, &QLineEdit::returnPressed, this, [this] { search(); });
    connect(m_user, &QLineEdit::returnPressed, this, [this] { search(); });
    connect(m_table, &QComboBox::activated, this, [this] { search(); });
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_table->setCurrentIndex(0);
        m_recordKey->clear();
        m_user->clear();
        for (core::DateSelector *date : {m_from, m_to}) {
            date->setText(QString());
            date->display()->clear();
        }
        search();
    });
    connect(m_close, &QPushButton::clicked, this, [this] { core::unloadScreen(this); });
}

void frmAudit::buildGrid()
{
    m_data = new core::DataSource(QStringLiteral("audit_data"), this);
    m_data->setDatabase(m_ctx.store);
    m_grid = new core::DataGrid(this);
    m_grid->setObjectName(QStringLiteral("grdAudit"));
    m_grid->setMessageService(&m_ctx.messages);
    m_grid->setSaveFileChooser(m_ctx.saveFiles);
    m_grid->setDataSource(m_data);
    QStringList fields;
    for (const auto &[field, heading] : gridColumns())
        fields << field;
    m_grid->setColumns(fields);
    for (int c = 0; c < gridColumns().size(); ++c)
        m_grid->setHeading(c, gridColumns().at(c).second);
    m_grid->setCellText(QStringLiteral("changed_at"), [](const QVariant &v) {
        const QDateTime at = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
        return at.isValid() ? core::localDateTimeText(at) : v.toString();
    });
    m_grid->setCellText(QStringLiteral("table_name"),
                        [](const QVariant &v) { return tableCaption(v.toString()); });
    m_grid->setCellText(QStringLiteral("action"), [](const QVariant &v) { return actionCaption(v.toString()); });

    m_changes = new QTableWidget(0, 3, this);
    m_changes->setObjectName(QStringLiteral("grdChanges"));
    m_changes->setHorizontalHeaderLabels(
        {QStringLiteral("الحقل"), QStringLiteral("القيمة السابقة"), QStringLiteral("القيمة الجديدة")});
    m_changes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_changes->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_changes->verticalHeader()->hide();
    m_changes->horizontalHeader()->setStretchLastSection(true);
    m_changes->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);

    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { showChanges(); });
    connect(m_data, &core::DataSource::refreshed, this, [this] { showChanges(); });
}

bool frmAudit::search()
{
    core::AuditFilter filter;
    filter.table = m_table->currentData().toString();
    filter.recordKey = m_recordKey->text();
    filter.userId = m_user->text();
    for (auto [selector, day] : {std::pair{m_from, &filter.from}, std::pair{m_to, &filter.to}}) {
        const std::optional<QDate> chosen = chosenDay(selector);
        if (!chosen) {
            m_ctx.messages.show(kIncompleteDate, this);
            selector->yearList()->setFocus();
            return false;
        }
        *day = *chosen;
    }
    const core::BoundQuery query = core::AuditTrail::viewerQuery(filter);
    m_data->setQuery(query.sql, query.values);
    engine::EngineError error(0, QString());
    if (!m_data->tryRefresh(&error)) {
        m_changes->setRowCount(0);
        m_ctx.messages.show(QStringLiteral("Error:%1 %2").arg(error.number()).arg(error.description()), this);
        return false;
    }
    return true;
}

// The changes of the chosen row: one line per field. Read on the window's
// thread: one row by its key.
void frmAudit::showChanges()
{
    m_changes->setRowCount(0);
    const int row = m_grid->currentRow();
    const int idColumn = m_data->model()->fieldIndex(kIdField);
    if (row < 0 || idColumn < 0)
        return;
    const qint64 id = m_data->model()->value(row, idColumn).toLongLong();
    QString json;
    try {
        json = core::AuditTrail::changesOf(m_ctx.store.db(), id);
    } catch (const engine::EngineError &e) {
        m_ctx.messages.show(QStringLiteral("Error:%1 %2").arg(e.number()).arg(e.description()), this);
        return;
    }
    const QJsonArray changes = QJsonDocument::fromJson(json.toUtf8()).array();
    m_changes->setRowCount(int(changes.size()));
    for (int i = 0; i < changes.size(); ++i) {
        const QJsonObject change = changes.at(i).toObject();
        const bool secret = change.value(QStringLiteral("changed")).toBool();
        const QStringList cells{change.value(QStringLiteral("field")).toString(),
                                secret ? QString() : valueText(change.value(QStringLiteral("old"))),
                                secret ? kPasswordChanged : valueText(change.value(QStringLiteral("new")))};
        for (int c = 0; c < cells.size(); ++c)
            m_changes->setItem(i, c, new QTableWidgetItem(cells.at(c)));
    }
    m_changes->resizeColumnToContents(0);
}

} // namespace logon
