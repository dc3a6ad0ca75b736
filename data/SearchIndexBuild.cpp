#include "data/SearchIndexBuild.h"

#include "data/BackgroundTask.h"
#include "data/Schema.h"

#include <atomic>

namespace core {

bool personIndexWanted(engine::Database &db)
{
    try {
        return db.searchIndexState(schema::personSearchIndex()).needsBuild();
    } catch (const engine::EngineError &) {
        return false; // a database that cannot be asked cannot be built on either
    }
}

QString buildPersonIndex(const engine::OpenSpec &openSpec, const IndexProgress &progress)
{
    QString failure;
    runWhileHandlingEvents(
        [&](const BackgroundTask::Control &control, std::atomic<int> &percent) {
            engine::Database db;
            try {
                db.open(openSpec);
                // A step of the server's (an index of a column) is stopped
                // by the server itself.
                control.stopToken().setOnStop([&db] { db.interrupt(); });
                db.buildSearchIndex(schema::personSearchIndex(), [&](int p) {
                    percent = p;
                    return !control.stopRequested();
                });
            } catch (const engine::EngineError &e) {
                // Stopped because the program ends: it goes on next time.
                if (e.number() != engine::ErrOperationCanceled)
                    failure = QStringLiteral("%1 %2").arg(e.number()).arg(e.description());
            }
            control.stopToken().forgetOnStop();
        },
        progress);
    return failure;
}

} // namespace core
