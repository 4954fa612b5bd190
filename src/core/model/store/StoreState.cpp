#include "core/model/store/StoreState.h"

namespace corvaline {

bool sameSide(const RelationshipDescription& a, const EntityDescription& aRoot,
              const RelationshipDescription& b, const EntityDescription& bRoot) {
    if (a.joinTable || b.joinTable) {
        return a.joinTable == b.joinTable;
    }
    return &aRoot == &bRoot && a.name == b.name;
}

sqlite::Statement& StoreState::statement(const std::string& sql) {
    auto found = statements.find(sql);
    if (found == statements.end()) {
        found = statements.emplace(sql, db.prepare(sql)).first;
    }
    return found->second.reset();
}

std::optional<std::int64_t> StoreState::effectiveTarget(const RelationshipDescription& owned,
                                                        const EntityDescription& ownerRoot,
                                                        std::int64_t id) const {
    std::optional<std::int64_t> target = id;
    for (const auto& change : bulk) {
        if (target && *target == change.from &&
            sameSide(*change.owned, *change.ownerRoot, owned, ownerRoot)) {
            target = change.to;
        }
    }
    return target;
}

ManagedObject* StoreState::wholeObject(const EntityDescription& entity, std::int64_t id) const {
    auto found = whole.find({&entity.root(), id});
    if (found == whole.end() || found->second->isDeleted() ||
        !found->second->entity().isKindOf(entity)) {
        return nullptr;
    }
    return found->second.get();
}

std::vector<std::shared_ptr<ManagedObject>> StoreState::pending(
    const EntityDescription& root) const {
    std::vector<std::shared_ptr<ManagedObject>> result;
    for (const auto* set : {&inserted, &updated}) {
        for (auto it = set->lower_bound({&root, INT64_MIN});
             it != set->end() && it->first.root == &root; ++it) {
            result.push_back(it->second);
        }
    }
    return result;
}

std::vector<std::shared_ptr<ManagedObject>> StoreState::alive(const EntityDescription& root) {
    std::vector<std::shared_ptr<ManagedObject>> result;
    for (auto it = loaded.lower_bound({&root, INT64_MIN});
         it != loaded.end() && it->first.root == &root; ++it) {
        if (auto object = it->second.lock()) {
            result.push_back(std::move(object));
        }
    }
    return result;
}

}  // namespace corvaline
