#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "ui/format/ByteCounts.h"
#include "ui/format/DateText.h"
#include "ui/format/IPv4Validator.h"
#include "ui/format/NameValidator.h"

namespace corvaline::ui {
namespace {

enum class Entry { Typed, Pasted, TypedAndLeft };

// What the field shows after `text` went into an empty field as `entry` says.
QString entered(QValidator* validator, const QString& text, Entry entry = Entry::Typed) {
    QLineEdit field;
    field.setValidator(validator);
    if (entry == Entry::Pasted) {
        field.insert(text);
    } else {
        QTest::keyClicks(&field, text);
    }
    if (entry == Entry::TypedAndLeft) {
        QTest::keyClick(&field, Qt::Key_Return);
    }
    return field.text();
}

TEST(FieldFormattersTest, AddressFieldsCorrectWhatIsTypedAndCompleteWhenLeft) {
    const struct {
        const char* text;
        Entry entry;
        const char* shown;
    } table[] = {
        {"0", Entry::Typed, ""},
        {"010", Entry::Typed, "10"},
        {"300", Entry::Typed, "30.0"},
        {"1921", Entry::Typed, "192.1"},
        {"1x2y", Entry::Typed, "12"},
        {"1..2", Entry::Typed, "1.2"},
        {"1.2.3.4.5", Entry::Pasted, "1.2.3.4"},
        {"1.2.3.4.5", Entry::Typed, "1.2.3.45"},
        {"10.1", Entry::TypedAndLeft, "10.1.0.0"},
        {"192.168.1.", Entry::TypedAndLeft, "192.168.1.0"},
    };
    for (const auto& row : table) {
        IPv4Validator validator;
        EXPECT_EQ(entered(&validator, row.text, row.entry), row.shown) << row.text;
    }
    IPv4Validator validator;
    QString empty;
    validator.fixup(empty);
    EXPECT_EQ(empty, "0.0.0.0");
}

TEST(FieldFormattersTest, UserNamesLoseForbiddenCharactersGroupNamesKeepThem) {
    NameValidator users(true, nullptr);
    EXPECT_EQ(entered(&users, "a:b*c"), "abc");
    NameValidator groups(false, nullptr);
    EXPECT_EQ(entered(&groups, "a:b*c"), "a:b*c");
}

TEST(FieldFormattersTest, AnEmptiedNameRevertsWhenTheFieldIsLeft) {
    NameValidator groups(false, nullptr);
    QLineEdit field("Friends");
    field.setValidator(&groups);
    groups.beginEditing(field.text());
    field.selectAll();
    QTest::keyClick(&field, Qt::Key_Backspace);
    EXPECT_EQ(field.text(), "");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(field.text(), "Friends");
}

TEST(FieldFormattersTest, ByteCountsUseDecimalUnitsSteppingOnlyAboveOneThousand) {
    const std::pair<std::int64_t, const char*> table[] = {
        {0, "0 bytes"},           {1000, "1,000 bytes"},         {1001, "1.00 KB"},
        {1000000, "1,000.00 KB"}, {999999999999, "1,000.00 GB"}, {1000000000001, "1.00 TB"},
    };
    for (const auto& [count, text] : table) {
        EXPECT_EQ(byteCountText(count), text) << count;
    }
    EXPECT_EQ(&SharedByteCountFormatter(), &SharedByteCountFormatter());
}

TEST(FieldFormattersTest, DatesOfTodayShowTheTimeAloneOthersTheDayToo) {
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime earlier = now.time().hour() > 0 ? now.addSecs(-60) : now;
    const QString today = DateText::format(earlier, false);
    const QString forced = DateText::format(earlier, true);
    EXPECT_LT(today.size(), forced.size());
    EXPECT_TRUE(forced.endsWith(today)) << forced.toStdString() << " / " << today.toStdString();
    const QString yesterday = DateText::format(now.addDays(-1), false);
    EXPECT_GT(yesterday.size(), today.size());
    EXPECT_EQ(DateText::format(std::nullopt, false).size(), today.size());
}

}  // namespace
}  // namespace corvaline::ui
