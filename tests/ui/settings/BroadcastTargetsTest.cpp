#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
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

TEST_F(BroadcastTargetsTest, AnInvalidEntryKeepsTheWindowOpenAndSaysWhatIsWrong) {
    const struct {
        int type;
        const char* first;
        const char* second;
        const char* problem;
    } cases[] = {
        {3, "10.0.0.9", "10.0.0.2", "The first address comes after the last one."},
        {3, "10.0.0.1", "10.0.39.18",
         "The range is too long: the last address may lie at most 10000 addresses after the "
         "first."},
        {1, "", "", "Type an IP address, such as 192.168.0.255."},
        {2, "", "255.255.255.0", "Type an IP address, such as 192.168.0.255."},
        {2, "192.168.1.7", "", "Type a subnet mask, such as 255.255.255.0."},
        {3, "10.0.0.1", "", "Type an IP address, such as 192.168.0.50."},
    };
    for (const auto& c : cases) {
        // What the fields are given goes through their correction as typed text does.
        enter(c.type, QString::fromUtf8(c.first), QString::fromUtf8(c.second));
        EXPECT_TRUE(add_->isVisible()) << c.first << " " << c.second;
        EXPECT_TRUE(add_->problem()->isVisible()) << c.first << " " << c.second;
        EXPECT_EQ(add_->problem()->text(), QString::fromUtf8(c.problem));
        EXPECT_TRUE(stored().empty()) << c.first << " " << c.second;
        add_->reject();
    }
    enter(1, QStringLiteral("192.168.1.255"), {}, false);  // valid, but cancelled
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(presence_.refreshes, 0);
    // Mended, the entry goes in and the window closes; the next opening says nothing.
    enter(3, QStringLiteral("10.0.0.9"), QStringLiteral("10.0.0.2"));
    ASSERT_TRUE(add_->problem()->isVisible());
    add_->field2()->setText(QStringLiteral("10.0.0.12"));
    add_->accept();
    EXPECT_FALSE(add_->isVisible());
    EXPECT_EQ(stored().size(), 1u);
    EXPECT_EQ(presence_.refreshes, 1);
    targets_->addButton()->click();
    EXPECT_FALSE(add_->problem()->isVisible());
    add_->reject();
}

TEST_F(BroadcastTargetsTest, AddressFieldsCorrectWhatIsTypedAndCompleteWhatIsLeftShort) {
    targets_->addButton()->click();
    add_->radios()->button(2)->click();
    add_->field1()->clear();
    add_->field2()->clear();
    QTest::keyClicks(add_->field1(), QStringLiteral("1921x68.01.7"));
    EXPECT_EQ(add_->field1()->text(), QStringLiteral("192.168.1.7"));
    QTest::keyClicks(add_->field2(), QStringLiteral("255.255.255"));
    add_->accept();  // the mask is completed to 255.255.255.0
    EXPECT_FALSE(add_->isVisible());
    ASSERT_EQ(stored().size(), 1u);
    EXPECT_EQ(stored()[0]["look"], "192.168.1.7/255.255.255.0");
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
