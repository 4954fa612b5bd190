#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "core/model/store/FetchRequest.h"
#include "core/model/store/ManagedObject.h"
#include "core/model/store/ManagedObjectModel.h"

namespace corvaline {

struct StoreState;

// The one object context of a store file: it loads the hierarchies kept in memory when it
// opens, fetches the others (history) by indexed queries, tracks inserted, changed and
// deleted objects and writes them in one transaction per save. Main thread only.
class ObjectContext {
  public:
    // Opens or creates the store and loads the hierarchies kept whole (awakeFromFetch runs
    // for each of their objects). Throws sqlite::Error when the file is not a usable store.
    static std::unique_ptr<ObjectContext> open(const std::filesystem::path& file,
                                               const ManagedObjectModel& model);
    ~ObjectContext();
    ObjectContext(const ObjectContext&) = delete;
    ObjectContext& operator=(const ObjectContext&) = delete;

    const ManagedObjectModel& model() const;
    const std::filesystem::path& file() const;

    // A new object of the entity; awakeFromInsert runs before it is returned.
    std::shared_ptr<ManagedObject> insertNewObject(std::string_view entity);
    template <class T>
    std::shared_ptr<T> insert() {
        return std::static_pointer_cast<T>(insertNewObject(T::kEntityName));
    }
    // An object carried over from another store: inserted without awakeFromInsert.
    std::shared_ptr<ManagedObject> importObject(std::string_view entity);
    // Removes the object from every relationship and from the store at the next save.
    void deleteObject(ManagedObject& object);
    // Hands every member of the to-many `key` of `from` over to `to`, without loading members
    // that are reached by queries only.
    void moveRelated(ManagedObject& from, std::string_view key, ManagedObject& to);

    // Objects of a hierarchy kept in memory, sub-entities included, deleted ones left out,
    // in order of insertion.
    std::vector<std::shared_ptr<ManagedObject>> objects(std::string_view entity) const;
    template <class T>
    std::vector<std::shared_ptr<T>> fetch(
        const std::function<bool(const T&)>& predicate = {}) const {
        std::vector<std::shared_ptr<T>> result;
        for (auto& object : objects(T::kEntityName)) {
            auto typed = std::static_pointer_cast<T>(object);
            if (!predicate || predicate(*typed)) {
                result.push_back(std::move(typed));
            }
        }
        return result;
    }

    // How many objects(entity) holds that pass the predicate, without copying the list.
    std::size_t countObjects(std::string_view entity,
                             const std::function<bool(const ManagedObject&)>& predicate) const;
    // Objects of a hierarchy kept in memory whose indexed attribute holds exactly `text`,
    // found without walking the hierarchy; sub-entities included, deleted ones left out, in
    // order of insertion.
    std::vector<std::shared_ptr<ManagedObject>> objectsWith(std::string_view entity,
                                                            std::string_view attribute,
                                                            std::string_view text) const;
    template <class T>
    std::vector<std::shared_ptr<T>> fetchWith(std::string_view attribute,
                                              std::string_view text) const {
        std::vector<std::shared_ptr<T>> result;
        for (auto& object : objectsWith(T::kEntityName, attribute, text)) {
            result.push_back(std::static_pointer_cast<T>(std::move(object)));
        }
        return result;
    }

    // Queries on a hierarchy fetched on demand; unsaved changes are taken into account.
    // Throw sqlite::Error when the store cannot be read.
    std::vector<std::shared_ptr<ManagedObject>> execute(const FetchRequest& request);
    std::size_t count(const FetchRequest& request);

    bool hasChanges() const;
    // Writes every change in one transaction. When that fails nothing is written, the changes
    // stay pending and sqlite::Error is thrown.
    void save();

    // Called by an object on its first change after a load or a save.
    void objectDidChange(ManagedObject& object);
    // Called by an object when an indexed attribute took a new value.
    void indexedTextChanged(const ManagedObject& object, const AttributeDescription& attribute,
                            const Value& before);

  private:
    explicit ObjectContext(std::unique_ptr<StoreState> state);
    // Each object objects(entity) would list, in that order.
    void forEachObject(
        std::string_view entity,
        const std::function<void(const std::shared_ptr<ManagedObject>&)>& visit) const;
    std::shared_ptr<ManagedObject> add(std::string_view entity);
    void unlinkUnloaded(ManagedObject& object, const RelationshipDescription& side,
                        ManagedObject* replacement);

    std::unique_ptr<StoreState> state_;
};

}  // namespace corvaline
