// corvaline-fill-store: writes a roster into the store of $HOME before a program starts, for
// the end-to-end tests and the screenshots.
//
//   corvaline-fill-store [--me NAME] GROUP/USERID/NAME/STATE...
//
// STATE is online, offline or removed; groups are made as named, in order. Opens no port.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "node/CommandText.h"

int main(int argc, char** argv) {
    using namespace corvaline;
    ObjectContext* context = AppManagedObjectContext();
    if (!context) {
        std::fprintf(stderr, "corvaline-fill-store: the store cannot be opened\n");
        return 1;
    }
    std::map<std::string, std::shared_ptr<Group>> groups;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--me" && i + 1 < argc) {
            Me::getMe(*context)->setName(argv[++i]);
            continue;
        }
        const auto fields = node::split(argument, '/');
        if (fields.size() != 4) {
            std::fprintf(stderr,
                         "usage: corvaline-fill-store [--me NAME] GROUP/USERID/NAME/STATE...\n");
            return 2;
        }
        auto& group = groups[fields[0]];
        if (!group) {
            group = Group::insertNamed(*context, fields[0]);
            group->setExpanded(true);
        }
        auto user = context->insert<User>();
        user->setUserId(fields[1]);
        user->setName(fields[2]);
        user->setStatus(fields[3] == "online" ? "0" : "10");
        user->setIp("10.231.77.99");
        user->setGroup(group.get());
        user->setRemoved(fields[3] == "removed");
    }
    for (const auto& group : context->fetch<Group>()) {
        group->setExpanded(true);  // "General" with the local user too
    }
    context->save();
    return 0;
}
