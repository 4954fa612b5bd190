#include "core/model/store/AppStore.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "core/model/UserListModel.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/store/Schema.h"
#include "core/model/store/Sqlite.h"
#include "core/model/store/XmlStoreImport.h"
#include "platform/paths/Folders.h"
#include "platform/runloop/Executor.h"
#include "platform/trace/DebugTracer.h"

#include <sqlite3.h>

namespace corvaline {

namespace {

void present(const std::string& description) {
    if (auto* windows = CoreServices::shared().windows) {
        windows->presentError(description);
    }
}

// Renames `from` to `to` unless `to` exists; false when it does. Other failures throw.
bool renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    throw std::filesystem::filesystem_error("cannot move the store aside", from, to,
                                            std::error_code(errno, std::generic_category()));
}

// Moves a store that cannot be opened out of the way, with its write-ahead log, to
// "<name>.<time stamp>" (a counter added when that name or its log's is taken), so that
// nothing of it is lost and no earlier copy is overwritten. Answers where it went.
std::filesystem::path moveAside(const std::filesystem::path& file) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    std::filesystem::path aside = file.string() + "." + stamp;
    for (int counter = 2;
         std::filesystem::exists(aside.string() + "-wal") || !renameWithoutReplacing(file, aside);
         ++counter) {
        aside = file.string() + "." + stamp + "-" + std::to_string(counter);
    }
    std::error_code ignored;
    if (std::filesystem::exists(file.string() + "-wal", ignored)) {
        renameWithoutReplacing(file.string() + "-wal", aside.string() + "-wal");
    }
    std::filesystem::remove(file.string() + "-shm", ignored);
    return aside;
}

}  // namespace

AppStore& AppStore::shared() {
    static AppStore store;
    return store;
}

AppStore::AppStore(EnvironmentLookup environment) : environment_(std::move(environment)) {}

AppStore::~AppStore() = default;

std::filesystem::path AppStore::applicationFilesDirectory() const {
    if (!IsRunningInSandbox(environment_)) {
        const auto container = sandboxContainerFolder(environment_);
        std::error_code error;
        if (std::filesystem::exists(container.parent_path(), error)) {
            return container / kBundleIdentifier;
        }
    }
    return applicationSupportFolder(environment_) / kBundleIdentifier;
}

ObjectContext* AppStore::managedObjectContext() {
    assertOnMainQueue();
    if (!context_) {
        context_ = build();
    }
    return context_.get();
}

std::unique_ptr<ObjectContext> AppStore::build() {
    const auto folder = applicationFilesDirectory();
    std::error_code error;
    const auto status = std::filesystem::status(folder, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        if (!std::filesystem::create_directories(folder, error) && error) {
            present(folder.string() + ": " + error.message());
            return nullptr;
        }
    } else if (error) {
        present(folder.string() + ": " + error.message());
        return nullptr;
    } else if (status.type() != std::filesystem::file_type::directory) {
        present("Expected a folder to store application data, found a file (" + folder.string() +
                ").");
        return nullptr;
    }

    const auto current = folder / kStoreFile;
    const auto old = folder / kOldStoreFile;
    if (!std::filesystem::exists(current, error) && std::filesystem::exists(old, error)) {
        try {
            migrateXmlStore(old, current, userListModel());
        } catch (const std::exception& failure) {
            present(failure.what());
            return nullptr;
        }
        std::filesystem::remove(old, error);
    }
    return openCurrent(current);
}

std::unique_ptr<ObjectContext> AppStore::openCurrent(const std::filesystem::path& file) {
    try {
        return ObjectContext::open(file, userListModel());
    } catch (const sqlite::Error& failure) {
        if (failure.code() == SQLITE_BUSY || failure.code() == SQLITE_LOCKED) {
            present(failure.what());  // in use elsewhere: leave it as it is
            return nullptr;
        }
        try {
            const auto aside = moveAside(file);
            DebugTracer::addLogItem("Store " + file.string() + " could not be opened (" +
                                        failure.what() + "); moved to " + aside.string(),
                                    0);
            if (dynamic_cast<const NewerStoreError*>(&failure)) {
                // Otherwise the user would only see an empty list and history.
                present(
                    "The contacts and history were written by a newer version of the "
                    "program and cannot be read by this one. They were moved to " +
                    aside.string() + " and are kept there unchanged.");
            }
        } catch (const std::filesystem::filesystem_error& moveFailure) {
            present(std::string(failure.what()) + " (" + moveFailure.what() + ")");
            return nullptr;
        }
    }
    try {
        return ObjectContext::open(file, userListModel());
    } catch (const sqlite::Error& failure) {
        const std::string description = failure.what();
        if (auto* main = CoreServices::shared().mainQueue) {
            main->post([description] { present(description); });
        } else {
            present(description);
        }
        return nullptr;
    }
}

bool AppStore::saveAction(const std::function<bool()>& commitEditing) {
    assertOnMainQueue();
    if (commitEditing && !commitEditing()) {
        return false;
    }
    auto* context = managedObjectContext();
    if (!context) {
        return false;
    }
    try {
        context->save();
        return true;
    } catch (const sqlite::Error& failure) {
        present(failure.what());
        return false;
    }
}

bool AppStore::applicationShouldTerminate(const std::function<bool()>& commitEditing) {
    if (!context_) {
        return true;
    }
    if (commitEditing && !commitEditing()) {
        return false;
    }
    try {
        context_->save();
    } catch (const sqlite::Error&) {
        // Terminating all the same: there is nobody left to show it to.
    }
    return true;
}

bool AppStore::saveOrReportOnce() {
    auto* context = managedObjectContext();
    if (!context) {
        return false;
    }
    try {
        if (context->hasChanges()) {
            context->save();
        }
        saveFailureShown_ = false;
        return true;
    } catch (const sqlite::Error& failure) {
        if (!saveFailureShown_) {
            saveFailureShown_ = true;
            present(failure.what());
        }
        return false;
    }
}

void AppStore::saveSoon() {
    auto* main = CoreServices::shared().mainQueue;
    if (!main) {
        SaveAppContextIfChanged();
        return;
    }
    if (saveQueued_) {
        return;
    }
    saveQueued_ = true;
    main->post([this, alive = std::weak_ptr(lifetime_)] {
        if (alive.expired()) {
            return;
        }
        saveQueued_ = false;
        if (context_) {
            saveIfChanged(*context_);
        }
    });
}

void AppStore::close() {
    context_.reset();
}

bool IsRunningInSandbox(const EnvironmentLookup& environment) {
    return hasSandboxContainerId(environment);
}

ObjectContext* AppManagedObjectContext() {
    return AppStore::shared().managedObjectContext();
}

void SaveAppContextIfChanged() {
    if (auto* context = AppManagedObjectContext()) {
        saveIfChanged(*context);
    }
}

void SaveAppContextSoon() {
    AppStore::shared().saveSoon();
}

bool SaveAppContextOrReport() {
    return AppStore::shared().saveOrReportOnce();
}

void saveIfChanged(ObjectContext& context) {
    if (context.hasChanges()) {
        try {
            context.save();
        } catch (const sqlite::Error&) {
            // Dropped: the changes stay pending and go out with the next save.
        }
    }
}

}  // namespace corvaline
