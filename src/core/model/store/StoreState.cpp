#include "core/model/store/StoreState.h"

#include <functional>

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

std::size_t IndexedTextHash::operator()(const IndexedText& key) const {
    const std::size_t text = std::hash<std::string>{}(key.text);
    const std::size_t attribute = std::hash<std::string>{}(key.attribute);
    const std::size_t root = std::hash<const EntityDescription*>{}(key.root);
    return text ^ (attribute * 31) ^ (root * 131);
}

void StoreState::indexTexts(const ManagedObject& object, bool add) {
    for (const auto& attribute : object.entity().attributes()) {
        if (attribute.indexed) {
            indexText(object, attribute, object.value(attribute.name), add);
        }
    }
}

void StoreState::indexText(const ManagedObject& object, const AttributeDescription& attribute,
                           const Value& value, bool add) {
    const auto* text = std::get_if<std::string>(&value);
    if (!text || !object.entity().isLoadedWhole()) {
        return;
    }
    IndexedText key{&object.entity().root(), attribute.name, *text};
    if (add) {
        texts[std::move(key)].insert(object.objectId());
        return;
    }
    auto found = texts.find(key);
    if (found != texts.end()) {
        found->second.erase(object.objectId());
        if (found->second.empty()) {
            texts.erase(found);
        }
    }
}

}  // namespace corvaline
