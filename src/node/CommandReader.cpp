#include "node/CommandReader.h"

#include <iostream>
#include <mutex>

namespace corvaline::node {

// What the reading thread posts to; emptied when the reader goes, so that a line read late
// reaches nothing.
struct CommandReader::Target {
    std::mutex mutex;
    Executor* main = nullptr;
    std::function<void(const std::string&)> onLine;
    std::function<void()> onEnd;

    void post(std::function<void()> block) {
        std::lock_guard lock(mutex);
        if (main) {
            main->post(std::move(block));
        }
    }
};

CommandReader::CommandReader(Executor& main, std::function<void(const std::string& line)> onLine,
                             std::function<void()> onEnd)
    : target_(std::make_shared<Target>()) {
    target_->main = &main;
    target_->onLine = std::move(onLine);
    target_->onEnd = std::move(onEnd);
    // The thread may stay blocked in a read when the program ends; it holds only the target.
    std::thread([target = target_] {
        for (std::string line; std::getline(std::cin, line);) {
            target->post([target, line] {
                if (target->onLine) {
                    target->onLine(line);
                }
            });
        }
        target->post([target] {
            if (target->onEnd) {
                target->onEnd();
            }
        });
    }).detach();
}

CommandReader::~CommandReader() {
    std::lock_guard lock(target_->mutex);
    target_->main = nullptr;
    target_->onLine = nullptr;
    target_->onEnd = nullptr;
}

}  // namespace corvaline::node
