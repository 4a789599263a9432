// Worker threads that convert the chunks of one file side by side. The caller
// takes a share of the work too and gets control back when all is done.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace mv::app {

class ChunkPool {
public:
    // `workers` threads in all, the caller's included.
    explicit ChunkPool(unsigned workers);
    ~ChunkPool();
    ChunkPool(const ChunkPool&) = delete;
    ChunkPool& operator=(const ChunkPool&) = delete;

    unsigned workers() const { return static_cast<unsigned>(m_threads.size()) + 1; }
    // Runs body(0) to body(count - 1) and returns when every call has
    // returned. A second caller while the pool is busy runs its calls itself.
    void run(std::size_t count, const std::function<void(std::size_t)>& body);

private:
    void loop();
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(std::size_t)>* m_body = nullptr;
    std::size_t m_count = 0;
    std::atomic<std::size_t> m_next{0};
    std::size_t m_busy = 0;
    std::uint64_t m_generation = 0;
    bool m_stop = false;
    std::mutex m_caller;
    std::vector<std::thread> m_threads;
};

}  // namespace mv::app
