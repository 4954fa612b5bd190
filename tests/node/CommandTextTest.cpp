#include "node/CommandText.h"

#include <gtest/gtest.h>

#include "node/LineProtocol.h"

namespace corvaline::node {
namespace {

TEST(CommandText, ASpaceAfterTheCommandStandsForATab) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"status 1", {"status", "1"}},
        {"name Ann Lee", {"name", "Ann Lee"}},
        {"send A1\thello there", {"send", "A1", "hello there"}},  // only the first separator
        {"send\tA1\thi there", {"send", "A1", "hi there"}},
        {"roster", {"roster"}},
        {" status", {" status"}},
        {"help", {"help"}},
    };
    for (const auto& [line, fields] : cases) {
        EXPECT_EQ(parseLine(typedCommand(line)), fields) << line;
    }
}

TEST(CommandText, HelpListsEveryCommand) {
    EXPECT_TRUE(isHelp({"help"}));
    EXPECT_FALSE(isHelp({"help", "me"}));
    const auto list = commandList();
    for (const char* verb :
         {"name", "status", "send", "mass", "typing", "info", "roster", "history", "files",
          "plainfiles", "transfer", "chat", "chat-send", "chat-leave", "help", "quit"}) {
        EXPECT_TRUE(std::any_of(list.begin(), list.end(), [&](const std::string& usage) {
            return usage == verb || usage.starts_with(std::string(verb) + " ");
        })) << verb;
    }
}

}  // namespace
}  // namespace corvaline::node
