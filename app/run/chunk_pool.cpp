#include "app/run/chunk_pool.h"

namespace mv::app {

ChunkPool::ChunkPool(unsigned workers) {
    for (unsigned i = 1; i < workers; ++i) m_threads.emplace_back([this] { loop(); });
}

ChunkPool::~ChunkPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (auto& thread : m_threads) thread.join();
}

void ChunkPool::run(std::size_t count, const std::function<void(std::size_t)>& body) {
    std::unique_lock caller(m_caller, std::try_to_lock);
    if (!caller || m_threads.empty() || count < 2) {
        for (std::size_t i = 0; i < count; ++i) body(i);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_body = &body;
        m_count = count;
        m_next = 0;
        m_busy = m_threads.size();
        ++m_generation;
    }
    m_wake.notify_all();
    work();
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_busy == 0; });
    m_body = nullptr;
}

void ChunkPool::work() {
    for (std::size_t i = m_next.fetch_add(1); i < m_count; i = m_next.fetch_add(1)) (*m_body)(i);
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
        work();
        std::lock_guard lock(m_mutex);
        if (--m_busy == 0) m_done.notify_one();
    }
}

}  // namespace mv::app
