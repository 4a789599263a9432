// Worker threads that convert the chunks of one file side by side, while the
// thread that started them reads the next chunks and writes earlier results.
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
    explicit ChunkPool(unsigned workers);
    ~ChunkPool();
    ChunkPool(const ChunkPool&) = delete;
    ChunkPool& operator=(const ChunkPool&) = delete;

    // Has the workers call body(0) to body(count - 1) and returns at once.
    void start(std::size_t count, std::function<void(std::size_t)> body);
    // Returns when every call of the last start has returned.
    void wait();

private:
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::function<void(std::size_t)> m_body;
    std::size_t m_count = 0;
    std::atomic<std::size_t> m_next{0};
    std::size_t m_busy = 0;
    std::uint64_t m_generation = 0;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

}  // namespace mv::app
