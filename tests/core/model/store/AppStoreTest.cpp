#include "core/model/store/AppStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>

#include "core/model/UserListModel.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/entities/User.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/store/Sqlite.h"
#include "core/model/support/RecordingServices.h"
#include "support/FakeEnvironment.h"
#include "support/TempFolder.h"

namespace corvaline {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class AppStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { CoreServices::shared().windows = &windows_; }
    void TearDown() override { CoreServices::shared() = CoreServices{}; }

    EnvironmentLookup environment(std::map<std::string, std::string> more = {}) {
        more["HOME"] = home_.path().string();
        return testing::fakeEnvironment(std::move(more));
    }
    fs::path supportFolder() const { return home_.path() / ".local/share/com.tarvelo.Corvaline"; }
    std::vector<std::string> filesIn(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // A store holding user "A100000001" and chat room 7 with `lines` messages "line 0"... to
    // that user, received a minute apart from `start` and written in the opposite order (ids
    // 100...), those `inChat` picks said in the chat. Answers the store's file.
    fs::path writeHistory(Date start, int lines, const std::function<bool(int)>& inChat) {
        AppStore store(environment());
        auto* context = store.managedObjectContext();
        auto ann = context->insert<User>();
        ann->setUserId("A100000001");
        auto chat = context->insert<Chat>();
        chat->setRoomId(7);
        for (int i = 0; i < lines; ++i) {
            auto message = context->insert<Message>();
            message->setMessage("line " + std::to_string(i));
            message->setMessageId(100 + i);
            message->setTime(start + std::chrono::minutes(lines - i));
            message->setTimeReceived(start + std::chrono::minutes(i));
            message->addUserObject(*ann);
            if (inChat(i)) {
                message->setChat(chat.get());
            }
        }
        EXPECT_TRUE(store.saveAction());
        return supportFolder() / "Corvaline-v2.storedata";
    }
    // The user of writeHistory, or nothing when the store does not hold exactly one.
    static std::shared_ptr<User> historyUser(ObjectContext& context) {
        auto users =
            context.fetch<User>([](const User& user) { return user.userId() == "A100000001"; });
        return users.size() == 1 ? users[0] : nullptr;
    }

    testing::TempFolder home_;
    testing::RecordingWindows windows_;
};

TEST_F(AppStoreTest, FirstStartCreatesTheFolderAndTheStore) {
    AppStore store(environment());
    ASSERT_NE(store.managedObjectContext(), nullptr);
    EXPECT_TRUE(fs::exists(supportFolder() / "Corvaline-v2.storedata"));
    EXPECT_EQ(store.managedObjectContext(), store.managedObjectContext());
    EXPECT_TRUE(windows_.errors.empty());
}

TEST_F(AppStoreTest, AContainerFolderHoldsTheStoreUnlessSandboxed) {
    const auto container = home_.path() / ".var/app/com.tarvelo.Corvaline";
    fs::create_directories(container);
    const auto inContainer = container / "data/com.tarvelo.Corvaline";
    EXPECT_EQ(AppStore(environment()).applicationFilesDirectory(), inContainer);
    EXPECT_EQ(AppStore(environment({{"APP_SANDBOX_CONTAINER_ID", ""}})).applicationFilesDirectory(),
              supportFolder());
    EXPECT_EQ(AppStore(environment({{"XDG_DATA_HOME", (home_.path() / "data").string()}}))
                  .applicationFilesDirectory(),
              inContainer);

    AppStore store(environment());
    ASSERT_NE(store.managedObjectContext(), nullptr);
    EXPECT_TRUE(fs::exists(inContainer / "Corvaline-v2.storedata"));
}

TEST_F(AppStoreTest, AFileInPlaceOfTheFolderIsReported) {
    fs::create_directories(supportFolder().parent_path());
    std::ofstream(supportFolder()) << "not a folder";
    AppStore store(environment());
    EXPECT_EQ(store.managedObjectContext(), nullptr);
    ASSERT_EQ(windows_.errors.size(), 1u);
    EXPECT_EQ(windows_.errors[0], "Expected a folder to store application data, found a file (" +
                                      supportFolder().string() + ").");
}

constexpr const char* kOldStore = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<!DOCTYPE database SYSTEM "file:///System/Library/DTDs/CoreData.dtd">
<database>
    <databaseInfo><version>134481920</version></databaseInfo>
    <object type="GROUP" id="z102">
        <attribute name="name" type="string">General</attribute>
        <attribute name="expanded" type="bool">1</attribute>
        <relationship name="users" type="0/0" destination="USER" idrefs="z103 z104"></relationship>
    </object>
    <object type="ME" id="z103">
        <attribute name="userid" type="string">A123456789</attribute>
        <attribute name="name" type="string">Ann &amp; Co</attribute>
        <attribute name="sessionid" type="int64">48213</attribute>
        <attribute name="status" type="string">1</attribute>
        <attribute name="icon" type="transformable">YnBsaXN0</attribute>
        <relationship name="group" type="1/1" destination="GROUP" idrefs="z102"></relationship>
    </object>
    <object type="USER" id="z104">
        <attribute name="userid" type="string">A987654321</attribute>
        <attribute name="name" type="string">Bob</attribute>
        <attribute name="seenlasttime" type="date">700000000.5</attribute>
        <relationship name="log" type="0/0" destination="LOGENTRY" idrefs="z105 z106"></relationship>
    </object>
    <object type="MESSAGE" id="z105">
        <attribute name="message" type="string">Hello</attribute>
        <attribute name="messageid" type="int64">12345671234567</attribute>
        <attribute name="incoming" type="bool">1</attribute>
        <attribute name="timereceived" type="date">700000000</attribute>
        <relationship name="user" type="0/0" destination="USER" idrefs="z104"></relationship>
    </object>
    <object type="MESSAGE" id="z106">
        <attribute name="message" type="string">Later</attribute>
        <attribute name="timereceived" type="date">700000100</attribute>
    </object>
    <object type="MESSAGEFORFORWARDING" id="z107">
        <attribute name="message" type="binary">AAEC/w==</attribute>
        <relationship name="recipients" type="0/0" destination="USER" idrefs="z104"></relationship>
        <relationship name="sender" type="1/1" destination="USER" idrefs="z103"></relationship>
    </object>
    <object type="WIDGET" id="z108"></object>
</database>
)";

