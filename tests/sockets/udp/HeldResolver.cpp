#include "HeldResolver.h"

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>

namespace corvaline::testing {
namespace {

struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    std::condition_variable passedOne;
    bool open = false;
    int passed = 0;
};

Gate& gate() {
    static Gate instance;
    return instance;
}

}  // namespace

void HeldResolver::release() {
    std::lock_guard lock(gate().mutex);
    gate().open = true;
    gate().opened.notify_all();
}

void HeldResolver::holdAgain() {
    std::lock_guard lock(gate().mutex);
    gate().open = false;
}

int HeldResolver::passedLookups() {
    std::lock_guard lock(gate().mutex);
    return gate().passed;
}

bool HeldResolver::waitForPassedLookups(int count) {
    std::unique_lock lock(gate().mutex);
    return gate().passedOne.wait_for(lock, std::chrono::seconds(10),
                                     [count] { return gate().passed >= count; });
}

}  // namespace corvaline::testing

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** results) {
    using corvaline::testing::gate;
    std::string_view name = node ? node : "";
    if (name.ends_with(".invalid")) {
        if (name == "held.invalid") {
            std::unique_lock lock(gate().mutex);
            gate().opened.wait(lock, [] { return gate().open; });
        }
        return EAI_NONAME;
    }
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto system = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    int status = system(node, service, hints, results);
    std::lock_guard lock(gate().mutex);
    ++gate().passed;
    gate().passedOne.notify_all();
    return status;
}
