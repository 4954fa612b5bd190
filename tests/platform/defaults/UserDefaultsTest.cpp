#include "platform/defaults/UserDefaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/defaults/AtomicFile.h"
#include "platform/runloop/MainLoop.h"
#include "platform/trace/DebugTracer.h"
#include "support/TempFolder.h"

namespace corvaline {
namespace {

class UserDefaultsTest : public ::testing::Test {
  protected:
    std::filesystem::path file() const { return folder.path() / "config" / "defaults.json"; }

    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(file().parent_path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void writeRaw(const std::string& text) const {
        std::filesystem::create_directories(file().parent_path());
        std::ofstream(file()) << text;
    }

    testing::TempFolder folder;
};

std::string contentsOf(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(UserDefaultsTest, StoredValueBeatsRegisteredAndSurvivesReload) {
    const nlohmann::json registered = {{"fontSize", 18}, {"hotKey", {0x60000u, 1u}}};
    {
        UserDefaults defaults(file());
        defaults.registerDefaults(registered);
        EXPECT_EQ(defaults.integerForKey("fontSize"), 18);
        defaults.setInteger("fontSize", 24);
        defaults.setString("awayMessage", "Bin weg – später");
        defaults.setBool("keepFocus", true);
        defaults.setDouble("ratio", 2.5);
        defaults.setObject("broadcasts", nlohmann::json::array({"10.0.0.255"}));
        EXPECT_EQ(defaults.integerForKey("fontSize"), 24);
        EXPECT_FALSE(defaults.lastWriteError());
    }
    UserDefaults reloaded(file());
    EXPECT_FALSE(reloaded.objectForKey("hotKey")) << "registered defaults are never written";
    reloaded.registerDefaults(registered);
    EXPECT_EQ(reloaded.integerForKey("fontSize"), 24);
    EXPECT_EQ(reloaded.stringForKey("awayMessage"), "Bin weg – später");
    EXPECT_TRUE(reloaded.boolForKey("keepFocus"));
    EXPECT_EQ(reloaded.doubleForKey("ratio"), 2.5);
    EXPECT_EQ(reloaded.arrayForKey("broadcasts"), nlohmann::json::array({"10.0.0.255"}));
    EXPECT_EQ(reloaded.arrayForKey("hotKey"), nlohmann::json::array({0x60000u, 1u}));
    // Values of another type read as nothing rather than failing.
    EXPECT_EQ(reloaded.integerForKey("awayMessage"), 0);
    EXPECT_EQ(reloaded.stringForKey("fontSize"), "");
    EXPECT_FALSE(reloaded.arrayForKey("fontSize"));
    EXPECT_EQ(reloaded.integerForKey("ratio"), 2);

    reloaded.removeObject("fontSize");
    EXPECT_EQ(reloaded.integerForKey("fontSize"), 18);
    EXPECT_FALSE(UserDefaults(file()).objectForKey("fontSize"));
}

TEST_F(UserDefaultsTest, DamagedFileIsMovedAsideAndReportedOnce) {
    for (const std::string damaged : {"{\"fontSize\": 2", "[1, 2]", ""}) {
        SCOPED_TRACE(damaged);
        writeRaw(damaged);
        const bool tracing = DebugTracer::isEnabled();
        DebugTracer::setEnabled(true);
        ::testing::internal::CaptureStderr();
        std::optional<std::filesystem::path> movedTo;
        {
            UserDefaults defaults(file());
            movedTo = defaults.damagedFileMovedTo();
            EXPECT_EQ(defaults.integerForKey("fontSize"), 0);
            defaults.setInteger("fontSize", 12);
            defaults.setInteger("fontSize", 13);
        }
        const std::string trace = ::testing::internal::GetCapturedStderr();
        DebugTracer::setEnabled(tracing);

        ASSERT_TRUE(movedTo);
        EXPECT_EQ(contentsOf(*movedTo), damaged);
        EXPECT_EQ(movedTo->parent_path(), file().parent_path());
        EXPECT_TRUE(movedTo->filename().string().starts_with("defaults.json.damaged-"));
        EXPECT_NE(trace.find(movedTo->string()), std::string::npos);
        EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 1) << trace;

        UserDefaults reloaded(file());
        EXPECT_FALSE(reloaded.damagedFileMovedTo());
        EXPECT_EQ(reloaded.integerForKey("fontSize"), 13);
        std::filesystem::remove(*movedTo);
        std::filesystem::remove(file());
    }
}

TEST_F(UserDefaultsTest, WritesLeaveNoTemporaryFilesAndReportFailures) {
    UserDefaults defaults(file());
    for (int i = 0; i < 5; ++i)
        defaults.setInteger("n", i);
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"defaults.json"});
    EXPECT_EQ(nlohmann::json::parse(contentsOf(file())), nlohmann::json({{"n", 4}}));

