#include "run/chunk_pipeline.h"

#include <utility>

namespace mv::run {

void CoreBudget::acquire() {
    std::unique_lock lock(m_mutex);
    ++m_waiting;
    m_freed.wait(lock, [&] { return m_free > 0; });
    --m_waiting;
    --m_free;
}

bool CoreBudget::acquireUnless(const std::atomic<bool>& stop) {
    std::unique_lock lock(m_mutex);
    ++m_waiting;
    m_freed.wait(lock, [&] { return m_free > 0 || stop.load(); });
    --m_waiting;
    if (m_free == 0 || stop.load()) return false;
    --m_free;
    return true;
}

void CoreBudget::release() {
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        ++m_free;
        wake = m_waiting > 0;
    }
    // No system call while nobody waits: a busy worker gives its core back
    // and takes it again around every chunk.
    if (wake) m_freed.notify_one();
}

void CoreBudget::wakeAll() {
    // Taking the lock orders this after a waiter's last look at its flag.
    { std::lock_guard lock(m_mutex); }
    m_freed.notify_all();
}

ChunkPipeline::ChunkPipeline(unsigned helpers, std::size_t slots,
                             std::function<void(std::size_t)> convert, CoreBudget* cores)
    : m_slots(slots),
      m_convert(std::move(convert)),
      m_cores(cores),
      m_converted(slots, 0),
      m_failures(slots) {
    for (unsigned i = 0; i < helpers; ++i) m_threads.emplace_back([this] { helperLoop(); });
}

ChunkPipeline::~ChunkPipeline() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stopping = true;
    m_work.notify_all();
    if (m_cores) m_cores->wakeAll();
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
        if (m_published - m_claimed > readyHelpersLocked()) {
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

std::size_t ChunkPipeline::readyHelpersLocked() const {
    return m_cores ? m_armedHelpers : m_threads.size();
}

void ChunkPipeline::helperLoop() {
    std::unique_lock lock(m_mutex);
    while (true) {
        ++m_idleHelpers;
        m_work.wait(lock, [&] { return m_stop || m_claimed < m_published; });
        --m_idleHelpers;
        if (m_stop) return;
        if (m_cores) {
            // Meanwhile the owner converts what no helper is ready for, so
            // a ring whose helpers find no free core still moves on.
            lock.unlock();
            const bool got = m_cores->acquireUnless(m_stopping);
            lock.lock();
            if (!got) return;
            // Stopping, or the owner took what was waiting.
            if (m_stop || m_claimed == m_published) {
                const bool stop = m_stop;
                lock.unlock();
                m_cores->release();
                if (stop) return;
                lock.lock();
                continue;
            }
            ++m_armedHelpers;
        }
        const std::uint64_t sequence = m_claimed++;
        convertLocked(lock, sequence);
        if (sequence == m_retired && m_ownerWaits) m_oldest.notify_one();
        if (m_cores) {
            // The core goes back after every chunk: a file's own thread may
            // be waiting for it.
            --m_armedHelpers;
            lock.unlock();
            m_cores->release();
            lock.lock();
        }
    }
}

}  // namespace mv::run
