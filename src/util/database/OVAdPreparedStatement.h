// Preparing, binding and stepping statements for the database manager.
//
// Thread safety: on the database queue only, like every use of a handle.
// Ownership: a prepared statement shares ownership of its connection and is
// finalized when its last reference goes, so the connection always outlives
// its statements.
#pragma once

#include <memory>
#include <string>

#include "util/database/OVAdDatabaseManager.h"
#include "util/database/OVAdSQLStatement.h"

namespace plexora {

using OVAdPreparedStatement = std::shared_ptr<sqlite3_stmt>;

// The statement prepared on the connection with its parameters bound; null
// when there is no connection, the text does not prepare to a statement, or
// a parameter cannot be bound (or their count differs from the statement's),
// with the reason in `error`.
OVAdPreparedStatement OVAdPrepareStatement(const OVAdDatabaseHandle& database, const OVAdSQLStatement& statement,
                                           std::string* error);

// The connection's last error message (a fixed text when there is none).
std::string OVAdDatabaseErrorMessage(const OVAdDatabaseHandle& database);

}  // namespace plexora
