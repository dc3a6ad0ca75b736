#include "logon/SECURITY.h"

#include "logon/frmAudit.h"

#include "screens/AppContext.h"
#include "screens/DataGrid.h"
#include "data/Passwords.h"
#include "data/Schema.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace logon {

namespace {

const QString kUsersTable = QStringLiteral("users");
const QString kPasswordField = QStringLiteral("PASSWORD");
const QString kKeepPassword = QStringLiteral("اتركها فارغة لتبقى كلمة السر المحفوظة كما هي");

// The captions of the main-menu buttons the permissions open; permission 7
// reads shorter here than on the menu.
const char *const kPermissionCaptions[SECURITY::kPermissionCount] = {
    "ملف Tamrel",     "متابعة الأنشطة", "متابعة الدورات", "استبيان",
    "المادة العلمية", "التقويم الميداني", "نماذج",         "المستخدمين",
    "الرموز",         " التقارير العامة", "الشهود",         "مجموعة المتابعة",
    "عرض البيانات",   "بيانات المؤسسة",
};

} // namespace

QString SECURITY::permissionCaption(int n)
{
    if (n < 1 || n > kPermissionCount)
        return {};
    return QString::fromUtf8(kPermissionCaptions[n - 1]);
}

QStringList SECURITY::listColumns()
{
    // Never the password, not even as its hash.
    return {QStringLiteral("userid"),  QStringLiteral("name"),      QStringLiteral("English_name"),
            QStringLiteral("ADDRESS"), QStringLiteral("TELEPHONE"), QStringLiteral("PAGER")};
}

SECURITY::SECURITY(core::AppContext &ctx, QWidget *parent)
    : core::RecordScreen(ctx, QStringLiteral("SECURITY"), QStringLiteral("صلاحيات مستخدمين النظام"),
                         kUsersTable, parent)
{
    // The text boxes in the order of the table's fields.
    m_userId = addText(QStringLiteral("USERID_text"), QStringLiteral("USERID"));
    m_password = addText(QStringLiteral("PASSWORD_TEXT"), kPasswordField);
    m_password->setEchoMode(QLineEdit::Password);
    m_name = addText(QStringLiteral("NAME_TEXT"), QStringLiteral("NAME"));
    m_englishName = addText(QStringLiteral("english_NAME_TEXT"), QStringLiteral("english_NAME"));
    m_phone = addText(QStringLiteral("PHONE_TEXT"), QStringLiteral("TELEPHONE"));
    m_pager = addText(QStringLiteral("PAGER_TEXT"), QStringLiteral("PAGER"));
    m_address = addText(QStringLiteral("ADDRESS_TEXT"), QStringLiteral("ADDRESS"));
    m_job = addText(QStringLiteral("job_text"), QStringLiteral("job"));
    // Identifiers and the English name are typed in Latin letters.
    for (QLineEdit *e : {m_userId, m_password, m_englishName})
        e->setLayoutDirection(Qt::LeftToRight);

    layOutFrames();

    listData()->setObjectName(QStringLiteral("AUTHORITY_DATA"));
    const QStringList columns = listColumns();
    // The list reads only the fields it shows: the password never leaves
    // the table.
    listData()->setQuery(QStringLiteral("SELECT %1 FROM users").arg(columns.join(QStringLiteral(", "))));
    grid()->setColumns(columns);
    for (int c = 0; c < columns.size(); ++c)
        grid()->setHeading(c, columns.at(c));
    setKeyControl(m_userId);

    addAuditButton();

    // The texts and the permissions are what a save writes.
    for (const TextField &t : std::as_const(m_texts))
        watchEdits(t.edit);
    for (QCheckBox *box : std::as_const(m_checks))
        watchEdits(box);
    setChecks({{m_name, true},
               {m_userId, true},
               // An update without a new password keeps the stored one.
               {m_password, true, false, [this] {
                    if (m_updating && !passwordTyped())
                        return core::CheckResult();
                    return checkControl(m_password, true);
                }}});
    loadForm();
}

