// The tables of the shared job store and their versions. Each version is one step applied in its
// own transaction under an advisory lock, so that two stations migrating at once do it once.
#pragma once
#include <string>

#include "store/pg_connection.h"

namespace tw::store {

// The version this program reads and writes.
inline constexpr int kSchemaVersion = 1;

// The store's version: 0 when no schema is there, -1 on error.
int SchemaVersion(CPgConnection& db, std::string& error);

// Brings the store up to kSchemaVersion. from receives the version found. Refuses a store whose
// version is newer than this program's. False with error; a failed step leaves the previous version.
bool MigrateSchema(CPgConnection& db, int& from, std::string& error);

}  // namespace tw::store
