#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>

#include "core/model/defaults/DefaultsKeys.h"
#include "ui/settings/AddBroadcastWindow.h"
#include "ui/settings/BroadcastTargets.h"
#include "ui/settings/SettingsTest.h"

namespace corvaline::testing {
namespace {

class BroadcastTargetsTest : public SettingsTest {
  protected:
    void SetUp() override {
        SettingsTest::SetUp();
        window_->setTabName(QStringLiteral("Network"));
        targets_ = window_->broadcasts();
        add_ = targets_->addWindow();
    }

    // Opens the add window, types the entry and closes it with Add (or Cancel).
    void enter(int type, const QString& first, const QString& second, bool add = true) {
        targets_->addButton()->click();
        ASSERT_TRUE(add_->isVisible());
        add_->radios()->button(type)->click();
        add_->field1()->setText(first);
        add_->field2()->setText(second);
        add ? add_->accept() : add_->reject();
    }

    nlohmann::json stored() const {
        return UserDefaults::standard()
            .arrayForKey(defaults::kBroadcasts)
            .value_or(nlohmann::json::array());
    }

    ui::BroadcastTargets* targets_ = nullptr;
    ui::AddBroadcastWindow* add_ = nullptr;
};

TEST_F(BroadcastTargetsTest, EachTypeHasItsLabelsToolTipsAndFields) {
    const struct {
        int type;
        const char* label1;
        const char* tip1;
        const char* label2;
        const char* tip2;
        bool twoFields;
    } cases[] = {
        {2, "Subnet/IP address:", "Example: 192.168.0.0 or 192.168.0.5",
         "Subnet mask:", "Example: 255.255.255.0", true},
        {1, "IP/broadcast address:", "Example: 192.168.0.1 or 192.168.0.255", "Subnet mask:",
         "Example: 255.255.255.0", false},  // the second field keeps its texts, hidden
        {3, "First IP address:", "Example: 192.168.0.1",
         "Last IP address:", "Example: 192.168.0.50", true},
    };
    targets_->addButton()->click();
    for (const auto& c : cases) {
        add_->radios()->button(c.type)->click();
        EXPECT_EQ(add_->label1()->text(), c.label1) << c.type;
        EXPECT_EQ(add_->field1()->toolTip(), c.tip1) << c.type;
        EXPECT_EQ(add_->label2()->text(), c.label2) << c.type;
        EXPECT_EQ(add_->field2()->toolTip(), c.tip2) << c.type;
        EXPECT_EQ(add_->field2()->isVisible(), c.twoFields) << c.type;
    }
    add_->reject();
    targets_->addButton()->click();
    EXPECT_EQ(add_->type(), 1);  // every opening starts with a single address
    add_->reject();
}

TEST_F(BroadcastTargetsTest, ASubnetIsStoredAsItsTargetAndAnnouncedToOnce) {
    enter(2, QStringLiteral("192.168.1.7"), QStringLiteral("255.255.255.0"));
    const auto targets = stored();
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0], (nlohmann::json{{"look", "192.168.1.7/255.255.255.0"},
                                          {"type", "2"},
                                          {"value1", "108736"},
                                          {"value2", "16777215"}}));
    EXPECT_EQ(presence_.refreshes, 1);
    ASSERT_EQ(targets_->list()->count(), 1);
    EXPECT_EQ(targets_->list()->item(0)->text(), QStringLiteral("192.168.1.7/255.255.255.0"));
    // The fields keep their texts for the next use.
    targets_->addButton()->click();
    EXPECT_EQ(add_->field1()->text(), QStringLiteral("192.168.1.7"));
    add_->reject();
}

TEST_F(BroadcastTargetsTest, InvalidOrCancelledEntriesAddNothing) {
    const struct {
        int type;
        const char* first;
        const char* second;
        bool add;
    } cases[] = {
        {3, "10.0.0.9", "10.0.0.2", true},    // first address above the last
        {3, "10.0.0.1", "10.0.39.18", true},  // more than 10000 apart
        {1, "192.168.1", "", true},           // three pieces
        {2, "192.168.1.7", "", true},         // no mask
        {1, "192.168.1.255", "", false},      // valid, but cancelled
    };
    for (const auto& c : cases) {
        enter(c.type, QString::fromLatin1(c.first), QString::fromLatin1(c.second), c.add);
        EXPECT_TRUE(stored().empty()) << c.first << " " << c.second;
    }
    EXPECT_EQ(presence_.refreshes, 0);
    enter(3, QStringLiteral("10.0.0.1"), QStringLiteral("10.0.39.17"));
    EXPECT_EQ(stored().size(), 1u);
    EXPECT_EQ(presence_.refreshes, 1);
}

TEST_F(BroadcastTargetsTest, RemoveWorksOnlyOnSelectedRows) {
    enter(1, QStringLiteral("10.1.1.255"), {});
    enter(1, QStringLiteral("10.2.2.255"), {});
    enter(1, QStringLiteral("10.3.3.255"), {});
    auto* list = targets_->list();
    ASSERT_EQ(list->count(), 3);
    EXPECT_FALSE(targets_->removeButton()->isEnabled());
    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    EXPECT_TRUE(targets_->removeButton()->isEnabled());
    targets_->removeButton()->click();
    const auto targets = stored();
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0]["look"], "10.2.2.255");
    EXPECT_EQ(list->count(), 1);
    EXPECT_FALSE(targets_->removeButton()->isEnabled());
    targets_->segmentedButtonClick(1);  // nothing selected: nothing goes
    EXPECT_EQ(stored().size(), 1u);
}

}  // namespace
}  // namespace corvaline::testing