TEST_F(AppStoreTest, TheOldXmlStoreMovesOnceAndIsGone) {
    fs::create_directories(supportFolder());
    std::ofstream(supportFolder() / "Corvaline.storedata") << kOldStore;
    {
        AppStore store(environment());
        auto* context = store.managedObjectContext();
        ASSERT_NE(context, nullptr);
        EXPECT_EQ(filesIn(supportFolder()),
                  (std::vector<std::string>{"Corvaline-v2.storedata", "Corvaline-v2.storedata-shm",
                                            "Corvaline-v2.storedata-wal"}));

        auto groups = context->fetch<Group>();
        ASSERT_EQ(groups.size(), 1u);
        EXPECT_TRUE(groups[0]->expanded());
        EXPECT_EQ(groups[0]->users().size(), 2u);
        auto me = context->fetch<Me>();
        ASSERT_EQ(me.size(), 1u);
        EXPECT_EQ(me[0]->name(), "Ann & Co");
        EXPECT_EQ(me[0]->sessionId(), 48213);
        auto bob =
            context->fetch<User>([](const User& user) { return user.userId() == "A987654321"; });
        ASSERT_EQ(bob.size(), 1u);
        EXPECT_EQ(secondsSince1970(*bob[0]->seenLastTime()), 978307200.0 + 700000000.5);
        const auto history = bob[0]->lastLogEnties(0);
        ASSERT_EQ(history.size(), 2u);
        EXPECT_EQ(static_cast<Message&>(*history[0]).message(), "Later");
        EXPECT_EQ(static_cast<Message&>(*history[1]).messageId(), 12345671234567);
        auto held = context->fetch<MessageForForwarding>();
        ASSERT_EQ(held.size(), 1u);
        EXPECT_EQ(held[0]->message(), (std::vector<std::uint8_t>{0, 1, 2, 255}));
        EXPECT_EQ(held[0]->sender(), me[0].get());
        EXPECT_EQ(held[0]->recipients(), std::vector<User*>{bob[0].get()});
    }
    AppStore again(environment());
    ASSERT_NE(again.managedObjectContext(), nullptr);
    EXPECT_EQ(again.managedObjectContext()->fetch<User>().size(), 2u);
}

