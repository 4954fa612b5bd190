#pragma once

#include <compare>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/model/store/Checkpointer.h"
#include "core/model/store/FetchRequest.h"
#include "core/model/store/ManagedObject.h"
#include "core/model/store/Schema.h"
#include "core/model/store/Sqlite.h"

namespace corvaline {

class ObjectContext;

// Identifies an object in a context: its hierarchy and id. A plain value: any thread.
struct ObjectKey {
    const EntityDescription* root;
    std::int64_t id;
    // Grouped by hierarchy (in the library's total order of pointers), then by id.
    std::strong_ordering operator<=>(const ObjectKey& other) const {
        if (auto order = std::compare_three_way{}(root, other.root); order != 0) {
            return order;
        }
        return id <=> other.id;
    }
    bool operator==(const ObjectKey&) const = default;
};

inline ObjectKey keyOf(const ManagedObject& object) {
    return {&object.entity().root(), object.objectId()};
}

// A change to stored rows that are not in memory: on the owning side `owned` of the rows of
// `ownerRoot`, the target `from` becomes `to`, or nothing. Main thread (the context's).
struct BulkChange {
    const EntityDescription* ownerRoot;
    const RelationshipDescription* owned;
    std::int64_t from;
    std::optional<std::int64_t> to;
};

// True when two descriptions are the same owning side (sub-entities hold copies).
bool sameSide(const RelationshipDescription& a, const EntityDescription& aRoot,
              const RelationshipDescription& b, const EntityDescription& bRoot);

// The text of an indexed attribute in one hierarchy kept in memory. A plain value: any thread.
struct IndexedText {
    const EntityDescription* root;
    std::string attribute;
    std::string text;
    bool operator==(const IndexedText&) const = default;
};

struct IndexedTextHash {
    std::size_t operator()(const IndexedText& key) const;
};

// Everything an object context keeps. Main thread only, like the context.
struct StoreState {
    StoreState(const std::filesystem::path& file, const ManagedObjectModel& model)
        : file(file), db(file), checkpointer(file), schema(model) {}

    sqlite::Statement& statement(const std::string& sql);
    // The target a stored row's `id` stands for once the pending bulk changes are applied.
    std::optional<std::int64_t> effectiveTarget(const RelationshipDescription& owned,
                                                const EntityDescription& ownerRoot,
                                                std::int64_t id) const;
    ManagedObject* wholeObject(const EntityDescription& entity, std::int64_t id) const;
    // Pending (inserted or changed) objects of a hierarchy fetched on demand.
    std::vector<std::shared_ptr<ManagedObject>> pending(const EntityDescription& root) const;
    // The loaded objects of a hierarchy fetched on demand that are still alive.
    std::vector<std::shared_ptr<ManagedObject>> alive(const EntityDescription& root);
    // Enters or leaves the texts of the object's indexed attributes; indexText does it for
    // one attribute holding `value` (its old value when it changes).
    void indexTexts(const ManagedObject& object, bool add);
    void indexText(const ManagedObject& object, const AttributeDescription& attribute,
                   const Value& value, bool add);

    std::filesystem::path file;
    sqlite::Database db;
    // Stops before the connection closes: the last checkpoint is the one closing makes,
    // which also removes the log.
    Checkpointer checkpointer;
    StoreSchema schema;
    std::map<const EntityDescription*, std::int64_t> nextId;
    std::map<ObjectKey, std::shared_ptr<ManagedObject>> whole;
    std::map<ObjectKey, std::weak_ptr<ManagedObject>> loaded;
    std::map<ObjectKey, std::shared_ptr<ManagedObject>> inserted;
    std::map<ObjectKey, std::shared_ptr<ManagedObject>> updated;
    std::map<ObjectKey, std::shared_ptr<ManagedObject>> deleted;
    std::vector<BulkChange> bulk;
    // Ids of the live objects (not deleted) holding each indexed text.
    std::unordered_map<IndexedText, std::set<std::int64_t>, IndexedTextHash> texts;
    std::map<std::string, sqlite::Statement, std::less<>> statements;
};

// Reads rows into objects. Main thread (the context's).
class StoreReader {
  public:
    static void loadWhole(StoreState& state, ObjectContext& context);
    // The object of the current row of a SELECT of the layout's columns; the one already in
    // memory when it is loaded.
    static std::shared_ptr<ManagedObject> materialise(StoreState& state, ObjectContext& context,
                                                      const TableLayout& layout,
                                                      const sqlite::Statement& row);

  private:
    static std::shared_ptr<ManagedObject> make(StoreState& state, ObjectContext& context,
                                               const TableLayout& layout,
                                               const sqlite::Statement& row,
                                               std::vector<std::int64_t>& foreignKeys);
    static void link(ManagedObject& object, int relationship, ManagedObject* target);
};

// Writes the pending changes (inside the caller's transaction). Main thread (the context's).
class StoreWriter {
  public:
    static void write(StoreState& state);

  private:
    static void writeRow(StoreState& state, const ManagedObject& object, bool insert);
    static void writeJoins(StoreState& state, const ManagedObject& object, bool replace);
    static void deleteRow(StoreState& state, const ManagedObject& object);
    static void applyBulk(StoreState& state, const BulkChange& change);
};

// Runs fetch requests against the rows and the pending changes. Main thread (the context's).
class StoreQuery {
  public:
    static std::vector<std::shared_ptr<ManagedObject>> execute(StoreState& state,
                                                               ObjectContext& context,
                                                               const FetchRequest& request);
    static std::size_t count(StoreState& state, const FetchRequest& request);
};

}  // namespace corvaline
