#include "platform/dispatch/GlobalQueue.h"

#include <asio/post.hpp>
#include <asio/thread_pool.hpp>

namespace corvaline::dispatch {
namespace {

class BlockingPool : public Queue {
  public:
    void async(std::function<void()> block) override { asio::post(pool_, std::move(block)); }

  private:
    asio::thread_pool pool_{4};
};

}  // namespace

std::shared_ptr<Queue> globalQueue() {
    static const std::shared_ptr<Queue> queue = std::make_shared<BlockingPool>();
    return queue;
}

}  // namespace corvaline::dispatch