TEST_F(AppStoreTest, WithBothFilesTheOldOneIsLeftAlone) {
    fs::create_directories(supportFolder());
    {
        AppStore store(environment());
        ASSERT_NE(store.managedObjectContext(), nullptr);
    }
    const auto old = supportFolder() / "Corvaline.storedata";
    std::ofstream(old) << kOldStore;
    const auto written = fs::last_write_time(old);
    AppStore store(environment());
    ASSERT_NE(store.managedObjectContext(), nullptr);
    EXPECT_TRUE(store.managedObjectContext()->fetch<User>().empty());
    EXPECT_EQ(contents(old), kOldStore);
    EXPECT_EQ(fs::last_write_time(old), written);
}

TEST_F(AppStoreTest, AnUnreadableOldStoreIsShownAndKept) {
    fs::create_directories(supportFolder());
    std::ofstream(supportFolder() / "Corvaline.storedata") << "<database><object";
    AppStore store(environment());
    EXPECT_EQ(store.managedObjectContext(), nullptr);
    EXPECT_EQ(windows_.errors.size(), 1u);
    EXPECT_EQ(filesIn(supportFolder()), std::vector<std::string>{"Corvaline.storedata"});
}

TEST_F(AppStoreTest, AnUnreadableStoreIsMovedAsideAndANewOneWorks) {
    fs::create_directories(supportFolder());
    const std::string damaged(4096, 'x');
    std::ofstream(supportFolder() / "Corvaline-v2.storedata") << damaged;
    {
        AppStore store(environment());
        auto* context = store.managedObjectContext();
        ASSERT_NE(context, nullptr);
        context->insert<Group>()->setName("Fresh");
        context->save();
    }
    const auto files = filesIn(supportFolder());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], "Corvaline-v2.storedata");
    EXPECT_EQ(files[1].rfind("Corvaline-v2.storedata.", 0), 0u);
    EXPECT_EQ(contents(supportFolder() / files[1]), damaged);
    EXPECT_TRUE(windows_.errors.empty());
    AppStore store(environment());
    ASSERT_NE(store.managedObjectContext(), nullptr);
    EXPECT_EQ(store.managedObjectContext()->fetch<Group>().size(), 1u);
}

