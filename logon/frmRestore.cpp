#include "logon/frmRestore.h"

#include "data/HijraDate.h"
#include "data/Restore.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "screens/AppContext.h"
#include "screens/BusyFeedback.h"
#include "screens/ScreenHost.h"
#include "screens/ScreenKeys.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace logon {

namespace {

enum Column { kTaken, kKind, kSize, kPersons, kFile, kColumns };

// A path inside an Arabic sentence reads left to right.
QString isolated(const QString &path)
{
    return QChar(0x2066) + QDir::toNativeSeparators(path) + QChar(0x2069);
}

QString sizeText(qint64 bytes)
{
    return QStringLiteral("%1 ميغابايت").arg(QString::number(bytes / 1048576.0, 'f', 1));
}

QTableWidgetItem *cell(const QString &text, Qt::Alignment alignment = Qt::AlignRight | Qt::AlignVCenter)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(alignment);
    return item;
}

} // namespace

frmRestore *frmRestore::open(core::AppContext &ctx, QWidget *parent)
{
    if (!ctx.logon.granted(kPermission)) {
        ctx.messages.show(kNoPermission, parent);
        return nullptr;
    }
    return new frmRestore(ctx, parent);
}

frmRestore::frmRestore(core::AppContext &ctx, QWidget *parent) : QWidget(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmRestore"));
    setWindowTitle(kCaption);
    setLayoutDirection(Qt::RightToLeft);

    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblNote"));
    m_note->setWordWrap(true);
    m_note->setText(QStringLiteral(
                        "اختر النسخة التي تحل محل قاعدة البيانات الحالية. تحفظ قاعدة البيانات الحالية أولاً باسم "
                        "%1 في مجلد البيانات، ثم يعود البرنامج إلى شاشة الدخول. "
                        "كل ما أدخل بعد أخذ النسخة لا يكون فيها. لا تتم الاستعادة والبرنامج مفتوح على جهاز آخر.")
                        .arg(isolated(QStringLiteral("velm-before-restore-YYYY-MM-DD.mdb"))));
    buildList();

    m_restore = new QPushButton(QStringLiteral("استعادة"), this);
    m_restore->setObjectName(QStringLiteral("cmdRestore"));
    m_refresh = new QPushButton(QStringLiteral("تحديث"), this);
    m_refresh->setObjectName(QStringLiteral("refresh"));
    m_close = new QPushButton(QStringLiteral("خروج"), this);
    m_close->setObjectName(QStringLiteral("close"));
    for (QPushButton *b : {m_restore, m_refresh, m_close})
        b->setAutoDefault(false);
    connect(m_restore, &QPushButton::clicked, this, &frmRestore::restoreChosen);
    connect(m_refresh, &QPushButton::clicked, this, &frmRestore::refresh);
    connect(m_close, &QPushButton::clicked, this, [this] { core::unloadScreen(this); });
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &frmRestore::restoreChosen);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_restore);
    buttons->addWidget(m_refresh);
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_note);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    // The frame sizes a screen to its hint: the list needs room for its columns.
    setMinimumSize(860, 420);

    m_busy = new core::BusyFeedback(this);
    connect(m_busy, &core::BusyFeedback::stopRequested, this, [this] { m_work.cancel(); });
    auto *keys = new core::ScreenKeys(this);
    keys->setGuide(m_ctx.guide);
    keys->bind(core::keys::kRefresh, m_refresh, QStringLiteral("قراءة قائمة النسخ من جديد"));
    keys->bind(core::keys::kClose, m_close, QStringLiteral("خروج"));
    keys->setFirstFocus(m_list);

    refresh();
}

frmRestore::~frmRestore()
{
    m_counting.cancel();
    m_work.cancel();
}

