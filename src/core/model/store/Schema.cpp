#include "core/model/store/Schema.h"

#include <map>
#include <set>
#include <stdexcept>

#include <sqlite3.h>

#include "core/model/store/JoinCounts.h"

namespace corvaline {

namespace {

std::string sqlType(AttributeType type) {
    switch (type) {
        case AttributeType::Boolean:
        case AttributeType::Integer64:
            return "INTEGER";
        case AttributeType::Double:
        case AttributeType::Date:
            return "REAL";
        case AttributeType::Text:
            return "TEXT";
        case AttributeType::Data:
            return "BLOB";
    }
    return "BLOB";
}

std::vector<TableLayout::Column> joinColumns(const JoinTableDescription& join,
                                             const ManagedObjectModel& model) {
    std::vector<TableLayout::Column> columns{{join.ownerColumn, AttributeType::Integer64},
                                             {join.targetColumn, AttributeType::Integer64}};
    for (const auto& name : join.copiedAttributes) {
        AttributeType type = AttributeType::Data;
        for (const auto* root : model.roots()) {
            for (const auto* entity : root->kinds()) {
                const int index = entity->attributeIndex(name);
                if (index >= 0) {
                    type = entity->attributes()[static_cast<std::size_t>(index)].type;
                }
            }
        }
        columns.push_back({name, type});
    }
    for (const auto& name : join.copiedToOnes) {
        columns.push_back({name, AttributeType::Integer64});
    }
    return columns;
}

// Target first, then the copies a query filters on, then those it sorts by: one user's rows
// without a chat come out newest first straight from the index.
std::vector<std::string> joinIndexColumns(const JoinTableDescription& join) {
    std::vector<std::string> columns{join.targetColumn};
    columns.insert(columns.end(), join.copiedToOnes.begin(), join.copiedToOnes.end());
    columns.insert(columns.end(), join.copiedAttributes.begin(), join.copiedAttributes.end());
    columns.push_back(join.ownerColumn);
    return columns;
}

// The columns for CREATE TABLE; the one at `key` (if any) is the table's rowid.
std::string columnDefinitions(const std::vector<TableLayout::Column>& columns, int key = -1) {
    std::string list;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        list += (i == 0 ? "" : ", ") + sqlite::quoted(columns[i].name) + " " +
                sqlType(columns[i].type) + (static_cast<int>(i) == key ? " PRIMARY KEY" : "");
    }
    return list;
}

std::string createTable(const std::string& table, const std::vector<TableLayout::Column>& columns) {
    return "CREATE TABLE IF NOT EXISTS " + sqlite::quoted(table) + " (" +
           columnDefinitions(columns, TableLayout::kIdColumn) + ")";
}

// A join row is found by its owner and target, so they are its key: the rows live in that one
// b-tree, with no rowid table and no separate index of the owner beside it, and each saved
// row costs one page fewer.
std::string createJoinTable(const std::string& table,
                            const std::vector<TableLayout::Column>& columns) {
    return "CREATE TABLE IF NOT EXISTS " + sqlite::quoted(table) + " (" +
           columnDefinitions(columns) + ", PRIMARY KEY (" + sqlite::quoted(columns[0].name) + ", " +
           sqlite::quoted(columns[1].name) + ")) WITHOUT ROWID";
}

std::string indexName(const std::string& table, const std::vector<std::string>& columns) {
    std::string name = table;
    for (const auto& column : columns) {
        name += "_" + column;
    }
    return name;
}

// A partial index has a name of its own: a full one of an earlier version with the same
// columns is dropped, not taken for it.
std::string indexName(const IndexDescription& index) {
    const std::string name = indexName(index.table, index.columns);
    return index.onlyWithFirstColumn ? name + "_" + index.columns.front() + "NotNull" : name;
}

std::string createIndex(const IndexDescription& index) {
    std::string list;
    for (const auto& column : index.columns) {
        list += (list.empty() ? "" : ", ") + sqlite::quoted(column);
    }
    std::string sql = "CREATE INDEX IF NOT EXISTS " + sqlite::quoted(indexName(index)) + " ON " +
                      sqlite::quoted(index.table) + " (" + list + ")";
    if (index.onlyWithFirstColumn) {
        sql += " WHERE " + sqlite::quoted(index.columns.front()) + " IS NOT NULL";
    }
    return sql;
}

// Indexes an earlier version made that the model no longer asks for only slow down writing.
void dropIndexesOtherThan(sqlite::Database& database, const std::string& table,
                          const std::set<std::string, std::less<>>& wanted) {
    std::vector<std::string> stale;
    auto indexes = database.prepare(
        "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ? AND sql IS NOT NULL");
    indexes.bind(1, Value{table});
    while (indexes.step()) {
        auto name = std::get<std::string>(indexes.value(0, AttributeType::Text));
        if (!wanted.contains(name)) {
            stale.push_back(std::move(name));
        }
    }
    for (const auto& name : stale) {
        database.execute("DROP INDEX " + sqlite::quoted(name));
    }
}

// Earlier versions kept join rows in a rowid table beside an index of their owners: the rows
// move into a table keyed by owner and target. A pair held twice is kept once, and then the
// counts, which counted it twice, are dropped to be counted again.
void keyByOwnerAndTarget(sqlite::Database& database, const JoinTableDescription& join,
                         const std::vector<TableLayout::Column>& columns) {
    {
        auto key = database.prepare("SELECT count(*) FROM pragma_table_info(?) WHERE pk > 0");
        key.bind(1, Value{join.name});
        if (key.step() && key.integer(0) > 0) {
            return;
        }
    }  // a statement still open would keep the table from being dropped
    const std::string table = sqlite::quoted(join.name);
    const std::string keyed = join.name + "_keyed";
    std::string list;
    for (const auto& column : columns) {
        list += (list.empty() ? "" : ", ") + sqlite::quoted(column.name);
    }
    const auto rows = database.scalar("SELECT count(*) FROM " + table);
    database.execute(createJoinTable(keyed, columns));
    database.execute("INSERT OR IGNORE INTO " + sqlite::quoted(keyed) + " (" + list + ") SELECT " +
                     list + " FROM " + table);
    const auto kept = database.scalar("SELECT count(*) FROM " + sqlite::quoted(keyed));
    database.execute("DROP TABLE " + table);  // with its indexes and the counts' triggers
    database.execute("ALTER TABLE " + sqlite::quoted(keyed) + " RENAME TO " + table);
    if (kept != rows && JoinCounts::kept(join)) {
        database.execute("DROP TABLE IF EXISTS " + sqlite::quoted(JoinCounts::table(join)));
    }
}

}  // namespace

