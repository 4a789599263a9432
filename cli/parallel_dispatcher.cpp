#include "cli/parallel_dispatcher.h"

#include <algorithm>
#include <filesystem>

#include "engine/native_text.h"

namespace mv::cli {

namespace {

// One spelling per file, so that two names of the same file meet.
std::string pathKey(const std::u16string& path) {
    std::error_code error;
    std::filesystem::path native(engine::toNative(path));
    auto canonical = std::filesystem::weakly_canonical(native, error);
    return error ? std::filesystem::absolute(native, error).lexically_normal().string()
                 : canonical.string();
}

}  // namespace

ParallelDispatcher::ParallelDispatcher(unsigned jobs, OrderedReports& reports)
    : m_reports(reports), m_limit(std::max(4u, jobs * 4)) {
    for (unsigned i = 0; i < std::max(1u, jobs); ++i)
        m_workers.emplace_back([this] { workerLoop(); });
}

ParallelDispatcher::~ParallelDispatcher() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    for (auto& worker : m_workers) worker.join();
}

bool ParallelDispatcher::readyLocked(const Pending& pending) const {
    return std::none_of(pending.after.begin(), pending.after.end(),
                        [&](std::int64_t index) { return m_waitingOrQueued.count(index) != 0; });
}

void ParallelDispatcher::submit(app::FileTask task, const Work& work) {
    Pending pending{std::move(task), work, {}};
    std::string keys[] = {pathKey(pending.task.source), pathKey(pending.task.output)};
    std::unique_lock lock(m_mutex);
    // Keep the queue short: a list of a million files must not be held twice.
    m_changed.wait(lock, [&] { return m_queue.size() < m_limit; });
    for (const auto& key : keys) {
        auto [it, fresh] = m_lastUser.try_emplace(key, pending.task.index);
        if (!fresh) {
            if (it->second != pending.task.index) pending.after.push_back(it->second);
            it->second = pending.task.index;
        }
    }
    m_waitingOrQueued.insert(pending.task.index);
    m_queue.push_back(std::move(pending));
    m_changed.notify_all();
}

void ParallelDispatcher::finish() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_waitingOrQueued.empty(); });
}

void ParallelDispatcher::workerLoop() {
    std::unique_lock lock(m_mutex);
    while (true) {
        auto ready = m_queue.end();
        m_changed.wait(lock, [&] {
            ready = std::find_if(m_queue.begin(), m_queue.end(),
                                 [&](const Pending& p) { return readyLocked(p); });
            return m_stopping || ready != m_queue.end();
        });
        if (ready == m_queue.end()) return;  // stopping with nothing left to start
        Pending pending = std::move(*ready);
        m_queue.erase(ready);
        m_changed.notify_all();  // room in the queue
        lock.unlock();
        pending.work(pending.task, m_reports.forFile(pending.task.index));
        m_reports.fileDone(pending.task.index);
        lock.lock();
        m_waitingOrQueued.erase(pending.task.index);
        m_changed.notify_all();
    }
}

}  // namespace mv::cli
