#include "cli/parallel_dispatcher.h"

#include <sys/stat.h>
#include <algorithm>

#include "engine/native_text.h"

namespace mv::cli {

namespace {

// One spelling per file: its folder's device and inode, then its name, so that
// two spellings of one folder meet. One stat per path.
std::string pathKey(const std::u16string& path) {
    std::string native = engine::toNative(path);
    auto slash = native.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : native.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) return native;
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + "/" + name;
}

}  // namespace

ParallelDispatcher::ParallelDispatcher(unsigned jobs, FileLedger& reports)
    : m_reports(reports), m_limit(std::max(64u, jobs * 16)) {
    for (unsigned i = 0; i < std::max(1u, jobs); ++i)
        m_workers.emplace_back([this] { workerLoop(); });
}

ParallelDispatcher::~ParallelDispatcher() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_all();
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
    m_room.wait(lock, [&] { return m_queue.size() < m_limit; });
    for (const auto& key : keys) {
        auto [it, fresh] = m_lastUser.try_emplace(key, pending.task.index);
        if (!fresh) {
            if (it->second != pending.task.index) pending.after.push_back(it->second);
            it->second = pending.task.index;
        }
    }
    m_waitingOrQueued.insert(pending.task.index);
    bool ready = readyLocked(pending);
    m_queue.push_back(std::move(pending));
    if (ready) m_work.notify_one();
}

void ParallelDispatcher::finish() {
    std::unique_lock lock(m_mutex);
    m_room.wait(lock, [&] { return m_waitingOrQueued.empty(); });
    // The next run counts its files from 1 again.
    m_lastUser.clear();
}

void ParallelDispatcher::workerLoop() {
    std::unique_lock lock(m_mutex);
    while (true) {
        auto ready = m_queue.end();
        m_work.wait(lock, [&] {
            ready = std::find_if(m_queue.begin(), m_queue.end(),
                                 [&](const Pending& p) { return readyLocked(p); });
            return m_stopping || ready != m_queue.end();
        });
        if (ready == m_queue.end()) return;  // stopping with nothing left to start
        Pending pending = std::move(*ready);
        m_queue.erase(ready);
        m_room.notify_all();  // room in the queue
        lock.unlock();
        pending.work(pending.task, m_reports.forFile(pending.task.index));
        m_reports.fileDone(pending.task.index);
        lock.lock();
        m_waitingOrQueued.erase(pending.task.index);
        // Tasks that waited for this one may start now; finish() may return.
        m_work.notify_all();
        if (m_waitingOrQueued.empty()) m_room.notify_all();
    }
}

}  // namespace mv::cli
