#pragma once

#include "database.h"

#include <string>

namespace velquist::service {

// Brings the schema up to the newest version this build knows, one numbered
// step at a time, each recorded in schema_migrations. Several instances
// starting at once take turns. Refuses a database newer than this build.
bool Migrate(Database& db, std::string* error);

// The newest schema version this build knows.
int LatestSchemaVersion();

} // namespace velquist::service
