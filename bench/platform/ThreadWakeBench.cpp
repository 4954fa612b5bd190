// What one hand-off between two threads of a process costs on this machine: a thread that has
// slept long enough for its CPU to go idle is woken through a condition variable, as the main
// loop and the workers wake each other. Measured three ways in one run: both threads on one
// CPU, each on a CPU of its own, and where the scheduler puts them. A message crosses a few
// such hand-offs inside each node, so on a machine where waking an idle CPU is dear (a guest
// whose idle virtual CPUs halt) the message round trip is bounded by it, not by the code.
//
//   thread_wake_bench [HAND-OFFS]     (default 2000 for each placement)
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for an idle CPU to enter its sleep state, short enough to run quickly.
constexpr auto kIdle = std::chrono::microseconds(500);

void pinTo(std::optional<int> cpu) {
    if (!cpu) {
        return;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(*cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

// The calling thread's CPUs, to be given back after a pinned run: a thread started later
// inherits them, and the scheduler's own placement needs all of them.
cpu_set_t currentCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    pthread_getaffinity_np(pthread_self(), sizeof set, &set);
    return set;
}

struct Summary {
    double median = 0;
    double p90 = 0;
};

// Microseconds from the notify to the woken thread running, for `count` hand-offs.
Summary handOffs(int count, std::optional<int> wakerCpu, std::optional<int> sleeperCpu) {
    std::mutex mutex;
    std::condition_variable wake;
    int sent = 0;
    Clock::time_point sentAt;
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(count));
    const cpu_set_t callerCpus = currentCpus();

    std::thread sleeper([&] {
        pinTo(sleeperCpu);
        for (int seen = 0; seen < count;) {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return sent > seen; });
            seen = sent;
            latencies.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - sentAt).count());
        }
    });
    pinTo(wakerCpu);
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_for(kIdle);
        {
            std::lock_guard lock(mutex);
            ++sent;
            sentAt = Clock::now();
        }
        wake.notify_one();
    }
    sleeper.join();
    pthread_setaffinity_np(pthread_self(), sizeof callerCpus, &callerCpus);

    std::sort(latencies.begin(), latencies.end());
    return {latencies[latencies.size() / 2], latencies[latencies.size() * 9 / 10]};
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    const cpu_set_t allowed = currentCpus();
    std::vector<int> cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            cpus.push_back(cpu);
        }
    }
    if (cpus.size() < 2) {
        std::printf("needs two CPUs\n");
        return 1;
    }
    const auto same = handOffs(count, cpus.front(), cpus.front());
    const auto apart = handOffs(count, cpus.front(), cpus.back());
    const auto free = handOffs(count, std::nullopt, std::nullopt);
    std::printf("%d hand-offs to a thread idle for %lld us, median (p90):\n", count,
                static_cast<long long>(kIdle.count()));
    std::printf("  same CPU:          %7.1f us (%.1f)\n", same.median, same.p90);
    std::printf("  another CPU:       %7.1f us (%.1f)\n", apart.median, apart.p90);
    std::printf("  scheduler's choice: %6.1f us (%.1f)\n", free.median, free.p90);
    std::printf("another CPU / same CPU: %.1f\n", apart.median / std::max(same.median, 0.1));
}
