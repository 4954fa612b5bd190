#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/paths/Environment.h"

namespace corvaline {

class ObjectContext;

// The application's store: the folder it lives in, the one-time move of the older XML store,
// the one context (built on first use) and saving at termination. Errors are shown through
// the windows. Main thread only.
class AppStore {
  public:
    static constexpr const char* kStoreFile = "Corvaline-v2.storedata";
    static constexpr const char* kOldStoreFile = "Corvaline.storedata";

    // The process's store, in the folders of the process environment.
    static AppStore& shared();

    explicit AppStore(EnvironmentLookup environment = processEnvironment());
    ~AppStore();
    AppStore(const AppStore&) = delete;
    AppStore& operator=(const AppStore&) = delete;

    // The Flatpak data folder when that container exists and the process is not sandboxed,
    // else the application-support folder; "com.tarvelo.Corvaline" below either.
    std::filesystem::path applicationFilesDirectory() const;
    // The one context; none after a failure that was shown (the next call tries again).
    ObjectContext* managedObjectContext();
    // Commits pending edits, then saves; a failure is shown. Answers whether all went well.
    bool saveAction(const std::function<bool()>& commitEditing = {});
    // True to terminate now; false when pending edits could not be committed. Saves first.
    bool applicationShouldTerminate(const std::function<bool()>& commitEditing = {});
    // Saves the context when it has changes. A failure is shown once (until a save succeeds
    // again, so a full disk does not raise one report per message) and answered false; the
    // changes stay pending.
    bool saveOrReportOnce();
    // Saves once the main queue has run what it holds now: the changes of a burst of
    // presence packets go out in one durable commit instead of one each. Not for what must
    // be on disk before anybody is told.
    void saveSoon();
    // Drops the context (the next access opens the store again).
    void close();

  private:
    std::unique_ptr<ObjectContext> build();
    std::unique_ptr<ObjectContext> openCurrent(const std::filesystem::path& file);

    EnvironmentLookup environment_;
    std::unique_ptr<ObjectContext> context_;
    bool saveFailureShown_ = false;
    bool saveQueued_ = false;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);  // held weakly by queued saves
};

// The process environment marks a sandboxed process with APP_SANDBOX_CONTAINER_ID.
bool IsRunningInSandbox(const EnvironmentLookup& environment = processEnvironment());

// The context of AppStore::shared(), or none.
ObjectContext* AppManagedObjectContext();
// Saves the shared context when it has changes; a failure is dropped (the changes stay
// pending for the next save).
void SaveAppContextIfChanged();
// AppStore::shared().saveSoon().
void SaveAppContextSoon();
// The same for a given context.
void saveIfChanged(ObjectContext& context);
// AppStore::shared().saveOrReportOnce(): for what must be on disk before anybody is told.
bool SaveAppContextOrReport();

}  // namespace corvaline
