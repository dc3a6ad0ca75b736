#pragma once

#include "engine/Database.h"

#include <QString>

#include <functional>

namespace core {

// Whether the persons' search index is to be built on this database: a
// file or server from before it, or one whose index is of an older kind or
// was left half built.
bool personIndexWanted(engine::Database &db);

// Share of the build done, 0..100, told on the caller's thread.
using IndexProgress = std::function<void(int percent)>;

// Builds the persons' search index on a connection of its own (openSpec),
// off the caller's thread, while the caller's thread goes on handling its
// events and hears of the progress. Searches work meanwhile and without an
// index too (reading the whole register, with the same results); writes of
// other workstations go on. Returns what went wrong in plain words for the
// log (empty when built, or when there was nothing to do). When the program
// ends meanwhile the build stops after its step in hand and goes on where it
// stopped next time.
QString buildPersonIndex(const engine::OpenSpec &openSpec, const IndexProgress &progress = {});

} // namespace core
