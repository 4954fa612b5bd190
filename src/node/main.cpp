// corvaline-node: the messenger without windows, for tests and diagnostics.
//
//   corvaline-node [--default KEY=JSON]...
//
// Commands on standard input and events on standard output, one per line, fields separated
// by TAB, with \t, \n and \\ inside fields:
//   name TEXT | status CODE | send USERID TEXT | mass USERID,USERID,... TEXT | typing USERID
//   info USERID (answers "info USERID KEY=VALUE..." and asks for fresh values)
//   roster (user lines, then "end") | history USERID (entry lines, then "end") | quit
//   files USERID PATH... (answers "transfer N"; plainfiles: the same, data not encrypted)
//   transfer N STATE (the decision on a transfer: 1 accept, 0 refuse or cancel)
//   chat USERID,USERID,... (answers "chat ROOMID") | chat-send ROOMID TEXT | chat-leave ROOMID
//   help (answers "help COMMAND FIELDS" for each command)
// A space may stand for the TAB after the command, so that a person can type "status 1".
// Events: ready USERID SESSIONID NAME | user USERID STATUS NAME IP | message FROMID MASS
// OFFLINE TEXT | typing FROMID | chat-message ROOMID FROMID TEXT | chat-joined ROOMID
// USERID,... | chat-left ROOMID USERID | stopped | error TEXT
// | transfer N STATE FROMID FILES BYTES FOLDER (each new state of a transfer; FILES and BYTES
//   as offered, FOLDER the receiving folder)
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "app/defaults/RegisteredDefaults.h"
#include "node/CommandReader.h"
#include "node/CommandText.h"
#include "node/LineProtocol.h"
#include "node/Node.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/locale/PreferredLanguages.h"
#include "platform/runloop/MainLoop.h"

namespace {

// Stores every "--default KEY=JSON"; false after printing why an argument is wrong.
bool storeDefaults(int argc, char** argv, corvaline::UserDefaults& defaults) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option != "--default" || i + 1 == argc) {
            std::fprintf(stderr, "usage: corvaline-node [--default KEY=JSON]...\n");
            return false;
        }
        const std::string setting = argv[++i];
        const auto equals = setting.find('=');
        auto value = nlohmann::json::parse(
            equals == std::string::npos ? std::string() : setting.substr(equals + 1), nullptr,
            false);
        if (equals == 0 || equals == std::string::npos || value.is_discarded()) {
            std::fprintf(stderr, "corvaline-node: not KEY=JSON: %s\n", setting.c_str());
            return false;
        }
        defaults.setObject(setting.substr(0, equals), std::move(value));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvaline;
    auto& defaults = UserDefaults::standard();
    registerApplicationDefaults(defaults, preferredLanguages());
    if (!storeDefaults(argc, argv, defaults)) {
        return 2;
    }
    auto loop = std::make_shared<MainLoop>();
    defaults.coalesceWritesOn(loop);
    const auto print = [](const std::vector<std::string>& fields) {
        std::cout << node::formatLine(fields) << '\n' << std::flush;
    };
    node::Node messenger(loop, print);
    messenger.start();
    node::CommandReader reader(
        *loop,
        [&](const std::string& line) {
            const auto command = node::parseLine(node::typedCommand(line));
            if (!node::isHelp(command)) {
                messenger.handle(command);
                return;
            }
            for (const auto& usage : node::commandList()) {
                print({"help", usage});
            }
        },
        [&] { messenger.handle({"quit"}); });
    loop->run();
    defaults.coalesceWritesOn({});  // writes what the last turns changed
    return 0;
}
