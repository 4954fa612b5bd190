#include <algorithm>
#include <optional>
#include <set>
#include <stdexcept>

#include "core/model/store/JoinCounts.h"
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

    // The statement of the rows, with the request's values bound.
    sqlite::Statement& select(StoreState& state) {
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
        return bound(statement(state, sql));
    }

    sqlite::Statement& count(StoreState& state) {
        if (driving_ && countable_ && !readsEntity_ && JoinCounts::kept(*driving_)) {
            std::string sql = "SELECT ifnull(sum(c.n), 0) FROM " +
                              sqlite::quoted(JoinCounts::table(*driving_)) + " c";
            for (std::size_t i = 0; i < counted_.size(); ++i) {
                sql += (i == 0 ? " WHERE " : " AND ") + counted_[i];
            }
            return statement(state, sql);
        }
        return bound(
            statement(state, "SELECT COUNT(*)" + (readsEntity_ ? from_ : joinOnly_) + where()));
    }

  private:
    // The condition whose join rows are walked in sort order: a single stored target, and the
    // join copies the sort key.
    const FetchCondition* drivingCondition() const {
        const EntityDescription& root = entity_->root();
        for (const auto& condition : request_.conditions) {
            const int index = entity_->relationshipIndex(condition.key);
            if (index < 0 || condition.kind != FetchCondition::Kind::Contains ||
                !condition.object) {
                continue;
            }
            const auto& side = entity_->relationships()[static_cast<std::size_t>(index)];
            if (side.storage != RelationshipStorage::JoinTable) {
                continue;
            }
            const auto& copied = side.joinTable->copiedAttributes;
            const bool copiesSort =
                request_.sortKey.empty() ||
                std::find(copied.begin(), copied.end(), request_.sortKey) != copied.end();
            if (copiesSort && storedTargets(state_, side, root, condition.object).size() == 1) {
                return &condition;
            }
        }
        return nullptr;
    }

    // Where the condition on `key` is read: the driving join's copy when it has one.
    std::string columnOf(const std::string& key) {
        if (driving_) {
            for (const auto* copied : {&driving_->copiedToOnes, &driving_->copiedAttributes}) {
                if (std::find(copied->begin(), copied->end(), key) != copied->end()) {
                    return "j." + sqlite::quoted(key);
                }
            }
        }
        readsEntity_ = true;
        return "e." + sqlite::quoted(key);
    }

    void build() {
        const EntityDescription& root = entity_->root();
        from_ = " FROM " + sqlite::quoted(layout_->table()) + " e";
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
            readsEntity_ = true;
        }
        const FetchCondition* driving = drivingCondition();
        if (driving) {
            // Walk the join's index in sort order: the newest entries of one target are found
            // (and counted) without touching the rest of the history.
            const auto& side = entity_->relationships()[static_cast<std::size_t>(
                entity_->relationshipIndex(driving->key))];
            driving_ = side.joinTable;
            const std::string owner = sqlite::quoted(driving_->ownerColumn);
            joinOnly_ = " FROM " + sqlite::quoted(driving_->name) + " j";
            from_ = joinOnly_ + " CROSS JOIN " + sqlite::quoted(layout_->table()) +
                    " e ON e.id = j." + owner;
            const std::string target = sqlite::quoted(driving_->targetColumn) + " = " +
                                       ids(storedTargets(state_, side, root, driving->object));
            conditions_.push_back("j." + target);
            counted_.push_back("c." + target);
            if (!request_.sortKey.empty()) {
                sortColumn_ = "j." + sqlite::quoted(request_.sortKey);
            }
            idColumn_ = "j." + owner;
        } else {
            readsEntity_ = true;
        }
        for (const auto& condition : request_.conditions) {
            if (&condition == driving) {
                continue;
            }
            if (const int attribute = entity_->attributeIndex(condition.key); attribute >= 0) {
                if (condition.kind == FetchCondition::Kind::Contains) {
                    throw std::logic_error(condition.key + " is not a to-many relationship");
                }
                const std::string column = columnOf(condition.key);
                countable_ = false;
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
                const std::string column = columnOf(condition.key);
                const ManagedObject* target =
                    condition.kind == FetchCondition::Kind::IsNull ? nullptr : condition.object;
                const std::string list = ids(storedTargets(state_, side, root, target));
                const auto test = [&](const std::string& read, const std::string& none) {
                    if (target) {
                        return list.empty() ? std::string("0") : read + " IN (" + list + ")";
                    }
                    // Rows whose target was deleted since the last save count as none.
                    return list.empty() ? none : "(" + none + " OR " + read + " IN (" + list + "))";
                };
                conditions_.push_back(test(column, column + " IS NULL"));
                if (column.starts_with("j.")) {
                    const std::string counted = "c." + sqlite::quoted(condition.key);
                    counted_.push_back(test(counted, counted + " = 0"));
                } else {
                    countable_ = false;
                }
                continue;
            }
            if (side.storage != RelationshipStorage::JoinTable ||
                condition.kind != FetchCondition::Kind::Contains || !condition.object) {
                throw std::logic_error("unsupported condition on " + condition.key);
            }
            const auto& join = *side.joinTable;
            const auto targets = storedTargets(state_, side, root, condition.object);
            readsEntity_ = true;
            countable_ = false;
            conditions_.push_back(targets.empty()
                                      ? std::string("0")
                                      : "EXISTS (SELECT 1 FROM " + sqlite::quoted(join.name) +
                                            " x WHERE x." + sqlite::quoted(join.ownerColumn) +
                                            " = e.id AND x." + sqlite::quoted(join.targetColumn) +
                                            " IN (" + ids(targets) + "))");
        }
        if (request_.after) {
            if (request_.sortKey.empty()) {
                throw std::logic_error("a page of " + entity_->name() + " needs a sort order");
            }
            // One row-value comparison, which SQLite turns into a range of the index: spelt
            // out with OR, each page walked the index from its start, past every earlier page.
            const std::string beyond = request_.ascending ? " > " : " < ";
            conditions_.push_back("(" + sortColumn_ + ", " + idColumn_ + ")" + beyond + "(?, ?)");
            const auto& [sortValue, objectId] = *request_.after;
            params_.insert(params_.end(), {sortValue, Value(objectId)});
        }
        std::set<std::int64_t> pendingIds;
        for (const auto* set : {&state_.updated, &state_.deleted}) {
            for (auto it = set->lower_bound({&root, INT64_MIN});
                 it != set->end() && it->first.root == &root; ++it) {
                pendingIds.insert(it->first.id);
            }
        }
        if (!pendingIds.empty()) {
            countable_ = false;  // the counts know nothing of single rows
            conditions_.push_back(idColumn_ + " NOT IN (" + ids(pendingIds) + ")");
        }
    }

    // A text without ids of the moment is prepared once and kept by the store (every arrival
    // looks its message id up); one with them is prepared for this query alone, so that the
    // kept ones stay few. A kept one still being read (a query made while the rows of the
    // same query are turned into objects) is not taken from under its reader.
    sqlite::Statement& statement(StoreState& state, const std::string& sql) {
        if (!namesIds_) {
            const auto kept = state.statements.find(sql);
            if (kept == state.statements.end() || !kept->second.busy()) {
                return state.statement(sql);
            }
        }
        return fresh_.emplace(state.db.prepare(sql));
    }

    std::string ids(const std::set<std::int64_t>& set) {
        namesIds_ = true;
        return idList(set);
    }

    std::string where() const {
        std::string text;
        for (const auto& condition : conditions_) {
            text += (text.empty() ? " WHERE " : " AND ") + condition;
        }
        return text;
    }

    sqlite::Statement& bound(sqlite::Statement& statement) const {
        for (std::size_t i = 0; i < params_.size(); ++i) {
            statement.bind(static_cast<int>(i + 1), params_[i]);
        }
        return statement;
    }

    const StoreState& state_;
    const FetchRequest& request_;
    const EntityDescription* entity_ = nullptr;
    const TableLayout* layout_ = nullptr;
    const JoinTableDescription* driving_ = nullptr;
    bool readsEntity_ = false;  // some condition reads the entity's own table
    // The join's counts answer the count: every condition is on the target or a copied to-one.
    bool countable_ = true;
    std::vector<std::string> counted_;
    std::string from_;
    std::string joinOnly_;
    std::string sortColumn_;
    std::string idColumn_;
    std::vector<std::string> conditions_;
    std::vector<Value> params_;
    bool namesIds_ = false;
    std::optional<sqlite::Statement> fresh_;
};

