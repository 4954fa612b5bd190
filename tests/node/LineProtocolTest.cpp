#include "node/LineProtocol.h"

#include <gtest/gtest.h>

namespace corvaline::node {
namespace {

TEST(LineProtocol, FieldsSurviveTheRoundTrip) {
    const std::vector<std::vector<std::string>> cases = {
        {"send", "A123456789", "hello"},
        {"message", "A1", "0", "0", "tab\there, newline\nthere, backslash \\ and \\t literally"},
        {"message", "A1", "0", "0", "Привет 👋 ¦"},
        {"empty", "", ""},
        {"trailing\\"},
    };
    for (const auto& fields : cases) {
        std::string line = formatLine(fields);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(parseLine(line), fields) << line;
    }
}

TEST(LineProtocol, ReadsHandWrittenLines) {
    EXPECT_EQ(parseLine("send\tA1\ta\\tb"), (std::vector<std::string>{"send", "A1", "a\tb"}));
    EXPECT_EQ(parseLine("x\\q\\"), (std::vector<std::string>{"x\\q\\"}));
    EXPECT_EQ(parseLine(""), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace corvaline::node