    // A folder that cannot be created (a file is in the way).
    std::ofstream(folder.path() / "blocker") << "x";
    UserDefaults blocked(folder.path() / "blocker" / "defaults.json");
    blocked.setInteger("n", 1);
    EXPECT_TRUE(blocked.lastWriteError());
    EXPECT_EQ(blocked.integerForKey("n"), 1);
}

TEST_F(UserDefaultsTest, ObserverFiresOncePerChangeOfTheAnsweredValue) {
    UserDefaults defaults(file());
    defaults.registerDefaults({{"k", 3}});
    int calls = 0;
    auto token = defaults.observe("k", [&] {
        ++calls;
        EXPECT_EQ(defaults.integerForKey("k"), 5);
    });
    defaults.setInteger("k", 5);
    defaults.setInteger("k", 5);
    defaults.setInteger("other", 5);
    EXPECT_EQ(calls, 1);

    token = defaults.observe("k", [&] { ++calls; });
    defaults.removeObject("k");   // back to the registered 3
    defaults.setInteger("k", 3);  // stored now, but the answer stays 3
    EXPECT_EQ(calls, 2);

    token.remove();
    defaults.setInteger("k", 9);
    EXPECT_EQ(calls, 2);
}

TEST_F(UserDefaultsTest, ABurstOfChangesIsWrittenOnceAndNothingIsLostAtTheEnd) {
    int writes = 0;
    const UserDefaults::Writer counting = [&](const std::filesystem::path& path,
                                              std::string_view contents) {
        ++writes;
        return writeFileAtomically(path, contents);
    };
    const auto stored = [&](std::string_view key) {
        return UserDefaults(file()).objectForKey(key);
    };
    auto loop = std::make_shared<MainLoop>();
    {
        UserDefaults defaults(file(), counting);
        defaults.setInteger("n", 0);
        EXPECT_EQ(writes, 1) << "without a queue each change is written at once";

        defaults.coalesceWritesOn(loop);
        for (int step = 1; step <= 50; ++step) {
            defaults.setString("frame", std::to_string(step));  // a window being dragged
        }
        defaults.setInteger("n", 1);
        EXPECT_EQ(writes, 1);
        EXPECT_EQ(defaults.stringForKey("frame"), "50") << "read back before the write";
        loop->runPending();
        EXPECT_EQ(writes, 2);
        EXPECT_EQ(stored("frame"), "50");
        EXPECT_EQ(stored("n"), 1);
        defaults.setInteger("n", 1);  // no change, nothing to write
        loop->runPending();
        EXPECT_EQ(writes, 2);
    }

    // Each way the program ends writes the change its last turn made, once.
    const struct {
        const char* end;
        std::function<void(UserDefaults&, std::shared_ptr<MainLoop>&)> ending;
    } endings[] = {
        {"synchronize", [](UserDefaults& d, auto&) { d.synchronize(); }},
        {"no more coalescing", [](UserDefaults& d, auto&) { d.coalesceWritesOn({}); }},
        {"the queue goes first", [](UserDefaults&, auto& queue) { queue.reset(); }},
        {"the database goes", [](UserDefaults&, auto&) {}},
    };
    for (const auto& c : endings) {
        SCOPED_TRACE(c.end);
        writes = 0;
        auto queue = std::make_shared<MainLoop>();
        {
            UserDefaults defaults(file(), counting);
            defaults.coalesceWritesOn(queue);
            defaults.setString("end", c.end);
            c.ending(defaults, queue);
        }
        if (queue) {
            queue->runPending();  // a write posted before must not run for a database gone
        }
        EXPECT_EQ(writes, 1);
        EXPECT_EQ(stored("end"), c.end);
    }
}

}  // namespace
}  // namespace corvaline