void frmRestore::buildList()
{
    m_list = new QTableWidget(0, kColumns, this);
    m_list->setObjectName(QStringLiteral("backupList"));
    m_list->setHorizontalHeaderLabels({QStringLiteral("وقت أخذ النسخة"), QStringLiteral("النسخة"),
                                       QStringLiteral("الحجم"), QStringLiteral("عدد الأشخاص"),
                                       QStringLiteral("الملف")});
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
}

QString frmRestore::kindCaption(core::backups::BackupFile::Kind kind)
{
    using Kind = core::backups::BackupFile::Kind;
    switch (kind) {
    case Kind::Dated:
        return QStringLiteral("نسخة يومية");
    case Kind::LogonCopy:
        return QStringLiteral("نسخة الدخول الأولى");
    case Kind::BeforeRestore:
        return QStringLiteral("قاعدة البيانات قبل استعادة سابقة");
    }
    return {};
}

void frmRestore::refresh()
{
    m_counting.cancel();
    m_counting.wait();
    m_copies = core::backups::listBackups(m_ctx.store.config().dataDir);
    m_list->setRowCount(0);
    m_list->setRowCount(int(m_copies.size()));
    for (int row = 0; row < m_copies.size(); ++row) {
        const core::backups::BackupFile &copy = m_copies.at(row);
        m_list->setItem(row, kTaken, cell(core::localDateTimeText(copy.taken)));
        m_list->setItem(row, kKind, cell(kindCaption(copy.kind)));
        m_list->setItem(row, kSize, cell(sizeText(copy.bytes)));
        m_list->setItem(row, kPersons, cell(kCounting));
        QTableWidgetItem *file = cell(QFileInfo(copy.path).fileName(), Qt::AlignLeft | Qt::AlignVCenter);
        file->setToolTip(copy.path);
        m_list->setItem(row, kFile, file);
    }
    m_list->resizeColumnsToContents();
    if (!m_copies.isEmpty())
        m_list->setCurrentCell(0, kTaken);
    countPersons();
}

// Opening each copy and counting its persons reads a part of every file:
// off the window's thread, row by row as they are counted.
void frmRestore::countPersons()
{
    QStringList paths;
    for (const core::backups::BackupFile &copy : std::as_const(m_copies))
        paths << copy.path;
    m_counting.start([this, paths](const core::BackgroundTask::Control &control) {
        for (int row = 0; row < paths.size() && !control.stopRequested(); ++row) {
            qint64 persons = -1;
            try {
                const auto db = core::DataConnections::openFile(paths.at(row), {QStringLiteral("tamrel")});
                db->setStopCheck([&control] { return control.stopRequested(); });
                persons = core::backups::personCount(*db);
            } catch (const engine::EngineError &) {
            }
            control.post([this, row, persons] { showPersons(row, persons); });
        }
    });
}

void frmRestore::showPersons(int row, qint64 persons)
{
    if (QTableWidgetItem *item = m_list->item(row, kPersons))
        item->setText(persons < 0 ? kUnreadable : QString::number(persons));
}

void frmRestore::restoreChosen()
{
    const int row = m_list->currentRow();
    if (m_work.isRunning())
        return;
    if (row < 0 || row >= m_copies.size() || m_list->selectedItems().isEmpty()) {
        m_ctx.messages.show(kChooseFirst, this);
        return;
    }
    const core::backups::BackupFile copy = m_copies.at(row);
    if (m_ctx.store.config().onServer()) {
        explainServer(copy);
        return;
    }
    const QString question =
        QStringLiteral("ستحل النسخة المأخوذة في %1 محل قاعدة البيانات الحالية:\n%2\n"
                       "وتحفظ قاعدة البيانات الحالية باسم %3 في مجلدها.\n"
                       "كل ما أدخل بعد أخذ النسخة لن يكون فيها. هل تريد المتابعة؟")
            .arg(core::localDateTimeText(copy.taken), isolated(m_ctx.store.config().dbFile),
                 isolated(QFileInfo(core::restore::setAsideName(m_ctx.store.config().dbFile, QDate::currentDate()))
                              .fileName()));
    if (!m_ctx.messages.confirm(question, kCaption, true, core::MessageService::Icon::Critical, this))
        return;
    startRestore(copy);
}

