#include "core/model/store/ManagedObject.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "core/model/store/ObjectContext.h"

namespace corvaline {

ManagedObject::ManagedObject(const EntityDescription& entity)
    : entity_(&entity),
      values_(entity.attributes().size()),
      related_(entity.relationships().size()) {}

ManagedObject::~ManagedObject() = default;

const AttributeDescription& ManagedObject::attribute(std::string_view key, int& index) const {
    index = entity_->attributeIndex(key);
    if (index < 0) {
        throw std::logic_error(entity_->name() + " has no attribute " + std::string(key));
    }
    return entity_->attributes()[static_cast<std::size_t>(index)];
}

const RelationshipDescription& ManagedObject::relationship(std::string_view key, int& index) const {
    index = entity_->relationshipIndex(key);
    if (index < 0) {
        throw std::logic_error(entity_->name() + " has no relationship " + std::string(key));
    }
    return entity_->relationships()[static_cast<std::size_t>(index)];
}

const Value& ManagedObject::value(std::string_view key) const {
    int index = 0;
    attribute(key, index);
    return values_[static_cast<std::size_t>(index)];
}

void ManagedObject::setValue(std::string_view key, Value value) {
    store(key, std::move(value), true);
}

void ManagedObject::setPrimitiveValue(std::string_view key, Value value) {
    store(key, std::move(value), false);
}

void ManagedObject::store(std::string_view key, Value value, bool notify) {
    int index = 0;
    const auto& description = attribute(key, index);
    if (!fitsType(value, description.type)) {
        throw std::logic_error("wrong value type for " + entity_->name() + "." + description.name);
    }
    auto& slot = values_[static_cast<std::size_t>(index)];
    const bool changed = slot != value;
    if (changed) {
        const Value before = std::exchange(slot, std::move(value));
        markChanged();
        if (description.indexed && context_ && !isDeleted()) {
            context_->indexedTextChanged(*this, description, before);
        }
    }
    if (notify) {
        if (changed) {
            valueDidChange(key);
        }
        didChangeValue(key);
    }
}

ManagedObject* ManagedObject::toOne(std::string_view key) const {
    int index = 0;
    const auto& description = relationship(key, index);
    if (description.toMany) {
        throw std::logic_error(entity_->name() + "." + description.name + " is to-many");
    }
    return related_[static_cast<std::size_t>(index)].one;
}

void ManagedObject::setToOne(std::string_view key, ManagedObject* target) {
    int index = 0;
    const auto& description = relationship(key, index);
    if (description.toMany) {
        throw std::logic_error(entity_->name() + "." + description.name + " is to-many");
    }
    setOwnedToOne(index, target);
}

const std::vector<ManagedObject*>& ManagedObject::toMany(std::string_view key) const {
    int index = 0;
    const auto& description = relationship(key, index);
    if (!description.toMany) {
        throw std::logic_error(entity_->name() + "." + description.name + " is to-one");
    }
    if (!description.materialised) {
        throw std::logic_error(entity_->name() + "." + description.name +
                               " is reached by queries only");
    }
    return related_[static_cast<std::size_t>(index)].many;
}

void ManagedObject::addToMany(std::string_view key, ManagedObject* target) {
    int index = 0;
    const auto& description = relationship(key, index);
    if (!target) {
        return;
    }
    switch (description.storage) {
        case RelationshipStorage::JoinTable:
            addOwnedToMany(index, target);
            break;
        case RelationshipStorage::InverseOfForeignKey:
            target->setToOne(description.inverseName, this);
            break;
        case RelationshipStorage::InverseOfJoinTable:
            target->addToMany(description.inverseName, this);
            break;
        case RelationshipStorage::ForeignKey:
            throw std::logic_error(entity_->name() + "." + description.name + " is to-one");
    }
}

void ManagedObject::removeFromMany(std::string_view key, ManagedObject* target) {
    int index = 0;
    const auto& description = relationship(key, index);
    if (!target) {
        return;
    }
    switch (description.storage) {
        case RelationshipStorage::JoinTable:
            removeOwnedToMany(index, target);
            break;
        case RelationshipStorage::InverseOfForeignKey:
            if (target->toOne(description.inverseName) == this) {
                target->setToOne(description.inverseName, nullptr);
            }
            break;
        case RelationshipStorage::InverseOfJoinTable:
            target->removeFromMany(description.inverseName, this);
            break;
        case RelationshipStorage::ForeignKey:
            throw std::logic_error(entity_->name() + "." + description.name + " is to-one");
    }
}

void ManagedObject::setOwnedToOne(int index, ManagedObject* target) {
    const auto& description = entity_->relationships()[static_cast<std::size_t>(index)];
    if (target && !target->entity().isKindOf(*description.destination)) {
        throw std::logic_error(entity_->name() + "." + description.name + " cannot hold " +
                               target->entity().name());
    }
    auto& slot = related_[static_cast<std::size_t>(index)].one;
    if (slot == target) {
        return;
    }
    if (slot) {
        linkInverse(description, slot, false);
    }
    slot = target;
    if (target) {
        linkInverse(description, target, true);
    }
    markChanged();
    valueDidChange(description.name);
    didChangeValue(description.name);
}

void ManagedObject::addOwnedToMany(int index, ManagedObject* target) {
    const auto& description = entity_->relationships()[static_cast<std::size_t>(index)];
    if (!target->entity().isKindOf(*description.destination)) {
        throw std::logic_error(entity_->name() + "." + description.name + " cannot hold " +
                               target->entity().name());
    }
    auto& many = related_[static_cast<std::size_t>(index)].many;
    if (std::find(many.begin(), many.end(), target) != many.end()) {
        return;
    }
    many.push_back(target);
    linkInverse(description, target, true);
    markChanged();
    valueDidChange(description.name);
    didChangeValue(description.name);
}

void ManagedObject::removeOwnedToMany(int index, ManagedObject* target) {
    const auto& description = entity_->relationships()[static_cast<std::size_t>(index)];
    auto& many = related_[static_cast<std::size_t>(index)].many;
    auto found = std::find(many.begin(), many.end(), target);
    if (found == many.end()) {
        return;
    }
    many.erase(found);
    linkInverse(description, target, false);
    markChanged();
    valueDidChange(description.name);
    didChangeValue(description.name);
}

void ManagedObject::linkInverse(const RelationshipDescription& owned, ManagedObject* target,
                                bool add) {
    const int inverse = target->entity().relationshipIndex(owned.inverseName);
    const auto& description = target->entity().relationships()[static_cast<std::size_t>(inverse)];
    if (!description.materialised) {
        return;
    }
    auto& many = target->related_[static_cast<std::size_t>(inverse)].many;
    auto found = std::find(many.begin(), many.end(), this);
    if (add && found == many.end()) {
        many.push_back(this);
    } else if (!add && found != many.end()) {
        many.erase(found);
    } else {
        return;
    }
    target->valueDidChange(description.name);
    target->didChangeValue(description.name);
}

void ManagedObject::markChanged() {
    if (context_ && state_ == State::Fetched) {
        state_ = State::Updated;
        context_->objectDidChange(*this);
    }
}

std::optional<std::string> ManagedObject::optionalText(std::string_view key) const {
    const auto& stored = value(key);
    if (const auto* text = std::get_if<std::string>(&stored)) {
        return *text;
    }
    return std::nullopt;
}

std::string ManagedObject::text(std::string_view key) const {
    return optionalText(key).value_or(std::string());
}

bool ManagedObject::flag(std::string_view key) const {
    const auto& stored = value(key);
    const auto* value = std::get_if<bool>(&stored);
    return value && *value;
}

std::optional<std::int64_t> ManagedObject::integer(std::string_view key) const {
    const auto& stored = value(key);
    if (const auto* number = std::get_if<std::int64_t>(&stored)) {
        return *number;
    }
    return std::nullopt;
}

std::optional<Date> ManagedObject::date(std::string_view key) const {
    const auto& stored = value(key);
    if (const auto* when = std::get_if<Date>(&stored)) {
        return *when;
    }
    return std::nullopt;
}

}  // namespace corvaline
