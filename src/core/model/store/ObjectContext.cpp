#include "core/model/store/ObjectContext.h"

#include <algorithm>
#include <stdexcept>

#include "core/model/services/CoreServices.h"
#include "core/model/store/StoreState.h"

namespace corvaline {

std::unique_ptr<ObjectContext> ObjectContext::open(const std::filesystem::path& file,
                                                   const ManagedObjectModel& model) {
    assertOnMainQueue();
    auto state = std::make_unique<StoreState>(file, model);
    state->db.execute("PRAGMA journal_mode = WAL");
    state->db.execute("PRAGMA synchronous = FULL");
    state->checkpointer.attach(state->db);
    // Room for the index pages of a long history (the default holds about 2 MiB), so that
    // counting one user's entries does not read them from the file again each time.
    state->db.execute("PRAGMA cache_size = -16384");
    state->schema.prepare(state->db);
    for (const auto& layout : state->schema.layouts()) {
        state->nextId[&layout.root()] = state->db.scalar("SELECT ifnull(max(id), 0) + 1 FROM " +
                                                         sqlite::quoted(layout.table()));
    }
    std::unique_ptr<ObjectContext> context(new ObjectContext(std::move(state)));
    StoreReader::loadWhole(*context->state_, *context);
    return context;
}

ObjectContext::ObjectContext(std::unique_ptr<StoreState> state) : state_(std::move(state)) {}

ObjectContext::~ObjectContext() {
    // Objects held elsewhere outlive the context: they must not reach back into it.
    for (auto& [key, object] : state_->whole) {
        object->context_ = nullptr;
    }
    for (auto& [key, weak] : state_->loaded) {
        if (auto object = weak.lock()) {
            object->context_ = nullptr;
        }
    }
}

const ManagedObjectModel& ObjectContext::model() const {
    return state_->schema.model();
}

const std::filesystem::path& ObjectContext::file() const {
    return state_->file;
}

std::shared_ptr<ManagedObject> ObjectContext::add(std::string_view name) {
    const EntityDescription* entity = model().entity(name);
    if (!entity || entity->isAbstract()) {
        throw std::logic_error("cannot insert an object of entity " + std::string(name));
    }
    auto object = entity->instantiate();
    object->id_ = state_->nextId[&entity->root()]++;
    object->context_ = this;
    object->state_ = ManagedObject::State::Inserted;
    const ObjectKey key = keyOf(*object);
    if (entity->isLoadedWhole()) {
        state_->whole[key] = object;
    } else {
        state_->loaded[key] = object;
    }
    state_->inserted[key] = object;
    return object;
}

std::shared_ptr<ManagedObject> ObjectContext::insertNewObject(std::string_view entity) {
    assertOnMainQueue();
    auto object = add(entity);
    object->awakeFromInsert();
    return object;
}

std::shared_ptr<ManagedObject> ObjectContext::importObject(std::string_view entity) {
    assertOnMainQueue();
    return add(entity);
}

void ObjectContext::objectDidChange(ManagedObject& object) {
    state_->updated[keyOf(object)] = object.shared_from_this();
}

void ObjectContext::indexedTextChanged(const ManagedObject& object,
                                       const AttributeDescription& attribute, const Value& before) {
    state_->indexText(object, attribute, before, false);
    state_->indexText(object, attribute, object.value(attribute.name), true);
}

void ObjectContext::unlinkUnloaded(ManagedObject& object, const RelationshipDescription& side,
                                   ManagedObject* replacement) {
    // `side` is the derived side on `object`; its members live in a hierarchy fetched on
    // demand. Members in memory change at once, stored rows at the next save.
    const EntityDescription& ownerRoot = side.destination->root();
    for (auto& member : state_->alive(ownerRoot)) {
        const int index = member->entity().relationshipIndex(side.inverseName);
        if (index < 0) {
            continue;
        }
        auto& related = member->related_[static_cast<std::size_t>(index)];
        if (side.storage == RelationshipStorage::InverseOfForeignKey) {
            if (related.one == &object) {
                related.one = replacement;
            }
        } else {
            auto found = std::find(related.many.begin(), related.many.end(), &object);
            if (found == related.many.end()) {
                continue;
            }
            if (replacement && std::find(related.many.begin(), related.many.end(), replacement) ==
                                   related.many.end()) {
                *found = replacement;
            } else {
                related.many.erase(found);
            }
        }
    }
    if (object.state_ == ManagedObject::State::Inserted) {
        return;  // no stored row refers to it yet
    }
    const int ownedIndex = side.destination->relationshipIndex(side.inverseName);
    BulkChange change{&ownerRoot,
                      &side.destination->relationships()[static_cast<std::size_t>(ownedIndex)],
                      object.objectId(), std::nullopt};
    if (replacement) {
        change.to = replacement->objectId();
    }
    state_->bulk.push_back(change);
}

void ObjectContext::deleteObject(ManagedObject& object) {
    assertOnMainQueue();
    if (object.context_ != this || object.isDeleted()) {
        return;
    }
    auto keep = object.shared_from_this();
    const auto& relationships = object.entity().relationships();
    for (std::size_t i = 0; i < relationships.size(); ++i) {
        const auto& side = relationships[i];
        auto& related = object.related_[i];
        switch (side.storage) {
            case RelationshipStorage::ForeignKey:
                if (related.one) {
                    object.linkInverse(side, related.one, false);
                    related.one = nullptr;
                }
                break;
            case RelationshipStorage::JoinTable:
                for (auto* target : std::vector(related.many)) {
                    object.linkInverse(side, target, false);
                }
                related.many.clear();
                break;
            case RelationshipStorage::InverseOfForeignKey:
            case RelationshipStorage::InverseOfJoinTable:
                if (side.materialised) {
                    for (auto* member : std::vector(related.many)) {
                        object.removeFromMany(side.name, member);
                    }
                } else {
                    unlinkUnloaded(object, side, nullptr);
                }
                break;
        }
    }
    state_->indexTexts(object, false);
    const ObjectKey key = keyOf(object);
    state_->updated.erase(key);
    if (object.state_ == ManagedObject::State::Inserted) {
        state_->inserted.erase(key);
        state_->whole.erase(key);
        state_->loaded.erase(key);
        object.context_ = nullptr;
    } else {
        state_->deleted[key] = keep;
    }
    object.state_ = ManagedObject::State::Deleted;
    object.didDelete();
}

void ObjectContext::moveRelated(ManagedObject& from, std::string_view key, ManagedObject& to) {
    assertOnMainQueue();
    const int index = from.entity().relationshipIndex(key);
    if (index < 0 || to.entity().relationshipIndex(key) != index) {
        throw std::logic_error("cannot move " + std::string(key) + " between these objects");
    }
    const auto& side = from.entity().relationships()[static_cast<std::size_t>(index)];
    if (!side.toMany) {
        throw std::logic_error(std::string(key) + " is to-one");
    }
    if (side.materialised) {
        for (auto* member : std::vector(from.related_[static_cast<std::size_t>(index)].many)) {
            from.removeFromMany(key, member);
            to.addToMany(key, member);
        }
        return;
    }
    if (side.storage == RelationshipStorage::JoinTable) {
        throw std::logic_error(std::string(key) + " is an owning side");
    }
    unlinkUnloaded(from, side, &to);
}

void ObjectContext::forEachObject(
    std::string_view name,
    const std::function<void(const std::shared_ptr<ManagedObject>&)>& visit) const {
    assertOnMainQueue();
    const EntityDescription* entity = model().entity(name);
    if (!entity || !entity->isLoadedWhole()) {
        throw std::logic_error(std::string(name) + " is not an entity kept in memory");
    }
    const EntityDescription* root = &entity->root();
    for (auto it = state_->whole.lower_bound({root, INT64_MIN});
         it != state_->whole.end() && it->first.root == root; ++it) {
        if (!it->second->isDeleted() && it->second->entity().isKindOf(*entity)) {
            visit(it->second);
        }
    }
}

std::vector<std::shared_ptr<ManagedObject>> ObjectContext::objects(std::string_view name) const {
    std::vector<std::shared_ptr<ManagedObject>> result;
    forEachObject(name,
                  [&](const std::shared_ptr<ManagedObject>& object) { result.push_back(object); });
    return result;
}

std::size_t ObjectContext::countObjects(
    std::string_view name, const std::function<bool(const ManagedObject&)>& predicate) const {
    std::size_t count = 0;
    forEachObject(name, [&](const std::shared_ptr<ManagedObject>& object) {
        count += predicate(*object) ? 1 : 0;
    });
    return count;
}

std::vector<std::shared_ptr<ManagedObject>> ObjectContext::objectsWith(
    std::string_view name, std::string_view attribute, std::string_view text) const {
    assertOnMainQueue();
    const EntityDescription* entity = model().entity(name);
    const int index = entity ? entity->attributeIndex(attribute) : -1;
    if (index < 0 || !entity->isLoadedWhole() ||
        !entity->attributes()[static_cast<std::size_t>(index)].indexed) {
        throw std::logic_error(std::string(name) + "." + std::string(attribute) +
                               " is not an indexed attribute kept in memory");
    }
    const EntityDescription* root = &entity->root();
    std::vector<std::shared_ptr<ManagedObject>> result;
    auto found = state_->texts.find({root, std::string(attribute), std::string(text)});
    if (found == state_->texts.end()) {
        return result;
    }
    for (const std::int64_t id : found->second) {
        if (auto* object = state_->wholeObject(*entity, id)) {
            result.push_back(object->shared_from_this());
        }
    }
    return result;
}

std::vector<std::shared_ptr<ManagedObject>> ObjectContext::execute(const FetchRequest& request) {
    assertOnMainQueue();
    return StoreQuery::execute(*state_, *this, request);
}

std::size_t ObjectContext::count(const FetchRequest& request) {
    assertOnMainQueue();
    return StoreQuery::count(*state_, request);
}

bool ObjectContext::hasChanges() const {
    assertOnMainQueue();
    return !state_->inserted.empty() || !state_->updated.empty() || !state_->deleted.empty() ||
           !state_->bulk.empty();
}

void ObjectContext::save() {
    assertOnMainQueue();
    if (!hasChanges()) {
        return;
    }
    {
        sqlite::Transaction transaction(state_->db);
        StoreWriter::write(*state_);
        transaction.commit();
    }
    for (auto* pending : {&state_->inserted, &state_->updated}) {
        for (auto& [key, object] : *pending) {
            object->state_ = ManagedObject::State::Fetched;
        }
        pending->clear();
    }
    for (auto& [key, object] : state_->deleted) {
        state_->whole.erase(key);
        state_->loaded.erase(key);
        object->context_ = nullptr;
    }
    state_->deleted.clear();
    state_->bulk.clear();
    std::erase_if(state_->loaded, [](const auto& entry) { return entry.second.expired(); });
}

}  // namespace corvaline
