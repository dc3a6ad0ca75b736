#include "logon/LOGON.h"

#include "screens/CmnSub.h"
#include "data/AuditTrail.h"
#include "data/HijraDate.h"
#include "data/Passwords.h"
#include "data/SearchIndexBuild.h"
#include "logon/LogonBackup.h"
#include "data/Schema.h"
#include "data/StarterReports.h"
#include "engine/EngineError.h"
#include "engine/TableCursor.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace logon {

namespace {

const QString kUsers = QStringLiteral("users");
const QString kDateMissing = QStringLiteral("الرجاء ادخال التاريخ");

// Hashing a password takes a tenth of a second, the logon up to three:
// the pointer says the window is busy meanwhile.
class BusyPointer {
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;
};

// The stored password; null when the record has no such field.
QVariant storedPassword(engine::TableCursor &users)
{
    try {
        return users.value(QStringLiteral("PASSWORD"));
    } catch (const engine::EngineError &) {
        return {};
    }
}

bool blank(const QString &text)
{
    return text.trimmed().isEmpty();
}

QLineEdit *lineEdit(const QString &name, QWidget *parent)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QLineEdit *dateBox(const QString &name, int length, QWidget *parent)
{
    QLineEdit *e = lineEdit(name, parent);
    e->setMaxLength(length);
    // Digits alone would sit on the left of a right-to-left box.
    e->setAlignment(Qt::AlignCenter);
    e->setFixedWidth(length == 4 ? 72 : 56);
    return e;
}

QComboBox *dateCombo(const QString &name, QWidget *parent)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(name);
    c->setMaxVisibleItems(12);
    return c;
}

int usersTextLength(const char *field)
{
    if (const core::schema::Table *t = core::schema::findTable(QStringLiteral("users")))
        if (const core::schema::Column *c = t->column(QLatin1String(field)))
            return c->maxLength;
    return 0;
}

} // namespace

LOGON::LOGON(core::AppContext &ctx, QWidget *parent) : QWidget(parent, Qt::Dialog), m_ctx(ctx)
{
    setObjectName(QStringLiteral("LOGON"));
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QString::fromUtf8(core::kProductTitle));
    buildControls();
}

void LOGON::buildControls()
{
    // Widgets are made in the order of the focus chain.
    buildRemembrance();
    QGridLayout *form = buildLogonPanel();
    buildFirstUserPanel();
    QHBoxLayout *buttons = buildButtons();
    buildBackupProgress();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(12);
    layout->addWidget(Label3);
    layout->addLayout(form);
    layout->addWidget(m_firstUser);
    layout->addWidget(m_backupLabel);
    layout->addWidget(m_backupProgress);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    connectControls();
}

void LOGON::buildRemembrance()
{
    Label3 = label(QStringLiteral("Label3"), QStringLiteral("لا تنس ذكر الله"), this);
    Label3->setAlignment(Qt::AlignCenter);
    QFont remembrance = Label3->font();
    remembrance.setPointSizeF(remembrance.pointSizeF() * 1.4);
    remembrance.setBold(true);
    Label3->setFont(remembrance);
    Label3->setStyleSheet(QStringLiteral("color: #1f6b45;"));
}

QGridLayout *LOGON::buildLogonPanel()
{
    Label1 = label(QStringLiteral("Label1"), QStringLiteral(" المستخدم"), this);
    LABEL2 = label(QStringLiteral("LABEL2"), QStringLiteral("كلمة السر"), this);
    Label9 = label(QStringLiteral("Label9"), QStringLiteral("التاريخ"), this);

    USERID_TEXT = lineEdit(QStringLiteral("USERID_TEXT"), this);
    PASSWORD_TEXT = lineEdit(QStringLiteral("PASSWORD_TEXT"), this);
    PASSWORD_TEXT->setEchoMode(QLineEdit::Password);
    Label1->setBuddy(USERID_TEXT);
    LABEL2->setBuddy(PASSWORD_TEXT);

    QHBoxLayout *dateRow = buildDateRow();
    QHBoxLayout *calendarRow = buildCalendarChoice();
    QLabel *fileLabel = buildOtherDatabaseList();

    auto *form = new QGridLayout;
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(8);
    form->addWidget(Label1, 0, 0);
    form->addWidget(USERID_TEXT, 0, 1);
    form->addWidget(LABEL2, 1, 0);
    form->addWidget(PASSWORD_TEXT, 1, 1);
    form->addWidget(Label9, 2, 0, Qt::AlignTop);
    form->addLayout(dateRow, 2, 1);
    form->addLayout(calendarRow, 3, 1);
    form->addWidget(fileLabel, 4, 0, Qt::AlignTop);
    form->addWidget(File1, 4, 1);
    form->setColumnStretch(1, 1);
    return form;
}

