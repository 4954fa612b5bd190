#include "platform/kvo/Observable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace corvaline {
namespace {

class Person : public Observable {
  public:
    void setName(std::string name) {
        name_ = std::move(name);
        didChange("name");
    }
    void setStatus(int status) {
        status_ = status;
        didChange("status");
    }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    int status_ = 0;
};

TEST(ObservableTest, CallsObserversOfThatKeyOfThatObjectOnly) {
    Person alice, bob;
    std::vector<std::string> seen;
    auto token = alice.observe("name", [&] { seen.push_back(alice.name()); });
    Person copy = alice;  // observers watch alice, not her value

    alice.setName("Alice");
    alice.setStatus(2);
    bob.setName("Bob");
    copy.setName("Copy");
    EXPECT_EQ(seen, std::vector<std::string>{"Alice"});

    token.remove();
    alice.setName("Alicia");
    EXPECT_EQ(seen, std::vector<std::string>{"Alice"});
}

TEST(ObservableTest, RemovalAndDestructionDuringCallbackAreSafe) {
    auto person = std::make_unique<Person>();
    int selfRemoving = 0, removedByOther = 0, destroying = 0;
    ObservationToken a, b, c;
    a = person->observe("name", [&] {
        ++selfRemoving;
        a.remove();
        b.remove();
    });
    b = person->observe("name", [&] { ++removedByOther; });
    c = person->observe("name", [&] {
        ++destroying;
        person.reset();  // e.g. a window that closes and frees its model
    });

    person->setName("x");
    EXPECT_EQ(selfRemoving, 1);
    EXPECT_EQ(removedByOther, 0);
    EXPECT_EQ(destroying, 1);
    EXPECT_EQ(person, nullptr);
    c.remove();  // outlives the object
}

}  // namespace
}  // namespace corvaline
