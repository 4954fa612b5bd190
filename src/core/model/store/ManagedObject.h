#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/store/ManagedObjectModel.h"
#include "core/model/store/Value.h"
#include "platform/kvo/Observable.h"

namespace corvaline {

class ObjectContext;

// A persistent object: attribute values and relationships of one entity, tracked by the
// context it was inserted into or loaded by. Setters with a change notice tell the key's
// observers (observe(key, callback)); every change is written at the context's next save.
// Main thread only.
class ManagedObject : public Observable, public std::enable_shared_from_this<ManagedObject> {
  public:
    explicit ManagedObject(const EntityDescription& entity);
    virtual ~ManagedObject();
    ManagedObject(const ManagedObject&) = delete;
    ManagedObject& operator=(const ManagedObject&) = delete;

    const EntityDescription& entity() const { return *entity_; }
    // Unique within the entity's hierarchy; assigned at insertion.
    std::int64_t objectId() const { return id_; }
    // None once the object was deleted and saved, or its context is gone.
    ObjectContext* context() const { return context_; }
    bool isInserted() const { return state_ == State::Inserted; }
    bool isUpdated() const { return state_ == State::Updated; }
    bool isDeleted() const { return state_ == State::Deleted; }

    // Attributes by name; an unknown name is a programming error (std::logic_error).
    const Value& value(std::string_view key) const;
    // Stores the value and tells the key's observers.
    void setValue(std::string_view key, Value value);
    // Stores the value without a change notice; it is saved all the same.
    void setPrimitiveValue(std::string_view key, Value value);

    // Relationships by name; the inverse side follows. A to-many side that is not kept in
    // memory (history) can be changed here but only read through the context's queries.
    ManagedObject* toOne(std::string_view key) const;
    void setToOne(std::string_view key, ManagedObject* target);
    const std::vector<ManagedObject*>& toMany(std::string_view key) const;
    void addToMany(std::string_view key, ManagedObject* target);
    void removeFromMany(std::string_view key, ManagedObject* target);

    // The store's hooks: after the object is first inserted, and after it is loaded.
    virtual void awakeFromInsert() {}
    virtual void awakeFromFetch() {}

  protected:
    std::optional<std::string> optionalText(std::string_view key) const;
    std::string text(std::string_view key) const;  // empty for no value
    bool flag(std::string_view key) const;         // false for no value
    std::optional<std::int64_t> integer(std::string_view key) const;
    std::optional<Date> date(std::string_view key) const;

    // Tells the key's observers; called after every change with a change notice.
    void didChangeValue(std::string_view key) const { didChange(key); }
    // For the entities' change events: an attribute with a change notice, or a relationship,
    // took a new value (called before the key's observers hear of it).
    virtual void valueDidChange(std::string_view /*key*/) {}
    // The object was deleted from its context; its relationships are empty by now.
    virtual void didDelete() {}

  private:
    friend class ObjectContext;
    friend class StoreReader;
    friend class StoreWriter;
    enum class State { Unregistered, Fetched, Inserted, Updated, Deleted };

    struct Related {
        ManagedObject* one = nullptr;
        std::vector<ManagedObject*> many;
    };

    const AttributeDescription& attribute(std::string_view key, int& index) const;
    const RelationshipDescription& relationship(std::string_view key, int& index) const;
    void store(std::string_view key, Value value, bool notify);
    void markChanged();
    // The derived side of a relationship pair; never marks the object changed.
    void linkInverse(const RelationshipDescription& owned, ManagedObject* target, bool add);
    void setOwnedToOne(int index, ManagedObject* target);
    void addOwnedToMany(int index, ManagedObject* target);
    void removeOwnedToMany(int index, ManagedObject* target);

    const EntityDescription* entity_;
    std::int64_t id_ = 0;
    ObjectContext* context_ = nullptr;
    State state_ = State::Unregistered;
    std::vector<Value> values_;
    std::vector<Related> related_;
};

}  // namespace corvaline
