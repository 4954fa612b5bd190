#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/store/ManagedObjectModel.h"
#include "core/model/store/Sqlite.h"

namespace corvaline {

// The columns of one hierarchy's table: "id", "entity", every attribute of every entity of
// the hierarchy, then one column per to-one relationship. Read-only once built: any thread.
class TableLayout {
  public:
    struct Column {
        std::string name;
        AttributeType type;
    };
    static constexpr int kIdColumn = 0;
    static constexpr int kEntityColumn = 1;

    // Where each value of one entity lives: per column the attribute or to-one relationship
    // index of the entity (-1: none), and per attribute its column.
    struct EntityColumns {
        std::vector<int> attributeOfColumn;
        std::vector<int> relationshipOfColumn;
        std::vector<int> columnOfAttribute;
    };

    explicit TableLayout(const EntityDescription& root);

    const EntityDescription& root() const { return *root_; }
    const std::string& table() const { return root_->name(); }
    const std::vector<Column>& columns() const { return columns_; }
    int column(std::string_view name) const;
    // Comma-separated, quoted, for SELECT and INSERT.
    std::string columnList(std::string_view prefix = {}) const;
    const EntityColumns& columnsOf(const EntityDescription& entity) const;
    const std::string& insertSql() const { return insertSql_; }
    const std::string& updateSql() const { return updateSql_; }

  private:
    const EntityDescription* root_;
    std::vector<Column> columns_;
    std::map<const EntityDescription*, EntityColumns> entityColumns_;
    std::string insertSql_;
    std::string updateSql_;
};

// A store written by a newer version of the program, which this one must not change.
class NewerStoreError : public sqlite::Error {
  public:
    using sqlite::Error::Error;
};

// Creates the tables of a model in a database, or brings an older database forward: missing
// tables, columns and indexes are added (copied join columns filled from their owners), indexes
// no longer asked for are dropped and the version is raised. Main thread (the store's).
class StoreSchema {
  public:
    explicit StoreSchema(const ManagedObjectModel& model);

    const ManagedObjectModel& model() const { return model_; }
    const TableLayout& layout(const EntityDescription& entity) const;
    const std::vector<TableLayout>& layouts() const { return layouts_; }

    // Throws sqlite::Error when the database is not a store or was written by a newer schema.
    void prepare(sqlite::Database& database) const;

  private:
    // Answers the names of the columns it added.
    std::vector<std::string> addMissingColumns(
        sqlite::Database& database, const std::string& table,
        const std::vector<TableLayout::Column>& columns) const;
    // Copies into the join rows, from their owners, the values of the copied columns an older
    // store did not have.
    void fillCopies(sqlite::Database& database, const JoinTableDescription& join,
                    const std::vector<std::string>& added) const;

    const ManagedObjectModel& model_;
    std::vector<TableLayout> layouts_;
};

}  // namespace corvaline