QHBoxLayout *LOGON::buildDateRow()
{
    YY_TEXT = dateBox(QStringLiteral("YY_TEXT"), 4, this);
    MM_TEXT = dateBox(QStringLiteral("MM_TEXT"), 2, this);
    DD_TEXT = dateBox(QStringLiteral("DD_TEXT"), 2, this);
    Combo1 = dateCombo(QStringLiteral("Combo1"), this);
    Combo2 = dateCombo(QStringLiteral("Combo2"), this);
    Combo3 = dateCombo(QStringLiteral("Combo3"), this);
    Combo1->setFixedWidth(YY_TEXT->width());
    Combo2->setFixedWidth(MM_TEXT->width());
    Combo3->setFixedWidth(DD_TEXT->width());

    auto *dateRow = new QHBoxLayout;
    dateRow->setSpacing(10);
    const std::pair<QLineEdit *, QComboBox *> parts[] = {
        {YY_TEXT, Combo1}, {MM_TEXT, Combo2}, {DD_TEXT, Combo3}};
    for (const auto &[box, combo] : parts) {
        auto *column = new QVBoxLayout;
        column->setSpacing(3);
        column->addWidget(box);
        column->addWidget(combo);
        dateRow->addLayout(column);
    }
    dateRow->addStretch(1);
    return dateRow;
}

QHBoxLayout *LOGON::buildCalendarChoice()
{
    Option1 = new QButtonGroup(this);
    Option1->setObjectName(QStringLiteral("Option1"));
    m_gregorian = new QRadioButton(QStringLiteral("Gregorian"), this);
    m_gregorian->setObjectName(QStringLiteral("Option1_0"));
    m_hijra = new QRadioButton(QStringLiteral("Hijra"), this);
    m_hijra->setObjectName(QStringLiteral("Option1_1"));
    Option1->addButton(m_gregorian, 0);
    Option1->addButton(m_hijra, 1);
    auto *calendarRow = new QHBoxLayout;
    calendarRow->addWidget(m_gregorian);
    calendarRow->addWidget(m_hijra);
    calendarRow->addStretch(1);
    return calendarRow;
}

