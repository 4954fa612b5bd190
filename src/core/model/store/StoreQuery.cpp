#include <algorithm>
#include <set>
#include <stdexcept>

#include "core/model/store/ObjectContext.h"
#include "core/model/store/StoreState.h"

namespace corvaline {

namespace {

std::string idList(const std::set<std::int64_t>& ids) {
    std::string list;
    for (auto id : ids) {
        list += (list.empty() ? "" : ", ") + std::to_string(id);
    }
    return list;
}

// Stored target ids that, after the pending bulk changes, stand for `target` (or, without a
// target, for nothing).
std::set<std::int64_t> storedTargets(const StoreState& state, const RelationshipDescription& side,
                                     const EntityDescription& root, const ManagedObject* target) {
    std::set<std::int64_t> candidates;
    if (target) {
        candidates.insert(target->objectId());
    }
    for (const auto& change : state.bulk) {
        if (sameSide(*change.owned, *change.ownerRoot, side, root)) {
            candidates.insert(change.from);
        }
    }
    std::erase_if(candidates, [&](std::int64_t id) {
        const auto effective = state.effectiveTarget(side, root, id);
        return target ? effective != target->objectId() : effective.has_value();
    });
    return candidates;
}

class QueryBuilder {
  public:
    QueryBuilder(const StoreState& state, const FetchRequest& request)
        : state_(state), request_(request) {
        entity_ = state.schema.model().entity(request.entity);
        if (!entity_ || entity_->isLoadedWhole()) {
            throw std::logic_error(request.entity + " is not an entity fetched on demand");
        }
        layout_ = &state.schema.layout(*entity_);
        build();
    }

    const EntityDescription& entity() const { return *entity_; }
    const TableLayout& layout() const { return *layout_; }

    // Not kept in the statement cache: the texts carry the ids of the moment.
    sqlite::Statement select(sqlite::Database& database) const {
        std::string sql = "SELECT " + layout_->columnList("e.") + from_ + where();
        if (!request_.sortKey.empty()) {
            const std::string direction = request_.ascending ? " ASC" : " DESC";
            sql += " ORDER BY " + sortColumn_ + direction + ", " + idColumn_ + direction;
        } else {
            sql += " ORDER BY e.id";
        }
        if (request_.limit > 0) {
            sql += " LIMIT " + std::to_string(request_.limit);
        }
        return bound(database.prepare(sql));
    }

    sqlite::Statement count(sqlite::Database& database) const {
        return bound(database.prepare("SELECT COUNT(*)" + from_ + where()));
    }

  private:
    void build() {
        const EntityDescription& root = entity_->root();
        const std::string table = " FROM " + sqlite::quoted(layout_->table()) + " e";
        from_ = table;
        idColumn_ = "e.id";
        if (!request_.sortKey.empty()) {
            if (entity_->attributeIndex(request_.sortKey) < 0) {
                throw std::logic_error("cannot sort " + entity_->name() + " by " +
                                       request_.sortKey);
            }
            sortColumn_ = "e." + sqlite::quoted(request_.sortKey);
        }
        if (entity_->kinds().size() < root.kinds().size()) {
            std::string names;
            for (const auto* kind : entity_->kinds()) {
                names += names.empty() ? "?" : ", ?";
                params_.push_back(kind->name());
            }
            conditions_.push_back("e.entity IN (" + names + ")");
        }
        bool driven = false;
        for (const auto& condition : request_.conditions) {
            const std::string column = "e." + sqlite::quoted(condition.key);
            if (const int attribute = entity_->attributeIndex(condition.key); attribute >= 0) {
                if (condition.kind == FetchCondition::Kind::Contains) {
                    throw std::logic_error(condition.key + " is not a to-many relationship");
                }
                if (condition.kind == FetchCondition::Kind::IsNull ||
                    std::holds_alternative<std::monostate>(condition.value)) {
                    conditions_.push_back(column + " IS NULL");
                } else {
                    conditions_.push_back(column + " = ?");
                    params_.push_back(condition.value);
                }
                continue;
            }
            const int index = entity_->relationshipIndex(condition.key);
            if (index < 0) {
                throw std::logic_error(entity_->name() + " has no key " + condition.key);
            }
            const auto& side = entity_->relationships()[static_cast<std::size_t>(index)];
            if (side.storage == RelationshipStorage::ForeignKey) {
                const ManagedObject* target =
                    condition.kind == FetchCondition::Kind::IsNull ? nullptr : condition.object;
                const std::string list = idList(storedTargets(state_, side, root, target));
                if (target) {
                    conditions_.push_back(list.empty() ? "0" : column + " IN (" + list + ")");
                } else if (list.empty()) {
                    conditions_.push_back(column + " IS NULL");
                } else {
                    // Rows whose target was deleted since the last save count as none.
                    conditions_.push_back("(" + column + " IS NULL OR " + column + " IN (" + list +
                                          "))");
                }
                continue;
            }
            if (side.storage != RelationshipStorage::JoinTable ||
                condition.kind != FetchCondition::Kind::Contains || !condition.object) {
                throw std::logic_error("unsupported condition on " + condition.key);
            }
            const auto& join = *side.joinTable;
            const auto targets = storedTargets(state_, side, root, condition.object);
            const std::string owner = sqlite::quoted(join.ownerColumn);
            const std::string targetColumn = sqlite::quoted(join.targetColumn);
            const bool copiesSort =
                request_.sortKey.empty() ||
                std::find(join.copiedAttributes.begin(), join.copiedAttributes.end(),
                          request_.sortKey) != join.copiedAttributes.end();
            if (!driven && targets.size() == 1 && copiesSort) {
                // Walk the join's index in sort order: the newest entries of one user are
                // found without touching the rest of the history.
                driven = true;
                from_ = " FROM " + sqlite::quoted(join.name) + " j CROSS JOIN " +
                        sqlite::quoted(layout_->table()) + " e ON e.id = j." + owner;
                conditions_.push_back("j." + targetColumn + " = " + idList(targets));
                if (!request_.sortKey.empty()) {
                    sortColumn_ = "j." + sqlite::quoted(request_.sortKey);
                }
                idColumn_ = "j." + owner;
            } else {
                conditions_.push_back(targets.empty()
                                          ? std::string("0")
                                          : "EXISTS (SELECT 1 FROM " + sqlite::quoted(join.name) +
                                                " x WHERE x." + owner + " = e.id AND x." +
                                                targetColumn + " IN (" + idList(targets) + "))");
            }
        }
        if (request_.after) {
            if (request_.sortKey.empty()) {
                throw std::logic_error("a page of " + entity_->name() + " needs a sort order");
            }
            const std::string beyond = request_.ascending ? " > ?" : " < ?";
            conditions_.push_back("(" + sortColumn_ + beyond + " OR (" + sortColumn_ + " = ? AND " +
                                  idColumn_ + beyond + "))");
            const auto& [sortValue, objectId] = *request_.after;
            params_.insert(params_.end(), {sortValue, sortValue, Value(objectId)});
        }
        std::set<std::int64_t> pendingIds;
        for (const auto* set : {&state_.updated, &state_.deleted}) {
            for (auto it = set->lower_bound({&root, INT64_MIN});
                 it != set->end() && it->first.root == &root; ++it) {
                pendingIds.insert(it->first.id);
            }
        }
        if (!pendingIds.empty()) {
            conditions_.push_back("e.id NOT IN (" + idList(pendingIds) + ")");
        }
    }

