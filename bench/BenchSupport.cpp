#include "bench/BenchSupport.h"
#include "data/DatabaseCopy.h"
#include "engine/EngineError.h"

#include "data/BackgroundQuery.h"

#include "screens/DataSource.h"
#include "data/HijraDate.h"
#include "screens/KeyLookup.h"
#include "data/Schema.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>

namespace bench {

namespace {

// The offscreen platform's notes about what it cannot do are no findings.
void quietPlatform(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (text.startsWith(QLatin1String("This plugin does not support"))
        || text.startsWith(QLatin1String("QStandardPaths:")))
        return;
    std::fprintf(stderr, "%s%s\n", type == QtDebugMsg ? "" : "qt: ", qPrintable(text));
}

} // namespace

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString officeKey()
{
    return core::passwordFromConnect(QLatin1String(core::kConnectString));
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

void line(const QString &what, double ms, const QString &extra)
{
    out() << QStringLiteral("%1 %2 ms").arg(what, -52).arg(ms, 9, 'f', 2);
    if (!extra.isEmpty())
        out() << "   " << extra;
    out() << Qt::endl;
}

void both(const QString &what, const std::vector<double> &encrypted, const std::vector<double> &plain)
{
    out() << QStringLiteral("%1 %2 ms | %3 ms")
                 .arg(what, -52)
                 .arg(median(encrypted), 9, 'f', 3)
                 .arg(median(plain), 9, 'f', 3)
          << Qt::endl;
}

double timed(const std::function<void()> &step)
{
    QElapsedTimer t;
    t.start();
    step();
    QCoreApplication::processEvents();
    return msSince(t);
}

namespace {

// A field of /proc/self/status in kB (VmRSS: resident now, VmHWM: peak).
qint64 statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

double residentMegabytes()
{
    return statusKb("VmRSS:") / 1024.0;
}

double peakMegabytes()
{
    return statusKb("VmHWM:") / 1024.0;
}

void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

void waitWhileRunning(core::DataSource &source)
{
    if (!source.isRunning())
        return;
    QEventLoop loop;
    QObject::connect(&source, &core::DataSource::workFinished, &loop, &QEventLoop::quit);
    loop.exec();
}

void typeKeys(QLineEdit *edit, const QString &text, bool enter)
{
    for (const QChar c : text) {
        const int key = c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_unknown;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &release);
    }
    if (enter) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(edit, &press);
    }
}

LookupTimes timeLookup(core::KeyLookup &list, const QStringList &texts, int scrolls)
{
    LookupTimes r;
    r.residentBefore = residentMegabytes();
    QLineEdit *edit = list.lineEdit();
    for (const QString &text : texts) {
        edit->setFocus();
        edit->clear();
        for (int k = 0; k < text.size(); ++k)
            (k == 0 ? r.firstKey : r.nextKeys).push_back(timed([&] { typeKeys(edit, text.mid(k, 1)); }));
        r.paste.push_back(timed([&] {
            edit->selectAll();
            edit->insert(text); // as a paste does: one edit of the whole text
        }));
        edit->clear();
        r.openEmpty.push_back(timed([&] { list.showPopup(); }));
        for (int i = 0; i < scrolls; ++i)
            r.scroll.push_back(timed([&] { list.view()->scrollToBottom(); }));
        r.rowsAfterScrolling = list.count();
        list.hidePopup();
    }
    r.residentAfter = residentMegabytes();
    return r;
}

void printLookup(const QString &name, const LookupTimes &times)
{
    out() << name << " (medians)" << Qt::endl;
    line(QStringLiteral("  first key: keys offered"), median(times.firstKey));
    line(QStringLiteral("  each further key"), median(times.nextKeys));
    line(QStringLiteral("  a number pasted"), median(times.paste));
    line(QStringLiteral("  list opened on an empty box"), median(times.openEmpty));
    line(QStringLiteral("  list scrolled to its end (next batch)"), median(times.scroll),
         QStringLiteral("(%1 rows after %2 scrolls)").arg(times.rowsAfterScrolling).arg(times.scroll.size() / qMax<size_t>(1, times.firstKey.size())));
    out() << QStringLiteral("  resident memory %1 MB before, %2 MB after")
                 .arg(times.residentBefore, 0, 'f', 0)
                 .arg(times.residentAfter, 0, 'f', 0)
          << Qt::endl;
}

void PrintingMessages::show(const QString &text, QWidget *)
{
    out() << "message: " << text << Qt::endl;
}

bool PrintingMessages::confirm(const QString &text, const QString &, bool, Icon, QWidget *)
{
    out() << "question: " << text << Qt::endl;
    return false;
}

std::optional<QString> NoInput::ask(const QString &, const QString &, const QString &, QWidget *)
{
    return std::nullopt;
}

void makePlainCopy(const QString &encrypted, const QString &plain)
{
    QElapsedTimer t;
    t.start();
    {
        // The office connection never creates files: the copy is made empty first.
        engine::Database empty;
        empty.openPlain(plain);
    }
    engine::Database db;
    db.open(encrypted, officeKey());
    db.execute(QStringLiteral("ATTACH DATABASE ? AS plain KEY ''"), {plain});
    db.scalar(QStringLiteral("SELECT sqlcipher_export('plain')"));
    db.execute(QStringLiteral("DETACH DATABASE plain"));
    db.close();
    out() << QStringLiteral("plain copy made in %1 s").arg(t.elapsed() / 1000.0, 0, 'f', 1) << Qt::endl;
}

core::SyntheticCounts buildRegister(const QString &path, int persons)
{
    QElapsedTimer t;
    t.start();
    core::schema::createFirstDatabase(path, officeKey());
    engine::Database db;
    db.open(path, officeKey());
    const core::SyntheticCounts c = core::fillSynthetic(db, persons, 2024);
    out() << QStringLiteral("built %1 persons, %2 steps, %3 courses, %4 evaluations, %5 problems, %6 diary "
                            "records, %7 questionnaires in %8 s")
                 .arg(c.persons)
                 .arg(c.followUps)
                 .arg(c.courses)
                 .arg(c.evaluations)
                 .arg(c.problems)
                 .arg(c.problemFollowUps)
                 .arg(c.questionnaires)
                 .arg(t.elapsed() / 1000.0, 0, 'f', 1)
          << Qt::endl;
    return c;
}

void prepareProcess()
{
    core::BackgroundQuery::useOneMemoryPool(); // as the program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatform);
}

BenchProcess::BenchProcess(int &argc, char **argv)
    : m_app(argc, argv), m_args(QCoreApplication::arguments().mid(1))
{
}

QString CommandLine::folder(const QString &fallback) const
{
    for (const QString &left : m_args) {
        if (left.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "unknown option %s (see the comment at the top of the benchmark's source)\n",
                         qPrintable(left));
            std::exit(2);
        }
    }
    return m_args.value(0, fallback);
}