TableLayout::TableLayout(const EntityDescription& root) : root_(&root) {
    columns_.push_back({"id", AttributeType::Integer64});
    columns_.push_back({"entity", AttributeType::Text});
    std::set<std::string, std::less<>> seen{"id", "entity"};
    for (const auto* entity : root.kinds()) {
        for (const auto& attribute : entity->attributes()) {
            if (seen.insert(attribute.name).second) {
                columns_.push_back({attribute.name, attribute.type});
            }
        }
    }
    for (const auto* entity : root.kinds()) {
        for (const auto& relationship : entity->relationships()) {
            if (relationship.storage == RelationshipStorage::ForeignKey &&
                seen.insert(relationship.name).second) {
                columns_.push_back({relationship.name, AttributeType::Integer64});
            }
        }
    }
    for (const auto* entity : root.kinds()) {
        EntityColumns& mapping = entityColumns_[entity];
        for (const auto& column : columns_) {
            const bool named = column.name != "id" && column.name != "entity";
            mapping.attributeOfColumn.push_back(named ? entity->attributeIndex(column.name) : -1);
            const int relationship = named ? entity->relationshipIndex(column.name) : -1;
            mapping.relationshipOfColumn.push_back(
                relationship >= 0 &&
                        entity->relationships()[static_cast<std::size_t>(relationship)].storage ==
                            RelationshipStorage::ForeignKey
                    ? relationship
                    : -1);
        }
        for (const auto& attribute : entity->attributes()) {
            mapping.columnOfAttribute.push_back(column(attribute.name));
        }
    }
    const std::string table = sqlite::quoted(root.name());
    std::string values;
    std::string assignments;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        values += i == 0 ? "?" : ", ?";
        if (i > 0) {
            assignments += (i == 1 ? "" : ", ") + sqlite::quoted(columns_[i].name) + " = ?";
        }
    }
    insertSql_ = "INSERT INTO " + table + " (" + columnList() + ") VALUES (" + values + ")";
    updateSql_ = "UPDATE " + table + " SET " + assignments + " WHERE id = ?";
}

