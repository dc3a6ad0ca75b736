#pragma once

// What the screen benchmarks share: timing and printing, services that
// print instead of asking, a plain copy of an encrypted file for the
// side-by-side runs, and a program folder whose db_path names a benchmark
// folder, with the context a screen is handed.

#include "AppContext.h"
#include "CmnSub.h"
#include "OpenDb.h"
#include "Services.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <functional>
#include <memory>
#include <vector>

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

// Prepares the offscreen platform and a quiet message handler; call first
// in main, before the application object exists.
void prepareOffscreen();

// The command line: "--name value" options, taken out as they are read;
// what is left names the folder.
class CommandLine {
public:
    explicit CommandLine(QStringList arguments) : m_args(std::move(arguments)) {}
    qint64 option(const char *name, qint64 fallback);
    QString folder(const QString &fallback) const { return m_args.value(0, fallback); }

private:
    QStringList m_args;
};

// A benchmark folder holding velm.mdb and its plain copy velm-plain.db, and
// a program folder whose db_path names it, with the database opened through
// the data store, the working date today and the context a screen is handed.
class ScreenBench {
public:
    explicit ScreenBench(const QString &folder);

    // Builds velm.mdb with `build` when it is missing, then the plain copy
    // when that is missing, and opens the database. False, after saying
    // why, when one of these fails.
    bool prepare(const std::function<void(const QString &file)> &build);

    QString file() const;
    QString plainFile() const;
    core::DataStore &store() { return *m_store; }
    core::AppContext &ctx() { return *m_ctx; }

private:
    bool open(QString *error);

    QTemporaryDir m_program;
    QString m_folder;
    std::unique_ptr<core::DataStore> m_store;
    PrintingMessages m_messages;
    NoInput m_input;
    NoFiles m_files;
    core::LogonState m_logon;
    std::unique_ptr<core::CmnSub> m_cmn;
    std::unique_ptr<core::AppContext> m_ctx;
};

} // namespace bench