    std::string where() const {
        std::string text;
        for (const auto& condition : conditions_) {
            text += (text.empty() ? " WHERE " : " AND ") + condition;
        }
        return text;
    }

    sqlite::Statement bound(sqlite::Statement statement) const {
        for (std::size_t i = 0; i < params_.size(); ++i) {
            statement.bind(static_cast<int>(i + 1), params_[i]);
        }
        return statement;
    }

    const StoreState& state_;
    const FetchRequest& request_;
    const EntityDescription* entity_ = nullptr;
    const TableLayout* layout_ = nullptr;
    std::string from_;
    std::string sortColumn_;
    std::string idColumn_;
    std::vector<std::string> conditions_;
    std::vector<Value> params_;
};

bool matches(const ManagedObject& object, const FetchRequest& request,
             const EntityDescription& entity) {
    if (object.isDeleted() || !object.entity().isKindOf(entity)) {
        return false;
    }
    if (const auto& after = request.after) {
        const Value& value = object.value(request.sortKey);
        const auto beyond = [&](const auto& a, const auto& b) {
            return request.ascending ? b < a : a < b;
        };
        if (!(beyond(value, after->sortValue) ||
              (value == after->sortValue && beyond(object.objectId(), after->objectId)))) {
            return false;
        }
    }
    for (const auto& condition : request.conditions) {
        if (entity.attributeIndex(condition.key) >= 0) {
            const Value& value = object.value(condition.key);
            const bool wantsNull = condition.kind == FetchCondition::Kind::IsNull ||
                                   std::holds_alternative<std::monostate>(condition.value);
            if (wantsNull ? !std::holds_alternative<std::monostate>(value)
                          : value != condition.value) {
                return false;
            }
        } else if (condition.kind == FetchCondition::Kind::Contains) {
            const auto& members = object.toMany(condition.key);
            if (std::find(members.begin(), members.end(), condition.object) == members.end()) {
                return false;
            }
        } else {
            const ManagedObject* target =
                condition.kind == FetchCondition::Kind::IsNull ? nullptr : condition.object;
            if (object.toOne(condition.key) != target) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::vector<std::shared_ptr<ManagedObject>> StoreQuery::execute(StoreState& state,
                                                                ObjectContext& context,
                                                                const FetchRequest& request) {
    const QueryBuilder query(state, request);
    std::vector<std::shared_ptr<ManagedObject>> result;
    auto rows = query.select(state.db);
    while (rows.step()) {
        if (auto object = StoreReader::materialise(state, context, query.layout(), rows)) {
            result.push_back(std::move(object));
        }
    }
    for (auto& object : state.pending(query.entity().root())) {
        if (matches(*object, request, query.entity())) {
            result.push_back(std::move(object));
        }
    }
    auto before = [&](const std::shared_ptr<ManagedObject>& a,
                      const std::shared_ptr<ManagedObject>& b) {
        if (!request.sortKey.empty()) {
            const Value& left = a->value(request.sortKey);
            const Value& right = b->value(request.sortKey);
            if (left != right) {
                return request.ascending ? left < right : right < left;
            }
            return request.ascending ? a->objectId() < b->objectId()
                                     : b->objectId() < a->objectId();
        }
        return a->objectId() < b->objectId();
    };
    std::stable_sort(result.begin(), result.end(), before);
    if (request.limit > 0 && result.size() > request.limit) {
        result.resize(request.limit);
    }
    return result;
}

std::size_t StoreQuery::count(StoreState& state, const FetchRequest& request) {
    const QueryBuilder query(state, request);
    auto rows = query.count(state.db);
    std::size_t total = rows.step() ? static_cast<std::size_t>(rows.integer(0)) : 0;
    for (const auto& object : state.pending(query.entity().root())) {
        if (matches(*object, request, query.entity())) {
            ++total;
        }
    }
    return total;
}

}  // namespace corvaline
