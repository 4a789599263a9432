#include "run/chunk_pipeline.h"

#include <utility>

namespace mv::run {

ChunkPipeline::ChunkPipeline(unsigned helpers, std::size_t slots,
                             std::function<void(std::size_t)> convert)
    : m_slots(slots), m_convert(std::move(convert)), m_converted(slots, 0), m_failures(slots) {
    for (unsigned i = 0; i < helpers; ++i) m_threads.emplace_back([this] { helperLoop(); });
}

ChunkPipeline::~ChunkPipeline() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_all();
    for (auto& thread : m_threads) thread.join();
}

void ChunkPipeline::publish() {
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        m_converted[nextSlot()] = 0;
        m_failures[nextSlot()] = nullptr;
        ++m_published;
        wake = m_idleHelpers > 0;
    }
    // Waking only a helper that sleeps keeps a busy ring free of system calls.
    if (wake) m_work.notify_one();
}

std::size_t ChunkPipeline::awaitOldest() {
    const std::size_t oldest = static_cast<std::size_t>(m_retired % m_slots);
    std::unique_lock lock(m_mutex);
    while (!m_converted[oldest]) {
        // The owner converts only what the helpers could not take at once:
        // a helper that finds nothing waiting must sleep and be woken, which
        // costs more than the owner's wait for the oldest slot.
        if (m_published - m_claimed > m_threads.size()) {
            convertLocked(lock, m_claimed++);
            continue;
        }
        m_ownerWaits = true;
        m_oldest.wait(lock);
        m_ownerWaits = false;
    }
    return oldest;
}

void ChunkPipeline::retire() {
    std::lock_guard lock(m_mutex);
    ++m_retired;
}

void ChunkPipeline::convertLocked(std::unique_lock<std::mutex>& lock, std::uint64_t sequence) {
    const auto slot = static_cast<std::size_t>(sequence % m_slots);
    lock.unlock();
    std::exception_ptr failure = failureCarriedFrom([&] { m_convert(slot); });
    lock.lock();
    m_failures[slot] = std::move(failure);
    m_converted[slot] = 1;
}

void ChunkPipeline::helperLoop() {
    std::unique_lock lock(m_mutex);
    while (true) {
        ++m_idleHelpers;
        m_work.wait(lock, [&] { return m_stop || m_claimed < m_published; });
        --m_idleHelpers;
        if (m_stop) return;
        const std::uint64_t sequence = m_claimed++;
        convertLocked(lock, sequence);
        if (sequence == m_retired && m_ownerWaits) m_oldest.notify_one();
    }
}

}  // namespace mv::run
