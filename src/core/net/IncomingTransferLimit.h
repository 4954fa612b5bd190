#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace corvaline {

class FileTransfer;

// Caps the incoming transfers that hold a connection at once, per sending address and in
// all, so that a peer opening connections it never uses cannot take every descriptor of the
// process. Main thread only.
class IncomingTransferLimit {
  public:
    // Far more than one person sends at once (each transfer carries any number of files),
    // and with one descriptor each well within the process's limit.
    static constexpr std::size_t kPerAddress = 32;
    static constexpr std::size_t kInAll = 256;

    // True when one more connection from `host` may become a transfer.
    bool admits(const std::string& host);
    // Counts the transfer while it runs.
    void add(const std::shared_ptr<FileTransfer>& transfer, std::string host);

  private:
    void forgetEnded();

    std::vector<std::pair<std::weak_ptr<FileTransfer>, std::string>> running_;
};

}  // namespace corvaline
