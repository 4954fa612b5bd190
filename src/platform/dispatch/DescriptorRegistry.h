#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>

namespace corvaline::dispatch {

// The reactor's registrations of watched descriptors, one per descriptor number however many
// readiness sources watch it: the reactor takes each number once, and a duplicate descriptor
// per source would cost every connection three. Internal to the dispatch layer; callable
// from any thread.
class DescriptorRegistry {
  public:
    using WaitType = asio::posix::stream_descriptor::wait_type;
    using WaitHandler = std::function<void(const asio::error_code&)>;

    explicit DescriptorRegistry(asio::io_context& io) : io_(io) {}
    ~DescriptorRegistry();
    DescriptorRegistry(const DescriptorRegistry&) = delete;
    DescriptorRegistry& operator=(const DescriptorRegistry&) = delete;

    // Counts one more user of the descriptor; false when it cannot be registered.
    bool acquire(int fd);
    // One user fewer; the last one takes the descriptor out of the reactor (it stays open,
    // and waits still outstanding end with operation_aborted). Every user lets go before the
    // descriptor is closed, so a reused number never meets a stale registration.
    void release(int fd);
    // Waits for readiness on a descriptor the caller has acquired.
    void asyncWait(int fd, WaitType type, WaitHandler handler);

  private:
    struct Entry {
        std::unique_ptr<asio::posix::stream_descriptor> descriptor;
        int users = 0;
    };
    asio::io_context& io_;
    std::mutex mutex_;
    std::map<int, Entry> entries_;
};

}  // namespace corvaline::dispatch
