#include "platform/system/NetworkChangeMonitor.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

namespace corvaline {
namespace {

bool isInterfaceChange(const nlmsghdr& header) {
    switch (header.nlmsg_type) {
        case RTM_NEWLINK:
        case RTM_DELLINK:
        case RTM_NEWADDR:
        case RTM_DELADDR:
            return true;
        default:
            return false;
    }
}

// Reads everything queued; answers whether any of it was an interface change. An overrun
// (ENOBUFS) lost messages we cannot see, so it counts as a change.
bool drainChanges(int fd) {
    bool changed = false;
    alignas(nlmsghdr) std::array<char, 8192> buffer;
    while (true) {
        ssize_t length = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (length < 0) {
            return changed || errno == ENOBUFS;
        }
        if (length == 0) {
            return changed;
        }
        auto remaining = static_cast<unsigned>(length);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            changed = changed || isInterfaceChange(*header);
        }
    }
}

}  // namespace

std::unique_ptr<NetworkChangeMonitor> NetworkChangeMonitor::start(Executor& main,
                                                                  std::function<void()> onChange) {
    auto monitor = std::make_unique<NetworkChangeMonitor>(Private{}, main, std::move(onChange));
    return monitor->watch_ ? std::move(monitor) : nullptr;
}

NetworkChangeMonitor::NetworkChangeMonitor(Private, Executor& main, std::function<void()> onChange)
    : notice_(main, std::move(onChange)) {
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        return;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return;
    }
    watch_ = DescriptorWatch::start(fd, "network-change", [this](int readable) {
        if (drainChanges(readable)) {
            notice_.fire();
        }
    });
}

}  // namespace corvaline
