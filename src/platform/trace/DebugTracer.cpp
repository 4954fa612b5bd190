#include "platform/trace/DebugTracer.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace corvaline {

namespace {

std::atomic<bool>& enabledFlag() {
    static std::atomic<bool> flag{DebugTracer::requestedBy(std::getenv("CORVALINE_TRACE"))};
    return flag;
}

void write(std::string_view kind, std::string_view text, int32_t number) {
    if (!DebugTracer::isEnabled())
        return;
    // One lock per line keeps lines from different socket queues whole.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fprintf(stderr, "[trace%.*s %d] %.*s\n", static_cast<int>(kind.size()), kind.data(),
                 static_cast<int>(number), static_cast<int>(text.size()), text.data());
}

}  // namespace

void DebugTracer::initTrace(std::string_view text, int32_t number) {
    write(" init", text, number);
}

void DebugTracer::addLogItem(std::string_view text, int32_t number) {
    write("", text, number);
}

void DebugTracer::finishTrace(std::string_view text, int32_t number) {
    write(" finish", text, number);
}

bool DebugTracer::isEnabled() {
    return enabledFlag().load(std::memory_order_relaxed);
}

void DebugTracer::setEnabled(bool enabled) {
    enabledFlag().store(enabled, std::memory_order_relaxed);
}

bool DebugTracer::requestedBy(const char* environmentValue) {
    return environmentValue != nullptr && std::string_view(environmentValue) == "1";
}

}  // namespace corvaline
