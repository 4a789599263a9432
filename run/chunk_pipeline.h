// The chunks of one file on several cores. One thread, the owner, reads
// chunks into a ring of slots and writes them out in order; helper threads
// convert the slots in between, and so does the owner whenever the oldest
// slot is not converted yet. No batch waits for its slowest chunk: a slot is
// read again as soon as it is written.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace mv::run {

// Runs `work` and returns what it threw, so that a failure on one thread can
// be reported by the thread that writes (a throw on a helper thread would end
// the process).
template <class Work>
std::exception_ptr failureCarriedFrom(Work&& work) noexcept {
    try {
        std::forward<Work>(work)();
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

// The cores a run may keep busy, shared by the threads that convert whole
// files and the helpers of each file's ring: a thread converts only while it
// holds one, so a file's helpers take the cores that no other file is using
// (the tail of a batch, or while the files left wait for this one).
class CoreBudget {
public:
    explicit CoreBudget(unsigned cores) : m_free(cores) {}
    CoreBudget(const CoreBudget&) = delete;
    CoreBudget& operator=(const CoreBudget&) = delete;

    void acquire();
    // Waits for a core unless `stop` is set first; false when it was.
    bool acquireUnless(const std::atomic<bool>& stop);
    void release();
    // Wakes every waiter, so that one whose stop flag was just set returns.
    void wakeAll();

private:
    std::mutex m_mutex;
    std::condition_variable m_freed;
    unsigned m_free;
    unsigned m_waiting = 0;
};

class ChunkPipeline {
public:
    // convert(slot) converts what the owner put in that slot; it runs on any
    // of the threads, and what it throws is carried to the owner (failure()).
    // Without helpers the owner converts every slot itself and no thread is
    // started.
    // With `cores`, a helper converts a slot only while it holds one of them.
    ChunkPipeline(unsigned helpers, std::size_t slots, std::function<void(std::size_t)> convert,
                  CoreBudget* cores = nullptr);
    // Stops the helpers once their conversions in hand are done; slots not
    // converted yet stay as they are.
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // The owner's side, from one thread.
    bool full() const { return m_published - m_retired == m_slots; }
    bool empty() const { return m_published == m_retired; }
    // The slot the next chunk is read into while the ring is not full.
    std::size_t nextSlot() const { return static_cast<std::size_t>(m_published % m_slots); }
    // The next slot holds a chunk to convert.
    void publish();
    // The oldest slot once it is converted; meanwhile the owner converts the
    // slots waiting beyond one for each helper. The ring must not be empty.
    std::size_t awaitOldest();
    // What converting that slot threw, or null.
    std::exception_ptr failure(std::size_t slot) const { return m_failures[slot]; }
    // The oldest slot is written out and may be read into again.
    void retire();

private:
    void helperLoop();
    // Converts the slot of chunk `sequence` and marks it, with the lock held
    // on entry and on return.
    void convertLocked(std::unique_lock<std::mutex>& lock, std::uint64_t sequence);

    // Helpers that will come back for the next slot: all of them, or with a
    // budget those converting on a core now.
    std::size_t readyHelpersLocked() const;

    const std::size_t m_slots;
    const std::function<void(std::size_t)> m_convert;
    CoreBudget* const m_cores;
    std::atomic<bool> m_stopping{false};  // read by helpers waiting for a core
    std::mutex m_mutex;
    std::condition_variable m_work;              // helpers: a slot waits to be converted
    std::condition_variable m_oldest;            // owner: the oldest slot is converted
    std::vector<char> m_converted;               // by slot
    std::vector<std::exception_ptr> m_failures;  // by slot
    // Chunks counted since the start: published by the owner, claimed for
    // converting, written out.
    std::uint64_t m_published = 0;
    std::uint64_t m_claimed = 0;
    std::uint64_t m_retired = 0;
    unsigned m_idleHelpers = 0;
    unsigned m_armedHelpers = 0;  // holding a core and converting
    bool m_ownerWaits = false;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

}  // namespace mv::run
