#include <algorithm>

#include "core/model/store/ObjectContext.h"
#include "core/model/store/StoreState.h"

namespace corvaline {

namespace {

std::string selectAll(const TableLayout& layout) {
    return "SELECT " + layout.columnList() + " FROM " + sqlite::quoted(layout.table());
}

}  // namespace

std::shared_ptr<ManagedObject> StoreReader::make(StoreState& state, ObjectContext& context,
                                                 const TableLayout& layout,
                                                 const sqlite::Statement& row,
                                                 std::vector<std::int64_t>& foreignKeys) {
    const auto name = row.value(TableLayout::kEntityColumn, AttributeType::Text);
    const auto* text = std::get_if<std::string>(&name);
    const EntityDescription* entity = text ? state.schema.model().entity(*text) : nullptr;
    if (!entity || entity->isAbstract() || !entity->isKindOf(layout.root())) {
        return nullptr;  // a row this program does not know how to read
    }
    auto object = entity->instantiate();
    object->id_ = row.integer(TableLayout::kIdColumn);
    object->context_ = &context;
    object->state_ = ManagedObject::State::Fetched;
    const auto& attributes = entity->attributes();
    const auto& columnOfAttribute = layout.columnsOf(*entity).columnOfAttribute;
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        object->values_[i] = row.value(columnOfAttribute[i], attributes[i].type);
    }
    const auto& relationships = entity->relationships();
    foreignKeys.assign(relationships.size(), 0);
    for (std::size_t i = 0; i < relationships.size(); ++i) {
        if (relationships[i].storage == RelationshipStorage::ForeignKey) {
            const int column = layout.column(relationships[i].name);
            if (!row.isNull(column)) {
                foreignKeys[i] = row.integer(column);
            }
        }
    }
    return object;
}

void StoreReader::link(ManagedObject& object, int relationship, ManagedObject* target) {
    if (!target) {
        return;
    }
    const auto& description =
        object.entity().relationships()[static_cast<std::size_t>(relationship)];
    auto& related = object.related_[static_cast<std::size_t>(relationship)];
    if (description.toMany) {
        if (std::find(related.many.begin(), related.many.end(), target) != related.many.end()) {
            return;
        }
        related.many.push_back(target);
    } else {
        related.one = target;
    }
    object.linkInverse(description, target, true);
}

void StoreReader::loadWhole(StoreState& state, ObjectContext& context) {
    std::vector<std::pair<std::shared_ptr<ManagedObject>, std::vector<std::int64_t>>> loaded;
    for (const auto& layout : state.schema.layouts()) {
        if (!layout.root().isLoadedWhole()) {
            continue;
        }
        auto& select = state.statement(selectAll(layout) + " ORDER BY id");
        while (select.step()) {
            std::vector<std::int64_t> foreignKeys;
            if (auto object = make(state, context, layout, select, foreignKeys)) {
                state.whole[keyOf(*object)] = object;
                state.indexTexts(*object, true);
                loaded.emplace_back(std::move(object), std::move(foreignKeys));
            }
        }
    }
    for (auto& [object, foreignKeys] : loaded) {
        const auto& relationships = object->entity().relationships();
        for (std::size_t i = 0; i < relationships.size(); ++i) {
            if (foreignKeys[i] != 0) {
                link(*object, static_cast<int>(i),
                     state.wholeObject(*relationships[i].destination, foreignKeys[i]));
            }
        }
    }
    for (const auto& join : state.schema.model().joinTables()) {
        const auto [entity, index] = state.schema.model().ownerOf(*join);
        if (!entity || !entity->isLoadedWhole()) {
            continue;
        }
        const auto& side = entity->relationships()[static_cast<std::size_t>(index)];
        auto& rows = state.statement("SELECT " + sqlite::quoted(join->ownerColumn) + ", " +
                                     sqlite::quoted(join->targetColumn) + " FROM " +
                                     sqlite::quoted(join->name) + " ORDER BY " +
                                     sqlite::quoted(join->ownerColumn) + ", " +
                                     sqlite::quoted(join->targetColumn));
        while (rows.step()) {
            if (ManagedObject* owner = state.wholeObject(*entity, rows.integer(0))) {
                link(*owner, index, state.wholeObject(*side.destination, rows.integer(1)));
            }
        }
    }
    for (auto& [object, foreignKeys] : loaded) {
        if (!object->isDeleted()) {
            object->awakeFromFetch();
        }
    }
}

std::shared_ptr<ManagedObject> StoreReader::materialise(StoreState& state, ObjectContext& context,
                                                        const TableLayout& layout,
                                                        const sqlite::Statement& row) {
    const ObjectKey key{&layout.root(), row.integer(TableLayout::kIdColumn)};
    if (auto found = state.loaded.find(key); found != state.loaded.end()) {
        if (auto object = found->second.lock()) {
            return object;
        }
    }
    std::vector<std::int64_t> foreignKeys;
    auto object = make(state, context, layout, row, foreignKeys);
    if (!object) {
        return nullptr;
    }
    const EntityDescription& root = layout.root();
    const auto& relationships = object->entity().relationships();
    for (std::size_t i = 0; i < relationships.size(); ++i) {
        const auto& side = relationships[i];
        if (side.storage == RelationshipStorage::ForeignKey && foreignKeys[i] != 0) {
            if (auto target = state.effectiveTarget(side, root, foreignKeys[i])) {
                link(*object, static_cast<int>(i), state.wholeObject(*side.destination, *target));
            }
        } else if (side.storage == RelationshipStorage::JoinTable) {
            const auto& join = *side.joinTable;
            auto& rows = state.statement("SELECT " + sqlite::quoted(join.targetColumn) + " FROM " +
                                         sqlite::quoted(join.name) + " WHERE " +
                                         sqlite::quoted(join.ownerColumn) + " = ? ORDER BY " +
                                         sqlite::quoted(join.targetColumn));
            rows.bind(1, object->objectId());
            while (rows.step()) {
                if (auto target = state.effectiveTarget(side, root, rows.integer(0))) {
                    link(*object, static_cast<int>(i),
                         state.wholeObject(*side.destination, *target));
                }
            }
        }
    }
    state.loaded[key] = object;
    object->awakeFromFetch();
    return object;
}

}  // namespace corvaline