QLabel *LOGON::buildOtherDatabaseList()
{
    File1 = new QListWidget(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setSelectionMode(QAbstractItemView::SingleSelection);
    File1->setFixedHeight(64);
    File1->setLayoutDirection(Qt::LeftToRight); // file names are Latin paths
    auto *fileLabel = label(QStringLiteral("File1Label"), QStringLiteral("قاعدة بيانات أخرى"), this);
    fileLabel->setBuddy(File1);
    return fileLabel;
}

void LOGON::buildFirstUserPanel()
{
    // Offered only while the database has no user at all: without it nobody
    // could ever log on to a new database.
    m_firstUser = new QGroupBox(QStringLiteral("لا يوجد مستخدمون بعد: أنشئ المستخدم الأول بكل الصلاحيات"), this);
    m_firstUser->setObjectName(QStringLiteral("FIRST_USER_BOX"));
    m_firstId = lineEdit(QStringLiteral("FIRST_USERID_TEXT"), m_firstUser);
    m_firstPassword = lineEdit(QStringLiteral("FIRST_PASSWORD_TEXT"), m_firstUser);
    m_firstConfirm = lineEdit(QStringLiteral("FIRST_PASSWORD_CONFIRM_TEXT"), m_firstUser);
    m_firstName = lineEdit(QStringLiteral("FIRST_NAME_TEXT"), m_firstUser);
    // Hidden as it is typed; typed twice, since a mistyped first password
    // would lock everybody out.
    m_firstPassword->setEchoMode(QLineEdit::Password);
    m_firstConfirm->setEchoMode(QLineEdit::Password);
    if (const int n = usersTextLength("USERID"))
        m_firstId->setMaxLength(n);
    if (const int n = usersTextLength("PASSWORD")) {
        m_firstPassword->setMaxLength(n);
        m_firstConfirm->setMaxLength(n);
    }
    if (const int n = usersTextLength("NAME"))
        m_firstName->setMaxLength(n);
    m_createUser = new QPushButton(QStringLiteral("إنشاء المستخدم والدخول"), m_firstUser);
    m_createUser->setObjectName(QStringLiteral("createFirstUser"));
    auto *firstForm = new QFormLayout(m_firstUser);
    firstForm->addRow(QStringLiteral("رمز المستخدم"), m_firstId);
    firstForm->addRow(QStringLiteral("كلمة السر"), m_firstPassword);
    firstForm->addRow(QStringLiteral("تأكيد كلمة السر"), m_firstConfirm);
    firstForm->addRow(QStringLiteral("الاسم"), m_firstName);
    firstForm->addRow(QString(), m_createUser);
    m_firstUser->hide();
}

QHBoxLayout *LOGON::buildButtons()
{
    m_ok = new QPushButton(QStringLiteral("موافق"), this);
    m_ok->setObjectName(QStringLiteral("ok"));
    m_close = new QPushButton(QStringLiteral("خروج"), this);
    m_close->setObjectName(QStringLiteral("close"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_close);
    buttons->addStretch(1);
    return buttons;
}

void LOGON::buildBackupProgress()
{
    // The first logon copies the whole database: the copy shows its progress.
    m_backupProgress = new QProgressBar(this);
    m_backupProgress->setObjectName(QStringLiteral("backupProgress"));
    m_backupProgress->setRange(0, 100);
    m_backupProgress->setTextVisible(false); // the style draws right-to-left text garbled
    m_backupLabel = label(QStringLiteral("backupLabel"), QStringLiteral("جار أخذ النسخة الاحتياطية من قاعدة البيانات..."), this);
    m_backupProgress->hide();
    m_backupLabel->hide();
}

void LOGON::connectControls()
{
    connect(m_ok, &QPushButton::clicked, this, &LOGON::logOn);
    connect(PASSWORD_TEXT, &QLineEdit::returnPressed, this, &LOGON::logOn);
    connect(m_close, &QPushButton::clicked, this, &LOGON::closeRequested);
    connect(Option1, &QButtonGroup::idClicked, this, [this](int) { LOADDATES(); });
    connect(Combo1, &QComboBox::textActivated, this,
            [this](const QString &t) { pickDatePart(t, YY_TEXT, &core::LogonState::WORK_YY); });
    connect(Combo2, &QComboBox::textActivated, this,
            [this](const QString &t) { pickDatePart(t, MM_TEXT, &core::LogonState::WORK_MM); });
    connect(Combo3, &QComboBox::textActivated, this,
            [this](const QString &t) { pickDatePart(t, DD_TEXT, &core::LogonState::WORK_DD); });
    connect(File1, &QListWidget::itemSelectionChanged, this, &LOGON::chooseOtherDatabase);
    connect(m_createUser, &QPushButton::clicked, this, &LOGON::createFirstUser);
    connect(m_firstName, &QLineEdit::returnPressed, this, &LOGON::createFirstUser);
}

bool LOGON::load()
{
    core::DataStore &store = m_ctx.store;
    m_ctx.cmn.msgs.LOADMSGS();
    store.READDBPATH();
    reports::installStarterReports(store);
    fillFileList();
    emit splashesWanted(store.config().showLogo2 == QLatin1String("1"));

    // Screens may be working on an open connection: it is used as it is
    // and left open. Only a connection opened here is closed again.
    const bool openedHere = !store.isOpen();
    bool usersEmpty = false;
    if (openedHere) {
        const core::OpenResult opened = store.OPENDATABASE();
        if (!opened.ok) {
            failOpening(opened);
            return false;
        }
        tellNetworkShare();
        try {
            usersEmpty = store.slot(kUsers).open().recordCount() == 0;
        } catch (const engine::EngineError &) {
        }
    } else {
        usersEmpty = usersEmptyIn(store.config().dbFile, store.config().server);
    }

    m_gregorian->setChecked(true);
    LOADDATES();
    if (openedHere) {
        store.slot(kUsers).close();
        store.CLOSEDATABASE();
    }
    updateFirstUserOffer(usersEmpty);
    return true;
}

void LOGON::LOADDATES()
{
    Combo1->clear();
    Combo2->clear();
    Combo3->clear();
    Combo1->addItem(QStringLiteral("0000"));
    Combo2->addItem(QStringLiteral("00"));
    Combo3->addItem(QStringLiteral("00"));

    const core::HijriDay today = core::todayHijri();
    YY_TEXT->setText(today.yyyy);
    MM_TEXT->setText(today.mm);
    DD_TEXT->setText(today.dd);

    const int year = today.yyyy.toInt();
    for (int y = year - 10; y <= year + 10; ++y)
        Combo1->addItem(QString::number(y));
    for (int m = 1; m <= 12; ++m)
        Combo2->addItem(QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')));
    for (int d = 1; d <= 31; ++d)
        Combo3->addItem(QStringLiteral("%1").arg(d, 2, 10, QLatin1Char('0')));
}

void LOGON::pickDatePart(const QString &chosen, QLineEdit *box, QString core::LogonState::*part)
{
    box->setText(chosen);
    m_ctx.logon.*part = chosen;
}

void LOGON::fillFileList()
{
    const QSignalBlocker quiet(File1);
    File1->clear();
    const QString dataDir = m_ctx.store.config().dataDir;
    if (dataDir.isEmpty())
        return; // no configuration: there is no data folder to look into
    const QDir folder(dataDir + QStringLiteral("/other_db"));
    const QStringList names = folder.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name);
    File1->addItems(names);
}

void LOGON::chooseOtherDatabase()
{
    const QList<QListWidgetItem *> chosen = File1->selectedItems();
    if (chosen.isEmpty())
        return;
    core::DataStoreConfig &config = m_ctx.store.config();
    config.dbFile = config.dataDir + QStringLiteral("/other_db/") + chosen.first()->text();
    // Another database is a file of the data folder, also when the usual
    // one is on a server.
    config.server.clear();
    updateFirstUserOffer(usersEmptyIn(config.dbFile));
}

bool LOGON::usersEmptyIn(const QString &dbFile, const QString &server) const
{
    // A private look, so that the program's own connection stays as it is.
    try {
        const auto db = server.isEmpty() ? core::DataConnections::openFile(dbFile)
                                         : core::DataConnections::openServer(server, {QStringLiteral("users")});
        return db->scalar(QStringLiteral("SELECT count(*) FROM users")).toLongLong() == 0;
    } catch (const engine::EngineError &) {
        return false;
    }
}

void LOGON::updateFirstUserOffer(bool usersEmpty)
{
    m_firstUser->setVisible(usersEmpty);
    // There is nobody to log on as yet: only the offer asks for a user.
    for (QWidget *w : {static_cast<QWidget *>(Label1), static_cast<QWidget *>(USERID_TEXT),
                       static_cast<QWidget *>(LABEL2), static_cast<QWidget *>(PASSWORD_TEXT)})
        w->setVisible(!usersEmpty);
    if (!usersEmpty) {
        m_firstId->clear();
        m_firstPassword->clear();
        m_firstConfirm->clear();
        m_firstName->clear();
    }
    if (isVisible())
        adjustSize();
}

bool LOGON::offersFirstUser() const
{
    return !m_firstUser->isHidden();
}

void LOGON::createFirstUser()
{
    const QString id = m_firstId->text().trimmed();
    const QString password = m_firstPassword->text();
    const QString name = m_firstName->text().trimmed();
    for (QLineEdit *field : {m_firstId, m_firstPassword, m_firstName}) {
        if (blank(field->text())) {
            m_ctx.messages.show(m_ctx.cmn.msgs.MSG_REQUIRED, this);
            field->setFocus();
            return;
        }
    }
    if (m_firstConfirm->text() != password) {
        m_ctx.messages.show(kPasswordsDiffer, this);
        m_firstConfirm->clear();
        m_firstConfirm->setFocus();
        return;
    }

    core::DataStore &store = m_ctx.store;
    if (!openForLogon())
        return;
    try {
        QString hashed;
        {
            const BusyPointer busy;
            hashed = core::Passwords::hash(password);
        }
        engine::Database &db = store.db();
        engine::Transaction transaction(db);
        // Checked again inside the transaction: another workstation may
        // have created a user since this screen was loaded.
        if (db.scalar(QStringLiteral("SELECT count(*) FROM users")).toLongLong() == 0) {
            QStringList columns{QStringLiteral("USERID"),    QStringLiteral("PASSWORD"),
                                QStringLiteral("NAME"),      QStringLiteral("english_NAME"),
                                QStringLiteral("TELEPHONE"), QStringLiteral("PAGER"),
                                QStringLiteral("ADDRESS"),   QStringLiteral("job")};
            // Empty optional fields are kept as the users screen keeps them.
            QVariantList values{id,
                                hashed,
                                name,
                                QStringLiteral(""),
                                QStringLiteral(" "),
                                QStringLiteral(" "),
                                QStringLiteral(" "),
                                QStringLiteral(" ")};
            for (int n = 1; n <= core::kPermissionCount; ++n) {
                columns << QStringLiteral("check%1").arg(n);
                values << 1;
            }
            QStringList marks;
            for (int i = 0; i < columns.size(); ++i)
                marks << QStringLiteral("?");
            db.execute(QStringLiteral("INSERT INTO users ([%1]) VALUES (%2)")
                           .arg(columns.join(QStringLiteral("], [")), marks.join(QStringLiteral(", "))),
                       values);
            // Nobody has logged on yet: the new user is the one adding.
            core::AuditTrail firstUser;
            firstUser.setActor(id);
            firstUser.record(db, {QStringLiteral("users"), engine::WriteAction::Add, columns,
                                  {QStringLiteral("USERID")}, {}, values});
        }
        transaction.commit();
    } catch (const engine::EngineError &) {
        m_ctx.messages.show(m_ctx.cmn.msgs.MSG_DATAERROR, this);
        m_firstId->setFocus();
        return;
    }

    updateFirstUserOffer(false);
    USERID_TEXT->setText(id);
    PASSWORD_TEXT->setText(password);
    logOn();
}

bool LOGON::openForLogon()
{
    core::DataStore &store = m_ctx.store;
    if (store.openOnConfiguredDatabase())
        return true;
    const core::OpenResult opened = store.OPENDATABASE();
    if (!opened.ok) {
        failOpening(opened);
        return false;
    }
    tellNetworkShare();
    return true;
}

void LOGON::tellNetworkShare()
{
    if (m_ctx.store.networkNoticeDue())
        m_ctx.messages.show(kNetworkShareNotice, this);
}

void LOGON::failOpening(const core::OpenResult &result)
{
    m_ctx.messages.show(result.message, this);
    emit programEnds(1);
}

void LOGON::refuse(const QString &message, QWidget *focus)
{
    m_ctx.messages.show(message, this);
    focus->setFocus();
}

void LOGON::logOn()
{
    if (m_backingUp) // the window stays alive during the copy: no second logon
        return;
    if (!openForLogon())
        return;

    core::CursorSlot &slot = m_ctx.store.slot(kUsers);
    engine::TableCursor *users = findUser(slot);
    if (!users) {
        slot.close();
        refuse(QStringLiteral("INVALID USER ID"), USERID_TEXT);
        return;
    }
    const QVariant stored = storedPassword(*users);
    core::Passwords::Check password;
    try {
        const BusyPointer busy;
        password = core::Passwords::check(stored, PASSWORD_TEXT->text());
    } catch (const engine::EngineError &) {
        // The crypto library failed: nobody is let in on an unchecked password.
    }
    if (!password.accepted) {
        slot.close();
        refuse(QStringLiteral("INVALID PASSWORD"), PASSWORD_TEXT);
        return;
    }
    if (!workingDateGiven()) {
        slot.close();
        refuse(kDateMissing, YY_TEXT);
        return;
    }
    fillLogonState(*users);
    slot.close();
    // The stored hash renewed is no change of the user's: not in the trail.
    if (!password.renewed.isEmpty())
        renewPassword(stored.toString(), password.renewed);
    m_ctx.store.setActor(m_ctx.logon.userId);

    const core::OpenResult reopened = takeLogonBackup();
    if (!reopened.ok) {
        failOpening(reopened);
        return;
    }
    prepareSearchIndex();
    emit loggedOn();
}

void LOGON::renewPassword(const QString &was, const QString &renewed)
{
    try {
        core::Passwords::renew(m_ctx.store.db(), m_ctx.logon.userId, was, renewed);
    } catch (const engine::EngineError &) {
        // A file that cannot be written now (busy, read-only) keeps the old
        // value, which still admits the user; the next logon tries again.
    }
}

engine::TableCursor *LOGON::findUser(core::CursorSlot &slot) const
{
    try {
        engine::TableCursor &users = slot.open();
        users.setIndex(QStringLiteral("PRIMARYKEY"));
        users.seek(QStringLiteral("="), {USERID_TEXT->text()});
        return users.noMatch() ? nullptr : &users;
    } catch (const engine::EngineError &) {
        return nullptr;
    }
}

bool LOGON::workingDateGiven() const
{
    const QString yy = YY_TEXT->text();
    const QString mm = MM_TEXT->text();
    const QString dd = DD_TEXT->text();
    return !(yy.isEmpty() || yy == QLatin1String("0000") || mm.isEmpty() ||
             mm == QLatin1String("00") || dd.isEmpty() || dd == QLatin1String("00"));
}

void LOGON::fillLogonState(engine::TableCursor &users)
{
    core::LogonState &state = m_ctx.logon;
    state.WORK_YY = YY_TEXT->text();
    state.WORK_MM = MM_TEXT->text();
    state.WORK_DD = DD_TEXT->text();
    for (QVariant &flag : state.PERMISSION)
        flag = 0;
    // A permission field missing from the record leaves its flag 0.
    for (int n = 1; n <= core::kPermissionCount; ++n) {
        try {
            state.PERMISSION[n - 1] = users.value(QStringLiteral("check%1").arg(n));
        } catch (const engine::EngineError &) {
        }
    }
    try {
        state.userId = users.value(QStringLiteral("USERID")).toString();
    } catch (const engine::EngineError &) {
        state.userId = USERID_TEXT->text();
    }
}

core::OpenResult LOGON::takeLogonBackup()
{
    m_backingUp = true;
    m_ok->setEnabled(false);
    // The window stays alive while the copy runs; the pointer says it is busy.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const BackupOutcome outcome = LOGONBACKUP(m_ctx.store, [this](int percent) {
        m_backupLabel->show();
        m_backupProgress->show();
        m_backupProgress->setValue(percent);
    });
    QApplication::restoreOverrideCursor();
    m_backupLabel->hide();
    m_backupProgress->hide();
    m_ok->setEnabled(true);
    m_backingUp = false;
    // Told once, at this logon; work goes on without the copy.
    if (!outcome.failure.isEmpty() && outcome.ok)
        m_ctx.messages.show(outcome.failure, this);
    return outcome;
}