// The user's fields beside the permissions' check boxes.
void SECURITY::layOutFrames()
{
    auto label = [](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };

    auto *user = new QGroupBox(QStringLiteral("المستخدم"), formArea());
    user->setObjectName(QStringLiteral("userFrame"));
    auto *userForm = new QFormLayout(user);
    userForm->addRow(label(QStringLiteral("USER ID."), m_userId), m_userId);
    userForm->addRow(label(QStringLiteral("كلمة السر"), m_password), m_password);
    userForm->addRow(label(QStringLiteral("الاسم "), m_name), m_name);
    userForm->addRow(label(QStringLiteral("Name"), m_englishName), m_englishName);
    userForm->addRow(label(QStringLiteral("التلفون "), m_phone), m_phone);
    userForm->addRow(label(QStringLiteral("بيجر"), m_pager), m_pager);
    userForm->addRow(label(QStringLiteral("العنوان"), m_address), m_address);
    userForm->addRow(label(QStringLiteral("الوظيفة"), m_job), m_job);

    auto *permissions = new QGroupBox(QStringLiteral("الصلاحيات"), formArea());
    permissions->setObjectName(QStringLiteral("permissionsFrame"));
    auto *checks = new QGridLayout(permissions);
    constexpr int rows = (kPermissionCount + 1) / 2;
    for (int n = 1; n <= kPermissionCount; ++n) {
        auto *box = new QCheckBox(permissionCaption(n), permissions);
        box->setObjectName(QStringLiteral("Check%1").arg(n));
        // Down the first column, then the second, in menu order.
        checks->addWidget(box, (n - 1) % rows, (n - 1) / rows);
        m_checks << box;
    }

    auto *area = new QHBoxLayout(formArea());
    area->setContentsMargins(0, 0, 0, 0);
    area->addWidget(user, 3);
    area->addWidget(permissions, 2);
}

void SECURITY::addAuditButton()
{
    auto *audit = new QPushButton(kAuditCaption, buttonBar());
    audit->setObjectName(QStringLiteral("cmdAudit"));
    audit->setToolTip(QStringLiteral("من أضاف أو عدل أو حذف أي سجل، ومتى"));
    audit->setAutoDefault(false);
    addButton(audit);
    connect(audit, &QPushButton::clicked, this, &SECURITY::openAudit);
}

void SECURITY::openAudit()
{
    if (m_audit) {
        m_audit->raise();
        m_audit->activateWindow();
        return;
    }
    frmAudit *audit = frmAudit::open(ctx(), this);
    if (!audit)
        return;
    // A window of its own over the users screen, closed with it.
    audit->setWindowFlag(Qt::Window);
    audit->setAttribute(Qt::WA_DeleteOnClose);
    audit->show();
    m_audit = audit;
}

QLineEdit *SECURITY::addText(const QString &name, const QString &field)
{
    auto *edit = new QLineEdit(formArea());
    edit->setObjectName(name);
    const core::schema::Table *users = core::schema::findTable(kUsersTable);
    const core::schema::Column *column = users ? users->column(field) : nullptr;
    if (column && column->maxLength > 0)
        edit->setMaxLength(column->maxLength);
    m_texts.append({field, edit});
    return edit;
}

void SECURITY::CLEARFIELDS()
{
    for (QLineEdit *e : {m_userId, m_password, m_name, m_englishName})
        e->clear();
    m_password->setPlaceholderText(QString());
    for (QLineEdit *e : {m_phone, m_pager, m_address, m_job})
        e->setText(QStringLiteral(" "));
    for (QCheckBox *box : m_checks)
        core::setControlText(box, QStringLiteral("0"));
}

core::RecordKey SECURITY::SETKEY()
{
    return {m_userId->text()};
}

core::CheckResult SECURITY::VALIDATE()
{
    return runChecks();
}

bool SECURITY::passwordTyped() const
{
    const QString typed = m_password->text();
    return !(typed.isEmpty() || typed == QLatin1String(" "));
}

void SECURITY::updateClicked()
{
    m_updating = true;
    RecordScreen::updateClicked();
    m_updating = false;
}

void SECURITY::DATATOTEXT()
{
    CLEARFIELDS();
    for (const TextField &t : std::as_const(m_texts))
        if (t.edit != m_password) // shown to nobody: the box stays empty
            showField(t.field, t.edit);
    m_password->setPlaceholderText(kKeepPassword);
    for (int n = 1; n <= kPermissionCount; ++n)
        showField(QStringLiteral("check%1").arg(n), m_checks.at(n - 1));
}

void SECURITY::texttodata()
{
    for (const TextField &t : std::as_const(m_texts))
        if (t.edit != m_password)
            storeField(t.edit, t.field);
    // Only a typed password is stored, and only as its hash.
    if (passwordTyped()) {
        QApplication::setOverrideCursor(Qt::BusyCursor); // a tenth of a second
        try {
            table().setValue(kPasswordField, core::Passwords::hash(m_password->text()));
        } catch (...) {
            QApplication::restoreOverrideCursor();
            throw;
        }
        QApplication::restoreOverrideCursor();
    }
    for (int n = 1; n <= kPermissionCount; ++n)
        storeField(m_checks.at(n - 1), QStringLiteral("check%1").arg(n));
}

} // namespace logon
