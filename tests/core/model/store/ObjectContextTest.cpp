#include "core/model/store/ObjectContext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/model/store/Sqlite.h"
#include "core/model/store/TestModel.h"
#include "support/TempFolder.h"

namespace corvaline {
namespace {

using namespace std::chrono_literals;

class ObjectContextTest : public ::testing::Test {
  protected:
    void SetUp() override { context_ = ObjectContext::open(file_, *model_); }
    void TearDown() override { context_.reset(); }
    void reopen() {
        context_.reset();
        context_ = ObjectContext::open(file_, *model_);
    }
    std::shared_ptr<ManagedObject> person(const std::string& name, const char* entity = "Person") {
        auto object = context_->insertNewObject(entity);
        object->setValue("name", name);
        return object;
    }
    std::shared_ptr<ManagedObject> note(const std::string& text, int minute,
                                        std::vector<ManagedObject*> people) {
        auto object = context_->insertNewObject("Note");
        object->setValue("text", text);
        object->setValue("written", Date{} + std::chrono::minutes(minute));
        for (auto* someone : people) {
            object->addToMany("people", someone);
        }
        return object;
    }
    static FetchRequest newestNotesOf(const ManagedObject& someone, std::size_t limit) {
        return {"Note",
                {FetchCondition::contains("people", someone), FetchCondition::isNull("team")},
                "written",
                false,
                limit};
    }
    static std::vector<std::string> texts(
        const std::vector<std::shared_ptr<ManagedObject>>& notes) {
        std::vector<std::string> result;
        for (const auto& note : notes) {
            result.push_back(std::get<std::string>(note->value("text")));
        }
        return result;
    }