qint64 CommandLine::option(const char *name, qint64 fallback)
{
    const int i = int(m_args.indexOf(QLatin1String(name)));
    if (i < 0 || i + 1 >= m_args.size())
        return fallback;
    const qint64 value = m_args.at(i + 1).toLongLong();
    m_args.remove(i, 2);
    return value;
}

QString CommandLine::text(const char *name, const QString &fallback)
{
    const qsizetype i = m_args.indexOf(QLatin1String(name));
    if (i < 0 || i + 1 >= m_args.size())
        return fallback;
    const QString value = m_args.at(i + 1);
    m_args.remove(i, 2);
    return value;
}

ScreenBench::ScreenBench(const QString &folder) : m_folder(folder)
{
    QDir().mkpath(folder);
    const core::HijriDay today = core::todayHijri();
    m_logon.WORK_YY = today.yyyy;
    m_logon.WORK_MM = today.mm;
    m_logon.WORK_DD = today.dd;
}

QString ScreenBench::file() const
{
    return QDir(m_folder).filePath(QStringLiteral("velm.mdb"));
}

QString ScreenBench::plainFile() const
{
    return QDir(m_folder).filePath(QStringLiteral("velm-plain.db"));
}

bool ScreenBench::openPlain(engine::Database &db) const
{
    try {
        db.openPlain(plainFile());
        return true;
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "cannot open the plain copy: %s\n", e.what());
        return false;
    }
}

void ScreenBench::copyToServer()
{
    engine::Database target;
    target.openServer(m_server);
    if (core::holdsOfficeData(target))
        return;
    out() << "copying " << file() << " to the server " << target.serverName() << " ..." << Qt::endl;
    engine::Database source;
    source.open(file(), officeKey());
    QElapsedTimer t;
    t.start();
    if (!core::copyDatabase(source, target).verified())
        throw engine::EngineError(engine::ErrDamagedFile, QStringLiteral("the server's copy does not match the file"));
    out() << "  copied and verified in " << t.elapsed() / 1000 << " s" << Qt::endl;
}

bool ScreenBench::prepare(const std::function<void(const QString &file)> &build)
{
    try {
        if (!QFileInfo::exists(file()))
            build(file());
        if (!QFileInfo::exists(plainFile()))
            makePlainCopy(file(), plainFile());
        if (onServer())
            copyToServer();
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "cannot build %s: %d %s\n", qPrintable(file()), e.number(), e.what());
        return false;
    }
    if (QString error; !open(&error)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(file()), qPrintable(error));
        return false;
    }
    return true;
}

bool ScreenBench::open(QString *error)
{
    QFile dbPath(m_program.filePath(QStringLiteral("db_path")));
    if (!dbPath.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write db_path");
        return false;
    }
    const QByteArray dir = QFileInfo(m_folder).absoluteFilePath().toUtf8();
    dbPath.write("0\n" + dir + "\n" + dir + "/pictures\n" + dir + "/material\n" + dir + "/forms\n");
    if (onServer())
        dbPath.write(m_server.toUtf8() + "\n");
    dbPath.close();
    m_store = std::make_unique<core::DataStore>(m_program.path());
    m_store->READDBPATH();
    if (const core::OpenResult opened = m_store->OPENDATABASE(); !opened.ok) {
        *error = opened.message;
        return false;
    }
    m_cmn = std::make_unique<core::CmnSub>(*m_store, m_messages);
    m_ctx = std::make_unique<core::AppContext>(
        core::AppContext{*m_store, m_messages, m_input, m_files, m_logon, *m_cmn});
    return true;
}

} // namespace bench
