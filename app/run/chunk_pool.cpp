#include "app/run/chunk_pool.h"

#include <utility>

namespace mv::app {

ChunkPool::ChunkPool(unsigned workers) {
    for (unsigned i = 0; i < workers; ++i) m_threads.emplace_back([this] { loop(); });
}

ChunkPool::~ChunkPool() {
    wait();
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (auto& thread : m_threads) thread.join();
}

void ChunkPool::start(std::size_t count, std::function<void(std::size_t)> body) {
    wait();
    {
        std::lock_guard lock(m_mutex);
        m_body = std::move(body);
        m_count = count;
        m_next = 0;
        m_busy = m_threads.size();
        ++m_generation;
    }
    m_wake.notify_all();
}

void ChunkPool::wait() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_busy == 0; });
}

void ChunkPool::loop() {
    std::uint64_t seen = 0;
    while (true) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop) return;
            seen = m_generation;
        }
        for (std::size_t i = m_next.fetch_add(1); i < m_count; i = m_next.fetch_add(1)) m_body(i);
        std::lock_guard lock(m_mutex);
        if (--m_busy == 0) m_done.notify_all();
    }
}

}  // namespace mv::app
