#pragma once

#include <string>

#include "core/model/store/ManagedObjectModel.h"
#include "core/model/store/Sqlite.h"

namespace corvaline {

// The number of rows of a join table per target and copied to-one targets (0 standing for
// none), kept by triggers, so that a long history is counted without reading each of its rows.
// Only for join tables that copy to-one relationships. Main thread (the store's).
class JoinCounts {
  public:
    static bool kept(const JoinTableDescription& join) { return !join.copiedToOnes.empty(); }
    static std::string table(const JoinTableDescription& join) { return join.name + "Count"; }
    // Creates the table and its triggers; a table made now is filled from the rows there are.
    static void prepare(sqlite::Database& database, const JoinTableDescription& join);
};

}  // namespace corvaline
