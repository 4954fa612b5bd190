#pragma once

// The core as the windows of a picture-taking program see it: the registered defaults, the
// store of the current HOME (see OffscreenHome), the roster with the local user, and a main
// loop of real time, all made after the QApplication and let go in reverse order, the store
// closed last. Main thread.
//
//   OffscreenHome home("corvaline-shots");
//   QApplication application(argc, argv);
//   OffscreenCore core;
//   if (!core.made()) return 1;
//   auto ann = core.context().insert<User>();

#include <memory>

#include "app/defaults/RegisteredDefaults.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/MainLoop.h"

namespace corvaline::testing {

class OffscreenCore {
  public:
    OffscreenCore() {
        registerApplicationDefaults(UserDefaults::standard(), {});
        context_ = AppManagedObjectContext();
        if (!context_) {
            return;
        }
        list_ = std::make_unique<UserList>(context_);
        auto& services = CoreServices::shared();
        services.userList = list_.get();
        services.mainQueue = &loop_;
        list_->updateMe();
    }
    ~OffscreenCore() {
        CoreServices::shared() = CoreServices{};
        list_.reset();
        AppStore::shared().close();
    }
    OffscreenCore(const OffscreenCore&) = delete;
    OffscreenCore& operator=(const OffscreenCore&) = delete;

    // False when the store did not open; nothing else may be used then.
    bool made() const { return list_ != nullptr; }
    ObjectContext& context() { return *context_; }
    UserList& list() { return *list_; }
    MainLoop& loop() { return loop_; }

  private:
    MainLoop loop_;
    ObjectContext* context_ = nullptr;
    std::unique_ptr<UserList> list_;
};

}  // namespace corvaline::testing
