#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/model/store/Value.h"

namespace corvaline {

class ManagedObject;
class EntityDescription;

struct AttributeDescription {
    std::string name;
    AttributeType type;
    // The context finds the objects holding a given text without walking the hierarchy.
    bool indexed = false;
};

// Where a relationship lives. Every pair has one owning side that is written to the store;
// the other side is derived from it.
enum class RelationshipStorage {
    ForeignKey,           // to-one: a column of the owner's table
    JoinTable,            // to-many owned here: rows of a join table
    InverseOfForeignKey,  // to-many: the other side's column
    InverseOfJoinTable,   // to-many: the other side's join rows
};

struct JoinTableDescription {
    std::string name;
    std::string ownerColumn;
    std::string targetColumn;
    // Attributes of the owner copied into each row, so that queries through the join can sort
    // by them on an index.
    std::vector<std::string> copiedAttributes;
    // To-one relationships of the owner copied into each row as their target's id, so that
    // queries through the join can filter on them without reading the owner's rows.
    std::vector<std::string> copiedToOnes;
};

struct RelationshipDescription {
    std::string name;
    const EntityDescription* destination = nullptr;
    std::string inverseName;
    bool toMany = false;
    RelationshipStorage storage = RelationshipStorage::ForeignKey;
    // Kept in memory. Sides that point into a hierarchy that is never loaded whole are reached
    // by queries only.
    bool materialised = true;
    const JoinTableDescription* joinTable = nullptr;  // JoinTable and InverseOfJoinTable
};

// One entity of the model. A sub-entity has every attribute and relationship of its parent,
// in the same positions, followed by its own. Immutable once the model is finished (then any
// thread may read it).
class EntityDescription {
  public:
    using Factory = std::function<std::shared_ptr<ManagedObject>(const EntityDescription&)>;

    const std::string& name() const { return name_; }
    const EntityDescription* parent() const { return parent_; }
    // The top of the hierarchy: its table holds the rows of every entity below it.
    const EntityDescription& root() const { return parent_ ? parent_->root() : *this; }
    bool isAbstract() const { return abstract_; }
    // The entity itself or one of its sub-entities.
    bool isKindOf(const EntityDescription& other) const;
    // Rows of the hierarchy are loaded when the store opens (else fetched on demand).
    bool isLoadedWhole() const { return root().loadedWhole_; }

    const std::vector<AttributeDescription>& attributes() const { return attributes_; }
    const std::vector<RelationshipDescription>& relationships() const { return relationships_; }
    // -1 when there is none of that name.
    int attributeIndex(std::string_view name) const;
    int relationshipIndex(std::string_view name) const;

    // The entity and all entities below it, for fetches that include sub-entities.
    const std::vector<const EntityDescription*>& kinds() const { return kinds_; }

    std::shared_ptr<ManagedObject> instantiate() const { return factory_(*this); }

  private:
    friend class ManagedObjectModel;

    std::string name_;
    const EntityDescription* parent_ = nullptr;
    bool abstract_ = false;
    bool loadedWhole_ = true;
    Factory factory_;
    std::vector<AttributeDescription> ownAttributes_;
    std::vector<RelationshipDescription> ownRelationships_;
    std::vector<AttributeDescription> attributes_;
    std::vector<RelationshipDescription> relationships_;
    std::vector<const EntityDescription*> kinds_;
    // Positions in attributes_ by name: every read and write of a value looks one up.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };
    std::unordered_map<std::string, int, NameHash, std::equal_to<>> attributePositions_;
};

struct IndexDescription {
    std::string table;
    std::vector<std::string> columns;
    // Only rows whose first column holds a value: rows without one cost no index write.
    bool onlyWithFirstColumn = false;
};

// The entities of one store, their tables and indexes, and the schema version. Built once,
// then read-only: any thread may read a finished model.
class ManagedObjectModel {
  public:
    explicit ManagedObjectModel(int version) : version_(version) {}
    ManagedObjectModel(const ManagedObjectModel&) = delete;
    ManagedObjectModel& operator=(const ManagedObjectModel&) = delete;

    // Declaring (parents before children).
    EntityDescription& addEntity(std::string name, const EntityDescription* parent,
                                 EntityDescription::Factory factory, bool abstract = false);
    // Only for a hierarchy's top: its rows are fetched on demand instead of loaded at open.
    void loadOnDemand(EntityDescription& root);
    void addAttribute(EntityDescription& entity, std::string name, AttributeType type);
    // An attribute already declared on `entity`, of type text, in a hierarchy kept in memory:
    // the context keeps its objects by that text (ObjectContext::objectsWith).
    void indexInMemory(EntityDescription& entity, std::string_view name);
    // A to-one `name` on `many` side and a to-many `inverse` on `one`: a column on `many`.
    void addToOne(EntityDescription& entity, std::string name, EntityDescription& destination,
                  std::string inverse);
    // A many-to-many pair written as rows of `joinTable`, owned by `owner`'s side.
    void addManyToMany(EntityDescription& owner, std::string name, EntityDescription& destination,
                       std::string inverse, JoinTableDescription joinTable);
    void addIndex(std::string table, std::vector<std::string> columns,
                  bool onlyWithFirstColumn = false);
    // Fills in inherited members; call once after the last declaration.
    void finish();

    int version() const { return version_; }
    const EntityDescription* entity(std::string_view name) const;
    // Hierarchy tops, in declaration order.
    std::vector<const EntityDescription*> roots() const;
    const std::vector<std::unique_ptr<JoinTableDescription>>& joinTables() const {
        return joinTables_;
    }
    const std::vector<IndexDescription>& indexes() const { return indexes_; }
    // The most general entity that owns a join table, and the index of its side ({nullptr, -1}
    // for a table of another model).
    std::pair<const EntityDescription*, int> ownerOf(const JoinTableDescription& join) const;

  private:
    int version_;
    std::vector<std::unique_ptr<EntityDescription>> entities_;
    std::vector<std::unique_ptr<JoinTableDescription>> joinTables_;
    std::vector<IndexDescription> indexes_;
};

}  // namespace corvaline
