#include "core/model/store/JoinCounts.h"

namespace corvaline {

namespace {

// "a, b" or "NEW.a, ifnull(NEW.b, 0)" for the key columns of the counts.
std::string keyList(const JoinTableDescription& join, const std::string& row) {
    std::string list = row.empty() ? sqlite::quoted(join.targetColumn)
                                   : row + "." + sqlite::quoted(join.targetColumn);
    for (const auto& copied : join.copiedToOnes) {
        list += ", " + (row.empty() ? sqlite::quoted(copied)
                                    : "ifnull(" + row + "." + sqlite::quoted(copied) + ", 0)");
    }
    return list;
}

std::string add(const JoinTableDescription& join, const std::string& counts) {
    return "INSERT INTO " + counts + " (" + keyList(join, {}) + ", n) VALUES (" +
           keyList(join, "NEW") + ", 1) ON CONFLICT (" + keyList(join, {}) +
           ") DO UPDATE SET n = n + 1;";
}

std::string remove(const JoinTableDescription& join, const std::string& counts) {
    std::string where =
        sqlite::quoted(join.targetColumn) + " = OLD." + sqlite::quoted(join.targetColumn);
    for (const auto& copied : join.copiedToOnes) {
        where +=
            " AND " + sqlite::quoted(copied) + " = ifnull(OLD." + sqlite::quoted(copied) + ", 0)";
    }
    return "UPDATE " + counts + " SET n = n - 1 WHERE " + where + ";";
}

}  // namespace

void JoinCounts::prepare(sqlite::Database& database, const JoinTableDescription& join) {
    const std::string name = table(join);
    auto existing = database.prepare("SELECT count(*) FROM sqlite_master WHERE name = ?");
    existing.bind(1, Value{name});
    const bool existed = existing.step() && existing.integer(0) > 0;
    const std::string counts = sqlite::quoted(name);
    const std::string rows = sqlite::quoted(join.name);
    std::string columns = sqlite::quoted(join.targetColumn) + " INTEGER NOT NULL";
    for (const auto& copied : join.copiedToOnes) {
        columns += ", " + sqlite::quoted(copied) + " INTEGER NOT NULL";
    }
    database.execute("CREATE TABLE IF NOT EXISTS " + counts + " (" + columns +
                     ", n INTEGER NOT NULL, PRIMARY KEY (" + keyList(join, {}) +
                     ")) WITHOUT ROWID");
    std::string updated = sqlite::quoted(join.targetColumn);
    for (const auto& copied : join.copiedToOnes) {
        updated += ", " + sqlite::quoted(copied);
    }
    database.execute("CREATE TRIGGER IF NOT EXISTS " + sqlite::quoted(name + "_insert") +
                     " AFTER INSERT ON " + rows + " BEGIN " + add(join, counts) + " END");
    database.execute("CREATE TRIGGER IF NOT EXISTS " + sqlite::quoted(name + "_delete") +
                     " AFTER DELETE ON " + rows + " BEGIN " + remove(join, counts) + " END");
    database.execute("CREATE TRIGGER IF NOT EXISTS " + sqlite::quoted(name + "_update") +
                     " AFTER UPDATE OF " + updated + " ON " + rows + " BEGIN " +
                     remove(join, counts) + " " + add(join, counts) + " END");
    if (!existed) {
        database.execute("INSERT INTO " + counts + " (" + keyList(join, {}) + ", n) SELECT " +
                         keyList(join, rows) + ", count(*) FROM " + rows + " GROUP BY " +
                         keyList(join, rows));
    }
}

}  // namespace corvaline
