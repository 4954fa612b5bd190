#include <algorithm>

#include "core/model/store/StoreState.h"

namespace corvaline {

namespace {

std::string placeholders(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += i == 0 ? "?" : ", ?";
    }
    return text;
}

// Join tables whose rows copy the to-one `owned` of `ownerRoot`'s rows.
std::vector<const JoinTableDescription*> joinsCopying(const ManagedObjectModel& model,
                                                      const RelationshipDescription& owned,
                                                      const EntityDescription& ownerRoot) {
    std::vector<const JoinTableDescription*> joins;
    for (const auto& join : model.joinTables()) {
        const auto* owner = model.ownerOf(*join).first;
        if (owner && &owner->root() == &ownerRoot &&
            std::find(join->copiedToOnes.begin(), join->copiedToOnes.end(), owned.name) !=
                join->copiedToOnes.end()) {
            joins.push_back(join.get());
        }
    }
    return joins;
}

}  // namespace

void StoreWriter::writeRow(StoreState& state, const ManagedObject& object, bool insert) {
    const TableLayout& layout = state.schema.layout(object.entity());
    const auto& mapping = layout.columnsOf(object.entity());
    auto& statement = state.statement(insert ? layout.insertSql() : layout.updateSql());
    int parameter = 1;
    if (insert) {
        statement.bind(parameter++, object.objectId());
    }
    statement.bind(parameter++, Value{object.entity().name()});
    for (std::size_t i = 2; i < layout.columns().size(); ++i, ++parameter) {
        if (const int attribute = mapping.attributeOfColumn[i]; attribute >= 0) {
            statement.bind(parameter, object.values_[static_cast<std::size_t>(attribute)]);
        } else if (const int relationship = mapping.relationshipOfColumn[i];
                   relationship >= 0 &&
                   object.related_[static_cast<std::size_t>(relationship)].one) {
            statement.bind(parameter,
                           object.related_[static_cast<std::size_t>(relationship)].one->objectId());
        } else {
            statement.bindNull(parameter);
        }
    }
    if (!insert) {
        statement.bind(parameter, object.objectId());
    }
    statement.run();
}

void StoreWriter::writeJoins(StoreState& state, const ManagedObject& object, bool replace) {
    const auto& relationships = object.entity().relationships();
    for (std::size_t i = 0; i < relationships.size(); ++i) {
        if (relationships[i].storage != RelationshipStorage::JoinTable) {
            continue;
        }
        const auto& join = *relationships[i].joinTable;
        if (replace) {
            state
                .statement("DELETE FROM " + sqlite::quoted(join.name) + " WHERE " +
                           sqlite::quoted(join.ownerColumn) + " = ?")
                .bind(1, object.objectId())
                .run();
        }
        std::string columns =
            sqlite::quoted(join.ownerColumn) + ", " + sqlite::quoted(join.targetColumn);
        for (const auto& copied : join.copiedAttributes) {
            columns += ", " + sqlite::quoted(copied);
        }
        for (const auto& copied : join.copiedToOnes) {
            columns += ", " + sqlite::quoted(copied);
        }
        auto& insert = state.statement(
            "INSERT INTO " + sqlite::quoted(join.name) + " (" + columns + ") VALUES (" +
            placeholders(2 + join.copiedAttributes.size() + join.copiedToOnes.size()) + ")");
        for (const ManagedObject* target : object.related_[i].many) {
            insert.reset().bind(1, object.objectId()).bind(2, target->objectId());
            int parameter = 3;
            for (const auto& copied : join.copiedAttributes) {
                insert.bind(parameter++, object.value(copied));
            }
            for (const auto& copied : join.copiedToOnes) {
                if (const ManagedObject* one = object.toOne(copied)) {
                    insert.bind(parameter++, one->objectId());
                } else {
                    insert.bindNull(parameter++);
                }
            }
            insert.run();
        }
    }
}

void StoreWriter::deleteRow(StoreState& state, const ManagedObject& object) {
    const TableLayout& layout = state.schema.layout(object.entity());
    state.statement("DELETE FROM " + sqlite::quoted(layout.table()) + " WHERE id = ?")
        .bind(1, object.objectId())
        .run();
    for (const auto& relationship : object.entity().relationships()) {
        if (relationship.storage == RelationshipStorage::JoinTable) {
            const auto& join = *relationship.joinTable;
            state
                .statement("DELETE FROM " + sqlite::quoted(join.name) + " WHERE " +
                           sqlite::quoted(join.ownerColumn) + " = ?")
                .bind(1, object.objectId())
                .run();
        }
    }
}

void StoreWriter::applyBulk(StoreState& state, const BulkChange& change) {
    if (change.owned->storage == RelationshipStorage::JoinTable) {
        const auto& join = *change.owned->joinTable;
        const std::string table = sqlite::quoted(join.name);
        const std::string owner = sqlite::quoted(join.ownerColumn);
        const std::string target = sqlite::quoted(join.targetColumn);
        if (change.to) {
            // Members the new target holds already keep their one row.
            state
                .statement("UPDATE " + table + " SET " + target + " = ?1 WHERE " + target +
                           " = ?2 AND " + owner + " NOT IN (SELECT " + owner + " FROM " + table +
                           " WHERE " + target + " = ?1)")
                .bind(1, *change.to)
                .bind(2, change.from)
                .run();
        }
        state.statement("DELETE FROM " + table + " WHERE " + target + " = ?")
            .bind(1, change.from)
            .run();
        return;
    }
    const std::string column = sqlite::quoted(change.owned->name);
    std::vector<std::string> tables{change.ownerRoot->name()};
    for (const auto* join : joinsCopying(state.schema.model(), *change.owned, *change.ownerRoot)) {
        tables.push_back(join->name);
    }
    for (const auto& table : tables) {
        auto& update = state.statement("UPDATE " + sqlite::quoted(table) + " SET " + column +
                                       " = ? WHERE " + column + " = ?");
        if (change.to) {
            update.bind(1, *change.to);
        } else {
            update.bindNull(1);
        }
        update.bind(2, change.from).run();
    }
}

void StoreWriter::write(StoreState& state) {
    for (const auto& [key, object] : state.inserted) {
        writeRow(state, *object, true);
        writeJoins(state, *object, false);
    }
    for (const auto& [key, object] : state.updated) {
        writeRow(state, *object, false);
        writeJoins(state, *object, true);
    }
    for (const auto& change : state.bulk) {
        applyBulk(state, change);
    }
    for (const auto& [key, object] : state.deleted) {
        deleteRow(state, *object);
    }
}

}  // namespace corvaline