    std::unique_ptr<ManagedObjectModel> model_ = testing::makeTestModel();
    testing::TempFolder folder_;
    std::filesystem::path file_ = folder_.path() / "test.storedata";
    std::unique_ptr<ObjectContext> context_;
};

TEST_F(ObjectContextTest, RoundTripKeepsAttributesRelationshipsAndSubEntities) {
    auto team = context_->insertNewObject("Team");
    team->setValue("name", std::string("Blue"));
    auto ann = person("Ann");
    auto bob = person("Bob", "Chief");
    bob->setValue("rank", std::string("captain"));
    ann->setToOne("team", team.get());
    team->addToMany("members", bob.get());
    ASSERT_EQ(team->toMany("members").size(), 2u);
    context_->save();
    reopen();

    auto people = context_->objects("Person");
    ASSERT_EQ(people.size(), 2u);  // the Chief counts as a Person
    EXPECT_EQ(context_->objects("Chief").size(), 1u);
    auto teams = context_->objects("Team");
    ASSERT_EQ(teams.size(), 1u);
    EXPECT_EQ(teams[0]->toMany("members").size(), 2u);
    EXPECT_EQ(people[1]->toOne("team"), teams[0].get());
    EXPECT_EQ(std::get<std::string>(people[1]->value("rank")), "captain");
    EXPECT_FALSE(context_->hasChanges());
}

TEST_F(ObjectContextTest, ObserversHearValuesAndTheInverseSide) {
    auto team = context_->insertNewObject("Team");
    auto ann = person("Ann");
    std::vector<std::string> heard;
    auto name = ann->observe("name", [&] { heard.push_back("name"); });
    auto members = team->observe("members", [&] { heard.push_back("members"); });
    ann->setValue("name", std::string("Anna"));
    ann->setPrimitiveValue("name", std::string("Ann"));
    ann->setToOne("team", team.get());
    EXPECT_EQ(heard, (std::vector<std::string>{"name", "members"}));
}

TEST_F(ObjectContextTest, DeletingNullifiesBothSidesInMemoryAndInTheStore) {
    auto team = context_->insertNewObject("Team");
    auto ann = person("Ann");
    ann->setToOne("team", team.get());
    auto kept = note("kept", 1, {ann.get()});
    context_->save();

    context_->deleteObject(*team);
    EXPECT_EQ(ann->toOne("team"), nullptr);
    EXPECT_TRUE(context_->objects("Team").empty());
    context_->deleteObject(*ann);
    EXPECT_TRUE(kept->toMany("people").empty());
    context_->save();
    kept.reset();
    reopen();

    EXPECT_TRUE(context_->objects("Person").empty());
    auto notes = context_->execute({"Note", {}, "", true, 0});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(notes[0]->toMany("people").empty());
}

TEST_F(ObjectContextTest, HistoryQueriesSeeStoredAndPendingEntriesNewestFirst) {
    auto ann = person("Ann");
    auto bob = person("Bob");
    auto team = context_->insertNewObject("Team");
    note("one", 1, {ann.get()});
    note("two", 2, {ann.get(), bob.get()});
    note("bob only", 3, {bob.get()});
    note("team", 4, {ann.get()})->setToOne("team", team.get());
    context_->save();
    auto five = note("five", 5, {ann.get()});  // not saved yet

    EXPECT_EQ(texts(context_->execute(newestNotesOf(*ann, 2))),
              (std::vector<std::string>{"five", "two"}));
    EXPECT_EQ(context_->count(newestNotesOf(*ann, 0)), 3u);
    context_->deleteObject(*five);
    EXPECT_EQ(texts(context_->execute(newestNotesOf(*ann, 0))),
              (std::vector<std::string>{"two", "one"}));
    EXPECT_EQ(context_->count({"Note", {FetchCondition::relatedTo("team", *team)}, "", true, 0}),
              1u);
    // Once its team is deleted, the team's note (not in memory) belongs to nobody's team.
    context_->deleteObject(*team);
    EXPECT_EQ(texts(context_->execute(newestNotesOf(*ann, 0))),
              (std::vector<std::string>{"team", "two", "one"}));
    context_->save();
    EXPECT_EQ(context_->count(newestNotesOf(*ann, 0)), 3u);
}

TEST_F(ObjectContextTest, PagesOfAHistoryStartAfterAGivenRowWithAndWithoutUnsavedEntries) {
    auto ann = person("Ann");
    std::vector<std::shared_ptr<ManagedObject>> notes;
    for (int minute = 1; minute <= 5; ++minute) {
        notes.push_back(note("n" + std::to_string(minute), minute, {ann.get()}));
    }
    auto twin = note("n3 twin", 3, {ann.get()});  // the same time as n3, a later id
    context_->save();
    auto page = [&](const ManagedObject& after, std::size_t limit, bool ascending) {
        auto request = newestNotesOf(*ann, limit);
        request.ascending = ascending;
        request.after = FetchRequest::Position{after.value("written"), after.objectId()};
        return texts(context_->execute(request));
    };
    using Texts = std::vector<std::string>;
    EXPECT_EQ(page(*notes[4], 2, false), (Texts{"n4", "n3 twin"}));
    EXPECT_EQ(page(*twin, 0, false), (Texts{"n3", "n2", "n1"}));
    EXPECT_EQ(page(*notes[2], 2, true), (Texts{"n3 twin", "n4"}));
    EXPECT_EQ(page(*notes[0], 0, false), Texts{});

    note("n0", 0, {ann.get()});  // unsaved, and the oldest of all
    EXPECT_EQ(page(*notes[1], 0, false), (Texts{"n1", "n0"}));
    EXPECT_EQ(page(*notes[3], 1, true), (Texts{"n5"}));
}

TEST_F(ObjectContextTest, ATeamGivenToASavedNoteLeavesItsPeoplesHistory) {
    auto ann = person("Ann");
    auto team = context_->insertNewObject("Team");
    auto first = note("first", 1, {ann.get()});
    note("second", 2, {ann.get()});
    context_->save();

    first->setToOne("team", team.get());
    EXPECT_EQ(texts(context_->execute(newestNotesOf(*ann, 0))),
              (std::vector<std::string>{"second"}));
    context_->save();
    reopen();
    ann = context_->objects("Person")[0];
    EXPECT_EQ(context_->count(newestNotesOf(*ann, 0)), 1u);
    EXPECT_EQ(texts(context_->execute(newestNotesOf(*ann, 5))),
              (std::vector<std::string>{"second"}));
}

// Saved histories are counted from counts the store keeps beside the rows: after every kind
// of change they must agree with the rows themselves.
TEST_F(ObjectContextTest, StoredCountsFollowEveryChangeOfTheRows) {
    auto ann = person("Ann");
    auto bob = person("Bob");
    auto team = context_->insertNewObject("Team");
    note("shared", 1, {ann.get(), bob.get()});
    auto gone = note("gone", 2, {ann.get()});
    note("bob's", 3, {bob.get()});
    auto teamed = note("teamed later", 4, {ann.get(), bob.get()});
    context_->save();
    const std::vector<std::function<void()>> changes{
        [&] { context_->deleteObject(*gone); },
        [&] { teamed->setToOne("team", team.get()); },
        [&] { context_->deleteObject(*team); },
        [&] { context_->moveRelated(*bob, "notes", *ann); },
    };
    for (std::size_t step = 0; step < changes.size(); ++step) {
        changes[step]();
        context_->save();
        for (const auto* someone : {ann.get(), bob.get()}) {
            EXPECT_EQ(context_->count(newestNotesOf(*someone, 0)),
                      context_->execute(newestNotesOf(*someone, 0)).size())
                << "step " << step << ", " << std::get<std::string>(someone->value("name"));
        }
    }
    EXPECT_EQ(context_->count(newestNotesOf(*ann, 0)), 3u);  // shared, teamed later, bob's
    EXPECT_EQ(context_->count(newestNotesOf(*bob, 0)), 0u);
}

TEST_F(ObjectContextTest, MovingAHistoryReachesRowsNotInMemory) {
    auto old = person("Old");
    auto fresh = person("Fresh");
    note("a", 1, {old.get()});
    note("b", 2, {old.get(), fresh.get()});
    context_->save();
    reopen();
    old = context_->objects("Person")[0];
    fresh = context_->objects("Person")[1];

    context_->moveRelated(*old, "notes", *fresh);
    context_->deleteObject(*old);
    EXPECT_EQ(texts(context_->execute(newestNotesOf(*fresh, 0))),
              (std::vector<std::string>{"b", "a"}));
    context_->save();
    reopen();
    fresh = context_->objects("Person")[0];
    EXPECT_EQ(texts(context_->execute(newestNotesOf(*fresh, 0))),
              (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(context_->count(newestNotesOf(*fresh, 0)), 2u);
}

// Queries by value are prepared once and kept; a kept one must let go of the rows it read, or
// the log could never be carried into the store and would grow for the rest of the session.
TEST_F(ObjectContextTest, KeptQueriesLeaveTheLogFreeToBeCheckpointed) {
    auto ann = person("Ann");
    note("a", 1, {ann.get()});
    note("b", 2, {ann.get()});
    context_->save();
    const FetchRequest byText{"Note", {FetchCondition::equals("text", std::string("a"))}, "", true};
    for (int round = 0; round < 2; ++round) {  // the second round uses the kept statements
        EXPECT_EQ(context_->count(byText), 1u);
        EXPECT_EQ(texts(context_->execute(byText)), (std::vector<std::string>{"a"}));
        sqlite::Database other(file_);
        auto checkpoint = other.prepare("PRAGMA wal_checkpoint(TRUNCATE)");
        ASSERT_TRUE(checkpoint.step());
        EXPECT_EQ(checkpoint.integer(0), 0) << "round " << round << ": a reader held the log";
    }
}

TEST_F(ObjectContextTest, SaveWithoutChangesLeavesTheFilesAlone) {
    person("Ann");
    context_->save();
    const auto wal = std::filesystem::path(file_.string() + "-wal");
    const auto sizeBefore = std::filesystem::file_size(wal);
    const auto timeBefore = std::filesystem::last_write_time(wal);
    const auto mainBefore = std::filesystem::last_write_time(file_);

    context_->objects("Person")[0]->setValue("name", std::string("Ann"));  // the same value
    EXPECT_FALSE(context_->hasChanges());
    context_->save();
    EXPECT_EQ(std::filesystem::file_size(wal), sizeBefore);
    EXPECT_EQ(std::filesystem::last_write_time(wal), timeBefore);
    EXPECT_EQ(std::filesystem::last_write_time(file_), mainBefore);
}

TEST_F(ObjectContextTest, AFailedSaveWritesNothingAndKeepsTheChangesPending) {
    person("Ann");
    context_->save();
    context_->objects("Person")[0]->setValue("age", std::int64_t{40});
    person("Bob");
    person("Bad");  // written after Bob, and refused
    {
        sqlite::Database other(file_);
        other.execute(
            "CREATE TRIGGER refuse BEFORE INSERT ON Person WHEN NEW.name = 'Bad' "
            "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
    EXPECT_THROW(context_->save(), sqlite::Error);
    EXPECT_TRUE(context_->hasChanges());
    {
        sqlite::Database other(file_);
        EXPECT_EQ(other.scalar("SELECT count(*) FROM Person"), 1);
        EXPECT_EQ(other.scalar("SELECT count(*) FROM Person WHERE age IS NULL"), 1);
        other.execute("DROP TRIGGER refuse");
    }
    context_->save();
    reopen();
    auto people = context_->objects("Person");
    ASSERT_EQ(people.size(), 3u);
    EXPECT_EQ(std::get<std::int64_t>(people[0]->value("age")), 40);
}

TEST_F(ObjectContextTest, IndexedTextsFollowInsertsChangesDeletesAndReloads) {
    // The names of the people found by name, in order of insertion.
    const auto found = [&](const char* entity, const char* name) {
        std::vector<std::int64_t> ids;
        for (const auto& object : context_->objectsWith(entity, "name", name)) {
            ids.push_back(object->objectId());
        }
        return ids;
    };
    using Ids = std::vector<std::int64_t>;
    const auto ann = person("Ann")->objectId();
    auto bob = person("Bob");
    auto chief = person("Ann", "Chief");
    EXPECT_EQ(found("Person", "Ann"), (Ids{ann, chief->objectId()}));
    EXPECT_EQ(found("Chief", "Ann"), Ids{chief->objectId()});
    EXPECT_EQ(found("Person", "ann"), Ids{});

    bob->setValue("name", std::string("Ann"));
    bob->setPrimitiveValue("name", std::string("Cid"));  // saved all the same: found all the same
    EXPECT_EQ(found("Person", "Bob"), Ids{});
    EXPECT_EQ(found("Person", "Cid"), Ids{bob->objectId()});
    chief->setValue("name", Value{});
    EXPECT_EQ(found("Person", "Ann"), Ids{ann});
    chief->setValue("name", std::string("Cid"));
    context_->deleteObject(*bob);
    bob->setValue("name", std::string("Dee"));  // a deleted object is not found again
    EXPECT_EQ(found("Person", "Cid"), Ids{chief->objectId()});
    EXPECT_EQ(found("Person", "Dee"), Ids{});

    context_->save();
    reopen();
    EXPECT_EQ(found("Person", "Ann"), Ids{ann});
    EXPECT_EQ(found("Chief", "Cid"), Ids{chief->objectId()});
    context_->deleteObject(*context_->objectsWith("Person", "name", "Ann").front());
    context_->save();
    EXPECT_EQ(found("Person", "Ann"), Ids{});

    EXPECT_THROW(context_->objectsWith("Chief", "rank", "x"), std::logic_error);  // not indexed
    EXPECT_THROW(context_->objectsWith("Note", "text", "x"), std::logic_error);   // on demand
    EXPECT_THROW(context_->objectsWith("Person", "none", "x"), std::logic_error);
}

TEST(StoreSchemaTest, AnOlderStoreGainsTheNewColumnsAndKeepsItsRows) {
    testing::TempFolder folder;
    const auto file = folder.path() / "schema.storedata";
    auto version1 = testing::makeTestModel(1);
    auto version2 = testing::makeTestModel(2, true);
    {
        auto context = ObjectContext::open(file, *version1);
        context->insertNewObject("Person")->setValue("name", std::string("Ann"));
        context->save();
    }
    {
        auto context = ObjectContext::open(file, *version2);
        auto people = context->objects("Person");
        ASSERT_EQ(people.size(), 1u);
        people[0]->setValue("nickname", std::string("Annie"));
        context->save();
    }
    // A store written by the newer schema is not opened by the older one.
    EXPECT_THROW(ObjectContext::open(file, *version1), sqlite::Error);
}

}  // namespace
}  // namespace corvaline