// Resets a statement once read: a kept one left on a row would hold its read transaction, and
// with it the log's checkpoints, until its next use.
class ResetAfterReading {
  public:
    explicit ResetAfterReading(sqlite::Statement& statement) : statement_(statement) {}
    ~ResetAfterReading() { statement_.reset(); }
    ResetAfterReading(const ResetAfterReading&) = delete;
    ResetAfterReading& operator=(const ResetAfterReading&) = delete;

  private:
    sqlite::Statement& statement_;
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
    QueryBuilder query(state, request);
    std::vector<std::shared_ptr<ManagedObject>> result;
    // Taken before the rows are read: an object that changes itself as it is read in (a
    // transfer that was running when the program ended) becomes pending on the way, and is
    // already among the rows.
    auto pending = state.pending(query.entity().root());
    auto& rows = query.select(state);
    const ResetAfterReading done(rows);
    while (rows.step()) {
        if (auto object = StoreReader::materialise(state, context, query.layout(), rows)) {
            result.push_back(std::move(object));
        }
    }
    for (auto& object : pending) {
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
    QueryBuilder query(state, request);
    auto& rows = query.count(state);
    std::size_t total = 0;
    {
        const ResetAfterReading done(rows);
        total = rows.step() ? static_cast<std::size_t>(rows.integer(0)) : 0;
    }
    for (const auto& object : state.pending(query.entity().root())) {
        if (matches(*object, request, query.entity())) {
            ++total;
        }
    }
    return total;
}

}  // namespace corvaline