void frmRestore::explainServer(const core::backups::BackupFile &copy)
{
    m_ctx.messages.show(
        QStringLiteral("قاعدة البيانات على خادم، فلا تستعاد النسخة من هنا. أغلق البرنامج على كل الأجهزة، "
                       "ثم شغّل على هذا الجهاز الأمر:\n%1\n"
                       "حيث الخادم هو ما في السطر السادس من الملف db_path (مثل service=velm).")
            .arg(isolated(QStringLiteral("velm-migrate %1 <الخادم> --replace").arg(copy.path))),
        this);
}

void frmRestore::startRestore(const core::backups::BackupFile &copy)
{
    m_counting.cancel();
    m_counting.wait();
    // This program's own connections go first: the file is replaced only
    // while nobody has it open.
    m_ctx.store.closeEveryConnection();
    for (QPushButton *b : {m_restore, m_refresh, m_close})
        b->setEnabled(false);
    m_busy->start(QStringLiteral("جار فحص النسخة ووضعها مكان قاعدة البيانات..."));
    const QString dbFile = m_ctx.store.config().dbFile;
    m_failure = 0;
    m_work.start(
        [this, source = copy.path, dbFile](const core::BackgroundTask::Control &control) {
            try {
                const core::restore::Restored done = core::restore::putInPlace(
                    source, dbFile, QDate::currentDate(), [this](int p) { m_busy->setProgress(p); },
                    [&control] { return control.stopRequested(); });
                m_keptAs = done.keptAs;
                m_persons = done.persons;
            } catch (const engine::EngineError &e) {
                m_failure = e.number();
            }
        },
        [this] { restoreEnded(); });
}

QString frmRestore::failureText() const
{
    switch (m_failure) {
    case engine::ErrFileLocked:
        return kInUse;
    case engine::ErrOperationCanceled:
        return QStringLiteral("أوقفت الاستعادة، ولم يتغير شيء.");
    case engine::ErrDamagedFile:
    case engine::ErrNotValidPassword:
    case engine::ErrObjectNotFound:
    case engine::ErrForeignFormat:
        return QStringLiteral("النسخة المختارة تالفة أو ليست قاعدة بيانات هذا البرنامج، فلم تستعد. لم يتغير شيء.");
    case engine::ErrCannotOpenFile:
        return QStringLiteral("تعذرت الاستعادة: لا يمكن هنا التأكد من أن قاعدة البيانات غير مفتوحة على جهاز آخر، "
                              "أو لا تمكن الكتابة في مجلدها. لم يتغير شيء.");
    default:
        return QStringLiteral("تعذرت الاستعادة (قد يكون القرص ممتلئاً)، ولم يتغير شيء. رقم الخطأ %1").arg(m_failure);
    }
}

void frmRestore::restoreEnded()
{
    m_busy->finish();
    for (QPushButton *b : {m_restore, m_refresh, m_close})
        b->setEnabled(true);
    if (m_failure == 0) {
        m_ctx.messages.show(QStringLiteral("تمت استعادة النسخة (%1 شخص). قاعدة البيانات السابقة محفوظة باسم %2.\n"
                                           "سجل الدخول من جديد.")
                                .arg(m_persons)
                                .arg(isolated(m_keptAs)),
                            this);
        emit restored();
        return;
    }
    m_ctx.messages.show(failureText(), this);
    // Nothing changed: work goes on with the database as it was.
    const core::OpenResult reopened = m_ctx.store.OPENDATABASE();
    if (!reopened.ok) {
        m_ctx.messages.show(reopened.message, this);
        emit restored(); // the logon says what is wrong with the database
        return;
    }
    refresh();
}

} // namespace logon
