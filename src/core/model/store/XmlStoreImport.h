#pragma once

#include <filesystem>
#include <stdexcept>

#include "core/model/store/ManagedObjectModel.h"

namespace corvaline {

class ObjectContext;

// A store that cannot be read or set up; the text is shown to the user. Any thread.
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads the older XML store (docs/xml-store.md) into the context: one object per element,
// inserted without awakeFromInsert, relationships joined by the element ids. The caller
// saves. Throws StoreError when the file cannot be read as such a store. Main thread (the
// context's).
void importXmlStore(const std::filesystem::path& xml, ObjectContext& context);

// Writes the XML store's records into a new SQLite store at `target`, which appears only once
// it is complete. Throws StoreError or sqlite::Error; then `target` does not exist. Main
// thread (at start-up, before the store opens).
void migrateXmlStore(const std::filesystem::path& xml, const std::filesystem::path& target,
                     const ManagedObjectModel& model);

}  // namespace corvaline