const TableLayout::EntityColumns& TableLayout::columnsOf(const EntityDescription& entity) const {
    return entityColumns_.at(&entity);
}

int TableLayout::column(std::string_view name) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string TableLayout::columnList(std::string_view prefix) const {
    std::string list;
    for (const auto& column : columns_) {
        if (!list.empty()) {
            list += ", ";
        }
        list += std::string(prefix) + sqlite::quoted(column.name);
    }
    return list;
}

StoreSchema::StoreSchema(const ManagedObjectModel& model) : model_(model) {
    for (const auto* root : model.roots()) {
        layouts_.emplace_back(*root);
    }
}

const TableLayout& StoreSchema::layout(const EntityDescription& entity) const {
    for (const auto& layout : layouts_) {
        if (&layout.root() == &entity.root()) {
            return layout;
        }
    }
    throw std::logic_error("entity " + entity.name() + " is not in the model");
}

void StoreSchema::prepare(sqlite::Database& database) const {
    const auto version = database.scalar("PRAGMA user_version");
    if (version == model_.version()) {
        return;
    }
    if (version > model_.version()) {
        throw NewerStoreError(SQLITE_CANTOPEN, "the store was written with schema version " +
                                                   std::to_string(version) + ", newer than " +
                                                   std::to_string(model_.version()));
    }
    sqlite::Transaction transaction(database);
    std::map<std::string, std::set<std::string, std::less<>>, std::less<>> wantedIndexes;
    for (const auto& layout : layouts_) {
        database.execute(createTable(layout.table(), layout.columns()));
        addMissingColumns(database, layout.table(), layout.columns());
        wantedIndexes[layout.table()];
    }
    for (const auto& join : model_.joinTables()) {
        const auto columns = joinColumns(*join, model_);
        database.execute(createJoinTable(join->name, columns));
        fillCopies(database, *join, addMissingColumns(database, join->name, columns));
        keyByOwnerAndTarget(database, *join, columns);
        if (JoinCounts::kept(*join)) {
            JoinCounts::prepare(database, *join);
        }
        const IndexDescription index{join->name, joinIndexColumns(*join)};
        database.execute(createIndex(index));
        wantedIndexes[join->name].insert(indexName(index));
    }
    for (const auto& index : model_.indexes()) {
        database.execute(createIndex(index));
        wantedIndexes[index.table].insert(indexName(index));
    }
    for (const auto& [table, wanted] : wantedIndexes) {
        dropIndexesOtherThan(database, table, wanted);
    }
    database.execute("PRAGMA user_version = " + std::to_string(model_.version()));
    transaction.commit();
}

std::vector<std::string> StoreSchema::addMissingColumns(
    sqlite::Database& database, const std::string& table,
    const std::vector<TableLayout::Column>& columns) const {
    std::vector<std::string> added;
    std::set<std::string, std::less<>> present;
    auto info = database.prepare("SELECT name FROM pragma_table_info(?)");
    info.bind(1, Value{table});
    while (info.step()) {
        present.insert(std::get<std::string>(info.value(0, AttributeType::Text)));
    }
    for (const auto& column : columns) {
        if (!present.contains(column.name)) {
            database.execute("ALTER TABLE " + sqlite::quoted(table) + " ADD COLUMN " +
                             sqlite::quoted(column.name) + " " + sqlType(column.type));
            added.push_back(column.name);
        }
    }
    return added;
}

void StoreSchema::fillCopies(sqlite::Database& database, const JoinTableDescription& join,
                             const std::vector<std::string>& added) const {
    const auto* owner = model_.ownerOf(join).first;
    if (!owner) {
        return;
    }
    const std::string table = sqlite::quoted(join.name);
    const std::string ownerTable = sqlite::quoted(owner->root().name());
    for (const auto& column : added) {
        if (column == join.ownerColumn || column == join.targetColumn) {
            continue;
        }
        const std::string name = sqlite::quoted(column);
        database.execute("UPDATE " + table + " SET " + name + " = (SELECT o." + name + " FROM " +
                         ownerTable + " o WHERE o.id = " + table + "." +
                         sqlite::quoted(join.ownerColumn) + ")");
    }
}

}  // namespace corvaline
