#pragma once

#include "engine/Database.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

// The backend a test run uses: the file, or, with VELM_TEST_BACKEND=server,
// the throwaway PostgreSQL cluster that CTest's fixture started (its facts
// in the file VELM_PG_ENV names). A run meant for the server never falls
// back to the file: without the cluster it fails and says why.
bool testOnServer();

struct ServerFacts {
    QString socket;
    QString admin; // connection string of the cluster's superuser
    QString templateDatabase;
    QString appUser, appPassword;
    QString reportUser, reportPassword;
};
// Throws engine::EngineError (3051) telling what is missing.
ServerFacts serverFacts();

// A fresh database for one test: a new encrypted file in a temporary
// folder, or a new database on the test server (made from the cluster's
// template, so the report role may read it), dropped at the end. Tests
// running side by side each have their own.
class TempDatabase {
public:
    TempDatabase();
    ~TempDatabase();
    TempDatabase(const TempDatabase &) = delete;
    TempDatabase &operator=(const TempDatabase &) = delete;

    bool onServer() const { return !m_name.isEmpty(); }
    // Opens the program's connection (the file is made on first use).
    void open(engine::Database &db, const QStringList &requiredTables = {});
    // A connection that may only read: on the server the report role, on
    // the file a connection restricted to queries.
    void openReport(engine::Database &db);
    // The server database's connection string for a user (server only).
    QString connectionString(const QString &user, const QString &password) const;
    const ServerFacts &facts() const { return m_facts; }
    // The server database's name (server only).
    const QString &name() const { return m_name; }

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_name;
    ServerFacts m_facts;
};

} // namespace testsupport