TEST_F(AppStoreTest, ANewerStoreIsMovedAsideWithoutOverwritingAndTheUserIsToldWhere) {
    fs::create_directories(supportFolder());
    const fs::path file = supportFolder() / "Corvaline-v2.storedata";
    {
        AppStore store(environment());
        store.managedObjectContext()->insert<Group>()->setName("Kept");
        ASSERT_TRUE(store.saveAction());
    }
    sqlite::Database(file).execute("PRAGMA user_version = 999");
    // Earlier copies moved aside in the same seconds stay as they are.
    std::vector<fs::path> earlier;
    const auto now = std::chrono::system_clock::now();
    for (int second = 0; second < 5; ++second) {
        const std::time_t when =
            std::chrono::system_clock::to_time_t(now + std::chrono::seconds(second));
        std::tm local{};
        localtime_r(&when, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
        earlier.push_back(file.string() + "." + stamp);
        std::ofstream(earlier.back()) << "earlier copy";
    }

    AppStore store(environment());
    ASSERT_NE(store.managedObjectContext(), nullptr);
    EXPECT_TRUE(store.managedObjectContext()->fetch<Group>().empty());
    for (const auto& copy : earlier) {
        EXPECT_EQ(contents(copy), "earlier copy");
    }
    ASSERT_EQ(windows_.errors.size(), 1u);
    const std::string& error = windows_.errors.front();
    const auto at = error.find(file.string() + ".");
    ASSERT_NE(at, std::string::npos) << error;
    const fs::path aside = error.substr(at, error.find(' ', at) - at);
    EXPECT_TRUE(std::find(earlier.begin(), earlier.end(), aside) == earlier.end()) << aside;
    EXPECT_EQ(sqlite::Database(aside).scalar("PRAGMA user_version"), 999);
    EXPECT_EQ(sqlite::Database(aside).scalar("SELECT count(*) FROM TreeItem WHERE name = 'Kept'"),
              1);
}

// The previous version's user-entry rows did not carry the entry's chat: opening such a store
// fills them in, so a user's count and history still leave the chat lines out.
TEST_F(AppStoreTest, AStoreOfThePreviousVersionKeepsItsHistoryAndItsCounts) {
    const Date start = Date{} + std::chrono::hours(24 * 365 * 30);
    // Lines 1 and 3 were said in the chat.
    const fs::path file = writeHistory(start, 5, [](int i) { return i % 2 == 1; });
    {
        // Back to the layout the previous version wrote: no chat in the join rows, no counts.
        sqlite::Database old(file);
        for (const char* trigger : {"insert", "delete", "update"}) {
            old.execute(std::string("DROP TRIGGER LogEntryUserCount_") + trigger);
        }
        old.execute("DROP TABLE LogEntryUserCount");
        old.execute("DROP INDEX LogEntryUser_user_chat_timeReceived_entry");
        old.execute("ALTER TABLE LogEntryUser DROP COLUMN chat");
        old.execute(
            "CREATE INDEX LogEntryUser_user_timeReceived_entry ON LogEntryUser "
            "(user, timeReceived, entry)");
        old.execute("PRAGMA user_version = 1");
    }

    AppStore store(environment());
    auto* context = store.managedObjectContext();
    ASSERT_NE(context, nullptr);
    EXPECT_TRUE(windows_.errors.empty());
    const auto ann = historyUser(*context);
    ASSERT_NE(ann, nullptr);
    std::vector<std::string> lines;
    for (const auto& entry : ann->lastLogEnties(0)) {
        lines.push_back(static_cast<Message&>(*entry).message());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"line 4", "line 2", "line 0"}));
    EXPECT_EQ(ann->logEntriesNumber(), 3u);
    auto later = context->insert<Message>();
    later->setMessage("line 5");
    later->addUserObject(*ann);
    ASSERT_TRUE(store.saveAction());
    EXPECT_EQ(ann->logEntriesNumber(), 4u);
    auto chats = context->fetch<Chat>();
    ASSERT_EQ(chats.size(), 1u);
    EXPECT_EQ(chats[0]->logEntriesNumber(), 2u);
    sqlite::Database reader(file);
    EXPECT_EQ(reader.scalar("PRAGMA user_version"), userListModel().version());
    EXPECT_EQ(reader.scalar("SELECT count(*) FROM sqlite_master WHERE name = "
                            "'LogEntryUser_user_timeReceived_entry'"),
              0);
}

