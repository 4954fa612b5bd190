#include "core/net/CoreApplication.h"

#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "core/net/NetTest.h"
#include "core/net/TCPserver.h"
#include "core/net/UDPserver.h"

namespace corvaline::testing {
namespace {

using CoreApplicationTest = NetTest;

TEST_F(CoreApplicationTest, StartsTheServicesAndStopsThemWithEverybodyOfflineAndTheStoreSaved) {
    const auto peer = addUser("A5", "0");
    SaveAppContextIfChanged();
    startTrace();
    {
        CoreApplication core(main(), &windows_, &activity_, {.watchSystemEvents = false});
        core.start();
        auto& services = CoreServices::shared();
        ASSERT_NE(core.userList(), nullptr);
        EXPECT_EQ(services.userList, core.userList());
        EXPECT_EQ(services.messages, core.tcpServer());
        EXPECT_EQ(services.presence, core.udpServer());
        EXPECT_TRUE(core.udpServer()->hasRefreshTimer());
        EXPECT_FALSE(core.udpServer()->recvSocket()->isClosed());
        EXPECT_EQ(traced("SERVER TCP PORT IS NOT BINDABLE"), 0);

        core.stop();
        EXPECT_FALSE(core.isRunning());
        EXPECT_FALSE(core.udpServer()->hasRefreshTimer());
        EXPECT_EQ(traced("turn off servers"), 1);
        const auto stored = core.userList()->getUserById("A5", std::nullopt);
        ASSERT_NE(stored, nullptr);
        EXPECT_TRUE(stored->userOffline());
        EXPECT_FALSE(context_->hasChanges());
    }
    EXPECT_EQ(CoreServices::shared().messages, nullptr);
    EXPECT_EQ(CoreServices::shared().presence, nullptr);
}

TEST_F(CoreApplicationTest, StartTellsTheRosterWhetherAnyOtherUserWasEverSeen) {
    {
        CoreApplication core(main(), &windows_, &activity_, {.watchSystemEvents = false});
        core.start();
        EXPECT_FALSE(core.userList()->someUsersExceptMeEverSeen());
        core.stop();
    }
    addUser("A5", "10");
    SaveAppContextIfChanged();
    CoreApplication core(main(), &windows_, &activity_, {.watchSystemEvents = false});
    core.start();
    EXPECT_TRUE(core.userList()->someUsersExceptMeEverSeen());
    core.stop();
}

}  // namespace
}  // namespace corvaline::testing
