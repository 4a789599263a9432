#include "cli/parallel_dispatcher.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "engine/native_text.h"

namespace mv::cli {

namespace {

// The names one file goes by, so that every spelling of it meets: the file
// itself by device and inode when it exists (links and hard links to it
// meet there), and the folder it lies in by device and inode plus its name,
// after following symbolic links (a result that does not exist yet meets the
// source that names it).
std::vector<std::string> pathKeys(const std::u16string& path) {
    std::vector<std::string> keys;
    if (path.empty()) return keys;
    std::string native = engine::toNative(path);
    struct stat st {};
    // Only a link needs a second look and its target read; a name that is
    // not there has neither.
    const bool found = lstat(native.c_str(), &st) == 0;
    const bool isLink = found && S_ISLNK(st.st_mode);
    if (found && (!isLink || stat(native.c_str(), &st) == 0)) {
        keys.push_back(std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino));
    }
    for (int hops = 0; isLink && hops < 40; ++hops) {
        char link[4096];
        ssize_t n = readlink(native.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof link) break;
        std::string target(link, static_cast<std::size_t>(n));
        auto slash = native.find_last_of('/');
        if (target.front() == '/' || slash == std::string::npos) {
            native = std::move(target);
        } else {
            native.resize(slash + 1);  // a relative link goes on from the link's folder
            native += target;
        }
    }
    auto slash = native.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : native.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    if (stat(folder.c_str(), &st) != 0) {
        keys.push_back(native);
    } else {
        keys.push_back(std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + "/" + name);
    }
    return keys;
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

void ParallelDispatcher::submit(run::FileTask task, const Work& work) {
    Pending pending{std::move(task), work, {}};
    std::vector<std::string> keys = pathKeys(pending.task.source);
    for (auto& key : pathKeys(pending.task.output)) keys.push_back(std::move(key));
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

report::ErrorReport& ParallelDispatcher::reportFor(std::int64_t index) {
    return m_reports.forFile(index);
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