// The previous version indexed every entry by its chat, most of them under none: opening such
// a store replaces those indexes by ones of the chat lines alone, and every lookup still works.
TEST_F(AppStoreTest, AStoreWithFullChatIndexesKeepsItsChatsAndTheirFirstDates) {
    const Date start = Date{} + std::chrono::hours(24 * 365 * 30);
    const fs::path file = writeHistory(start, 4, [](int i) { return i >= 2; });
    {
        sqlite::Database old(file);
        for (const char* columns : {"chat_timeReceived", "chat_time"}) {
            const std::string name = std::string("LogEntry_") + columns;
            old.execute("DROP INDEX \"" + name + "_chatNotNull\"");
            const std::string list =
                name == "LogEntry_chat_time" ? "chat, time" : "chat, timeReceived";
            old.execute("CREATE INDEX \"" + name + "\" ON LogEntry (" + list + ")");
        }
        old.execute("PRAGMA user_version = 2");
    }

    AppStore store(environment());
    auto* context = store.managedObjectContext();
    ASSERT_NE(context, nullptr);
    EXPECT_TRUE(windows_.errors.empty());
    auto chats = context->fetch<Chat>();
    ASSERT_EQ(chats.size(), 1u);
    std::vector<std::string> lines;
    for (const auto& entry : chats[0]->lastLogEnties(1)) {
        lines.push_back(static_cast<Message&>(*entry).message());
    }
    for (const auto& entry : chats[0]->logEntriesBefore(*chats[0]->lastLogEnties(1)[0], 5)) {
        lines.push_back(static_cast<Message&>(*entry).message());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"line 3", "line 2"}));
    EXPECT_EQ(chats[0]->logEntriesNumber(), 2u);
    EXPECT_EQ(chats[0]->firstMessageDate(), start + std::chrono::minutes(1));  // line 3
    EXPECT_TRUE(MessageIdAlreadyStored(*context, 101));
    const auto ann = historyUser(*context);
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->logEntriesNumber(), 2u);  // lines 0 and 1

    sqlite::Database reader(file);
    EXPECT_EQ(reader.scalar("PRAGMA user_version"), userListModel().version());
    EXPECT_EQ(reader.scalar("SELECT count(*) FROM sqlite_master WHERE name IN "
                            "('LogEntry_chat_timeReceived', 'LogEntry_chat_time')"),
              0);
    EXPECT_EQ(reader.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                            "tbl_name = 'LogEntry' AND sql LIKE '%WHERE \"chat\" IS NOT NULL'"),
              2);
}

// The previous version kept the user-entry rows in a rowid table with an index of their
// entries; a row held twice there counted twice. Opening such a store keys the rows by entry
// and user, keeps one of each pair, and every lookup and count still works.
TEST_F(AppStoreTest, AStoreWithRowidUserEntriesKeepsItsHistoryCountsAndMessageIds) {
    const Date start = Date{} + std::chrono::hours(24 * 365 * 30);
    // Lines 1 and 3 were said in the chat.
    const fs::path file = writeHistory(start, 5, [](int i) { return i % 2 == 1; });
    {
        sqlite::Database old(file);
        old.execute(
            "CREATE TABLE rows (entry INTEGER, user INTEGER, timeReceived REAL, chat INTEGER)");
        old.execute("INSERT INTO rows SELECT entry, user, timeReceived, chat FROM LogEntryUser");
        old.execute(
            "INSERT INTO rows SELECT entry, user, timeReceived, chat FROM LogEntryUser "
            "WHERE chat IS NULL LIMIT 1");
        old.execute("UPDATE LogEntryUserCount SET n = n + 1 WHERE chat = 0");  // as its trigger did
        old.execute("DROP TABLE LogEntryUser");
        old.execute("ALTER TABLE rows RENAME TO LogEntryUser");
        old.execute(
            "CREATE INDEX LogEntryUser_user_chat_timeReceived_entry ON LogEntryUser "
            "(user, chat, timeReceived, entry)");
        old.execute("CREATE INDEX LogEntryUser_entry ON LogEntryUser (entry)");
        old.execute("PRAGMA user_version = 3");
    }

    AppStore store(environment());
    auto* context = store.managedObjectContext();
    ASSERT_NE(context, nullptr) << ::testing::PrintToString(windows_.errors);
    EXPECT_TRUE(windows_.errors.empty());
    const auto ann = historyUser(*context);
    ASSERT_NE(ann, nullptr);
    const auto newest = ann->lastLogEnties(1);
    ASSERT_EQ(newest.size(), 1u);
    std::vector<std::string> lines{static_cast<Message&>(*newest[0]).message()};
    for (const auto& entry : ann->logEntriesBefore(*newest[0], 5)) {
        lines.push_back(static_cast<Message&>(*entry).message());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"line 4", "line 2", "line 0"}));
    EXPECT_EQ(ann->logEntriesNumber(), 3u);
    EXPECT_TRUE(MessageIdAlreadyStored(*context, 103));
    EXPECT_FALSE(MessageIdAlreadyStored(*context, 105));
    auto chats = context->fetch<Chat>();
    ASSERT_EQ(chats.size(), 1u);
    EXPECT_EQ(chats[0]->logEntriesNumber(), 2u);
    auto later = context->insert<Message>();
    later->setMessage("line 5");
    later->addUserObject(*ann);
    ASSERT_TRUE(store.saveAction());
    EXPECT_EQ(ann->logEntriesNumber(), 4u);
    context->deleteObject(*later);
    ASSERT_TRUE(store.saveAction());
    EXPECT_EQ(ann->logEntriesNumber(), 3u);

    sqlite::Database reader(file);
    EXPECT_EQ(reader.scalar("PRAGMA user_version"), userListModel().version());
    EXPECT_EQ(reader.scalar("SELECT count(*) FROM LogEntryUser"), 5);
    EXPECT_EQ(reader.scalar("SELECT count(*) FROM sqlite_master WHERE name = 'LogEntryUser' AND "
                            "sql LIKE '%WITHOUT ROWID'"),
              1);
    EXPECT_EQ(reader.scalar("SELECT count(*) FROM sqlite_master WHERE tbl_name = 'LogEntryUser' "
                            "AND type = 'index' AND sql IS NOT NULL"),
              1);
    EXPECT_EQ(reader.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'trigger' AND "
                            "tbl_name = 'LogEntryUser'"),
              3);
}

