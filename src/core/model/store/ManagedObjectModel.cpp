#include "core/model/store/ManagedObjectModel.h"

#include <algorithm>
#include <stdexcept>

namespace corvaline {

namespace {

template <class Member>
int indexOf(const std::vector<Member>& members, std::string_view name) {
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

bool EntityDescription::isKindOf(const EntityDescription& other) const {
    for (const EntityDescription* entity = this; entity; entity = entity->parent_) {
        if (entity == &other) {
            return true;
        }
    }
    return false;
}

int EntityDescription::attributeIndex(std::string_view name) const {
    const auto found = attributePositions_.find(name);
    return found == attributePositions_.end() ? -1 : found->second;
}

int EntityDescription::relationshipIndex(std::string_view name) const {
    return indexOf(relationships_, name);
}

EntityDescription& ManagedObjectModel::addEntity(std::string name, const EntityDescription* parent,
                                                 EntityDescription::Factory factory,
                                                 bool abstract) {
    auto entity = std::make_unique<EntityDescription>();
    entity->name_ = std::move(name);
    entity->parent_ = parent;
    entity->factory_ = std::move(factory);
    entity->abstract_ = abstract;
    entities_.push_back(std::move(entity));
    return *entities_.back();
}

void ManagedObjectModel::loadOnDemand(EntityDescription& root) {
    root.loadedWhole_ = false;
}

void ManagedObjectModel::addAttribute(EntityDescription& entity, std::string name,
                                      AttributeType type) {
    entity.ownAttributes_.push_back({std::move(name), type});
}

void ManagedObjectModel::indexInMemory(EntityDescription& entity, std::string_view name) {
    auto found = std::find_if(entity.ownAttributes_.begin(), entity.ownAttributes_.end(),
                              [&](const auto& attribute) { return attribute.name == name; });
    if (found == entity.ownAttributes_.end() || found->type != AttributeType::Text) {
        throw std::logic_error(entity.name() + " has no text attribute " + std::string(name));
    }
    found->indexed = true;
}

void ManagedObjectModel::addToOne(EntityDescription& entity, std::string name,
                                  EntityDescription& destination, std::string inverse) {
    RelationshipDescription one;
    one.name = name;
    one.destination = &destination;
    one.inverseName = inverse;
    one.storage = RelationshipStorage::ForeignKey;
    entity.ownRelationships_.push_back(one);

    RelationshipDescription many;
    many.name = std::move(inverse);
    many.destination = &entity;
    many.inverseName = std::move(name);
    many.toMany = true;
    many.storage = RelationshipStorage::InverseOfForeignKey;
    destination.ownRelationships_.push_back(std::move(many));
}

void ManagedObjectModel::addManyToMany(EntityDescription& owner, std::string name,
                                       EntityDescription& destination, std::string inverse,
                                       JoinTableDescription joinTable) {
    joinTables_.push_back(std::make_unique<JoinTableDescription>(std::move(joinTable)));
    const JoinTableDescription* table = joinTables_.back().get();

    RelationshipDescription owned;
    owned.name = name;
    owned.destination = &destination;
    owned.inverseName = inverse;
    owned.toMany = true;
    owned.storage = RelationshipStorage::JoinTable;
    owned.joinTable = table;
    owner.ownRelationships_.push_back(owned);

    RelationshipDescription derived;
    derived.name = std::move(inverse);
    derived.destination = &owner;
    derived.inverseName = std::move(name);
    derived.toMany = true;
    derived.storage = RelationshipStorage::InverseOfJoinTable;
    derived.joinTable = table;
    destination.ownRelationships_.push_back(std::move(derived));
}

void ManagedObjectModel::addIndex(std::string table, std::vector<std::string> columns,
                                  bool onlyWithFirstColumn) {
    indexes_.push_back({std::move(table), std::move(columns), onlyWithFirstColumn});
}

void ManagedObjectModel::finish() {
    // Parents are declared before their children, so one pass in order inherits everything.
    for (auto& entity : entities_) {
        entity->attributes_.clear();
        entity->relationships_.clear();
        if (entity->parent_) {
            entity->attributes_ = entity->parent_->attributes_;
            entity->relationships_ = entity->parent_->relationships_;
        }
        entity->attributes_.insert(entity->attributes_.end(), entity->ownAttributes_.begin(),
                                   entity->ownAttributes_.end());
        entity->relationships_.insert(entity->relationships_.end(),
                                      entity->ownRelationships_.begin(),
                                      entity->ownRelationships_.end());
        for (auto& relationship : entity->relationships_) {
            relationship.materialised = relationship.destination->isLoadedWhole();
        }
        entity->attributePositions_.clear();
        for (std::size_t i = 0; i < entity->attributes_.size(); ++i) {
            entity->attributePositions_.emplace(entity->attributes_[i].name, static_cast<int>(i));
        }
    }
    for (auto& entity : entities_) {
        entity->kinds_.clear();
        for (auto& other : entities_) {
            if (other->isKindOf(*entity)) {
                entity->kinds_.push_back(other.get());
            }
        }
    }
}

const EntityDescription* ManagedObjectModel::entity(std::string_view name) const {
    auto found = std::find_if(entities_.begin(), entities_.end(),
                              [&](const auto& entity) { return entity->name() == name; });
    return found == entities_.end() ? nullptr : found->get();
}

std::pair<const EntityDescription*, int> ManagedObjectModel::ownerOf(
    const JoinTableDescription& join) const {
    for (const auto* root : roots()) {
        for (const auto* entity : root->kinds()) {
            const auto& relationships = entity->relationships();
            for (std::size_t i = 0; i < relationships.size(); ++i) {
                if (relationships[i].joinTable == &join &&
                    relationships[i].storage == RelationshipStorage::JoinTable) {
                    return {entity, static_cast<int>(i)};
                }
            }
        }
    }
    return {nullptr, -1};
}

std::vector<const EntityDescription*> ManagedObjectModel::roots() const {
    std::vector<const EntityDescription*> roots;
    for (const auto& entity : entities_) {
        if (!entity->parent()) {
            roots.push_back(entity.get());
        }
    }
    return roots;
}

}  // namespace corvaline
