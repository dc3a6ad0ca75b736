#include "BenchSupport.h"

#include "HijraDate.h"
#include "engine/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

void prepareOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatform);
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

bool ScreenBench::prepare(const std::function<void(const QString &file)> &build)
{
    try {
        if (!QFileInfo::exists(file()))
            build(file());
        if (!QFileInfo::exists(plainFile()))
            makePlainCopy(file(), plainFile());
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