TEST_F(AppStoreTest, SavingWithoutChangesLeavesTheStoreAlone) {
    AppStore store(environment());
    auto* context = store.managedObjectContext();
    ASSERT_NE(context, nullptr);
    const auto file = supportFolder() / "Corvaline-v2.storedata";
    context->insert<Group>()->setName("G");
    saveIfChanged(*context);
    const auto wal = fs::path(file.string() + "-wal");
    const auto before = std::pair(fs::last_write_time(file), fs::last_write_time(wal));
    saveIfChanged(*context);
    EXPECT_TRUE(store.applicationShouldTerminate());
    EXPECT_EQ(std::pair(fs::last_write_time(file), fs::last_write_time(wal)), before);
}

TEST_F(AppStoreTest, TerminationWaitsForEditsToCommitAndSaves) {
    AppStore store(environment());
    EXPECT_TRUE(store.applicationShouldTerminate([] { return false; }));  // no context yet
    store.managedObjectContext()->insert<Group>()->setName("Unsaved");
    EXPECT_FALSE(store.applicationShouldTerminate([] { return false; }));
    EXPECT_TRUE(store.managedObjectContext()->hasChanges());
    EXPECT_TRUE(store.applicationShouldTerminate([] { return true; }));
    EXPECT_FALSE(store.managedObjectContext()->hasChanges());
}

// The child saves message after message and reports each finished save on a pipe; it is
// killed in the middle of its work. Everything it reported must be in the store.
TEST_F(AppStoreTest, KillingTheProcessAfterASaveLosesNothingSaved) {
    AppStore store(environment());
    ASSERT_NE(store.managedObjectContext(), nullptr);
    store.close();
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(reports[0]);
        AppStore writer(environment());
        auto* context = writer.managedObjectContext();
        auto user = context->insert<User>();
        user->setUserId("A200000001");
        for (std::uint32_t saved = 1;; ++saved) {
            for (int i = 0; i < 20; ++i) {
                auto message = context->insert<Message>();
                message->setMessage(std::string(200, 'm'));
                message->addUserObject(*user);
            }
            context->save();
            if (write(reports[1], &saved, sizeof saved) != sizeof saved) {
                _exit(1);
            }
        }
    }
    close(reports[1]);
    std::uint32_t reported = 0;
    std::uint32_t last = 0;
    while (last < 50 && read(reports[0], &last, sizeof last) == sizeof last) {
        reported = last;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (read(reports[0], &last, sizeof last) == sizeof last) {
        reported = last;
    }
    close(reports[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(reported, 50u);

    {
        sqlite::Database check(supportFolder() / "Corvaline-v2.storedata");
        EXPECT_EQ(check.scalar("SELECT count(*) FROM pragma_integrity_check WHERE "
                               "integrity_check != 'ok'"),
                  0);
    }
    auto* context = store.managedObjectContext();
    ASSERT_NE(context, nullptr);
    auto users = context->fetch<User>();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_GE(users[0]->logEntriesNumber(), std::size_t{reported} * 20);
}

}  // namespace
}  // namespace corvaline
