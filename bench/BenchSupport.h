#pragma once

// What the benchmarks share: timing, memory and printing, services that
// print instead of asking, typing as the keyboard does, a register built
// for them and its plain copy for the side-by-side runs, and a program
// folder whose db_path names a benchmark folder, with the context a screen
// is handed.

#include "screens/AppContext.h"
#include "screens/CmnSub.h"
#include "data/OpenDb.h"
#include "screens/Services.h"
#include "synthetic/SyntheticData.h"
#include "engine/Database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QLineEdit;

namespace core {
class DataSource;
class KeyLookup;
} // namespace core

namespace bench {

QTextStream &out();

// The office database's key.
QString officeKey();

double median(std::vector<double> values);
double msSince(const QElapsedTimer &t);
// One result line: what, milliseconds, a remark.
void line(const QString &what, double ms, const QString &extra = {});
// One side-by-side line: encrypted | plain, medians.
void both(const QString &what, const std::vector<double> &encrypted, const std::vector<double> &plain);

// Runs `step`, then the events it posted; the milliseconds it took.
double timed(const std::function<void()> &step);

// Memory of this process in MB: resident now, and the most it has held.
double residentMegabytes();
double peakMegabytes();
// Starts the peak afresh from what is resident now.
void resetPeak();

// Waits while a data source reads on in the background.
void waitWhileRunning(core::DataSource &source);

// Sends each character of the text to the line edit as a key press and
// release, as typing does; then, with `enter`, the Enter key.
void typeKeys(QLineEdit *edit, const QString &text, bool enter = false);

// A look-up list of keys as a user meets it, for each of the texts: the
// first key typed and each further one (the keys offered), the text pasted
// over it, the list opened on an empty box and scrolled to its end batch
// after batch; with the process's memory before and after.
struct LookupTimes {
    std::vector<double> firstKey, nextKeys, paste, openEmpty, scroll;
    int rowsAfterScrolling = 0;
    double residentBefore = 0, residentAfter = 0;
};
LookupTimes timeLookup(core::KeyLookup &list, const QStringList &texts, int scrolls = 20);
void printLookup(const QString &name, const LookupTimes &times);

// Messages would mean that something failed: they are printed, never shown.
class PrintingMessages : public core::MessageService {
public:
    void show(const QString &text, QWidget *) override;
    bool confirm(const QString &text, const QString &, bool, Icon, QWidget *) override;
};

class NoInput : public core::InputService {
public:
    std::optional<QString> ask(const QString &, const QString &, const QString &, QWidget *) override;
};

class NoFiles : public core::FileOpener {
public:
    bool open(const QString &) override { return false; }
};

// Writes a plain (unencrypted) copy of an encrypted office file.
void makePlainCopy(const QString &encrypted, const QString &plain);

// Creates the office's first database at `path` and fills it with
// `persons` synthetic persons and their related rows; prints the counts.
core::SyntheticCounts buildRegister(const QString &path, int persons);

// Measures the encrypted file and its plain copy alike: `measure(db, true)`
// once on each to warm both, then `measure(db, false)` on each.
template <typename Times>
std::pair<Times, Times> sideBySide(engine::Database &encrypted, engine::Database &plain,
                                   const std::function<Times(engine::Database &, bool warmUp)> &measure)
{
    measure(encrypted, true);
    measure(plain, true);
    Times e = measure(encrypted, false);
    Times p = measure(plain, false);
    return {std::move(e), std::move(p)};
}

// Prepares the process as the program prepares its own (one memory pool),
// the offscreen platform unless another is named, and a quiet message
// handler; before the application object exists (BenchProcess calls it).
void prepareProcess();

// The command line: "--name value" options, taken out as they are read;
// what is left names the folder (and what else a benchmark takes).
class CommandLine {
public:
    explicit CommandLine(QStringList arguments) : m_args(std::move(arguments)) {}
    qint64 option(const char *name, qint64 fallback);
    QString text(const char *name, const QString &fallback = {});
    // An option no benchmark knows (--help among them) ends the process
    // with its name rather than becoming a folder to fill.
    QString folder(const QString &fallback) const;
    QString argument(int index, const QString &fallback = {}) const { return m_args.value(index, fallback); }

private:
    QStringList m_args;
};

// The start of every benchmark's main: the process prepared first (see
// prepareProcess), then the application object, then the command line
// after the program's name.
class BenchProcess {
public:
    BenchProcess(int &argc, char **argv);
    // Everything after the program's name, as given.
    QStringList arguments() const { return QCoreApplication::arguments().mid(1); }
    CommandLine &args() { return m_args; }

private:
    struct Prepared {
        Prepared() { prepareProcess(); }
    };
    Prepared m_prepared; // before m_app: the pool and the platform come first
    QApplication m_app;
    CommandLine m_args;
};

// A benchmark folder holding velm.mdb and its plain copy velm-plain.db, and
// a program folder whose db_path names it, with the database opened through
// the data store, the working date today and the context a screen is handed.
class ScreenBench {
public:
    explicit ScreenBench(const QString &folder);

    // Builds velm.mdb with `build` when it is missing, then the plain copy
    // when that is missing, and opens the database. False, after saying
    // why, when one of these fails. With a server (a libpq connection
    // string or service=NAME), the screens work there instead: velm.mdb is
    // copied into the server database when that holds no office rows, and
    // db_path names the server on its sixth line.
    bool prepare(const std::function<void(const QString &file)> &build);
    void setServer(const QString &connection) { m_server = connection; }
    bool onServer() const { return !m_server.isEmpty(); }

    QString file() const;
    QString plainFile() const;
    // The plain copy, opened; false, after saying why, when it cannot be.
    bool openPlain(engine::Database &db) const;
    QString folder() const { return m_folder; }
    core::DataStore &store() { return *m_store; }
    core::AppContext &ctx() { return *m_ctx; }

private:
    bool open(QString *error);
    void copyToServer();

    QTemporaryDir m_program;
    QString m_folder;
    QString m_server;
    std::unique_ptr<core::DataStore> m_store;
    PrintingMessages m_messages;
    NoInput m_input;
    NoFiles m_files;
    core::LogonState m_logon;
    std::unique_ptr<core::CmnSub> m_cmn;
    std::unique_ptr<core::AppContext> m_ctx;
};

} // namespace bench