// A register from before the search index gets it once, under the logon's
// progress and off the window's thread. The searches work without it too
// (reading the whole register): a build that fails is only logged.
void LOGON::prepareSearchIndex()
{
    engine::Database &db = m_ctx.store.db();
    if (!core::personIndexWanted(db))
        return;
    m_backingUp = true;
    m_ok->setEnabled(false);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const QString backupText = m_backupLabel->text();
    m_backupLabel->setText(kIndexing);
    m_backupLabel->show();
    m_backupProgress->setValue(0);
    m_backupProgress->show();
    const QString failure =
        core::buildPersonIndex(db.openSpec(), [this](int percent) { m_backupProgress->setValue(percent); });
    QApplication::restoreOverrideCursor();
    m_backupLabel->hide();
    m_backupProgress->hide();
    m_backupLabel->setText(backupText);
    m_ok->setEnabled(true);
    m_backingUp = false;
    if (!failure.isEmpty())
        qWarning("velm: the persons' search index was not built: %s", qPrintable(failure));
}

void LOGON::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (isWindow()) {
        if (const QScreen *display = screen()) {
            const QRect area = display->geometry();
            move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
        }
    }
    // With no user yet, the only way in is the first-user offer.
    if (offersFirstUser())
        m_firstId->setFocus();
    else
        USERID_TEXT->setFocus();
}

} // namespace logon
