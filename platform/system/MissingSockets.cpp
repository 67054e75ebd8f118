// The pipe folder's inotify queue, read without waiting. The watch is in place and its queue
// drained before the connect whose failure is remembered, so a socket made after that connect
// leaves an event behind, and the next question connects again.
#include "internal/MissingSockets.h"

#include <pthread.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "internal/Paths.h"

namespace kst::detail {
namespace {

constexpr uint32_t kFolderEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr uint32_t kParentEvents = IN_CREATE | IN_MOVED_TO;

class SocketWatch {
public:
    static SocketWatch& Instance() {
        static SocketWatch* watch = new SocketWatch;  // never destroyed: traced to at exit
        return *watch;
    }

    bool IsKnownMissing(const std::string& path, uint64_t& ticket) {
        std::lock_guard lock(m_mutex);
        if (m_inotify < 0) {
            ticket = 0;
            return false;
        }
        if (Drain()) ++m_changes;
        ticket = m_changes;
        return m_missingTicket == ticket && path == m_missingPath;
    }

    void NoteMissing(const std::string& path, uint64_t ticket) {
        std::lock_guard lock(m_mutex);
        std::string folder = HostParent(path);
        if (m_inotify < 0 || folder != m_folder) {
            Start(folder);  // not kept this time: the watch came after the connect
            return;
        }
        if (ticket != m_changes) return;
        m_missingPath = path;
        m_missingTicket = ticket;
    }

private:
    SocketWatch() {
        // A forked child shares the queue with its parent: reading it would take the parent's
        // events. The child starts a watch of its own when it needs one.
        pthread_atfork([] { Instance().m_mutex.lock(); }, [] { Instance().m_mutex.unlock(); },
                       [] {
                           SocketWatch& watch = Instance();
                           if (watch.m_inotify >= 0) ::close(watch.m_inotify);
                           watch.m_inotify = -1;
                           watch.m_missingTicket = 0;
                           watch.m_mutex.unlock();
                       });
    }

    // Watches the folder of the latest miss, in place of any other.
    void Start(const std::string& folder) {
        if (m_inotify >= 0) ::close(m_inotify);
        ++m_changes;  // a ticket of the old watch must not confirm a miss under the new one
        m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0) return;
        m_folder = folder;
        if (!Arm()) {
            ::close(m_inotify);
            m_inotify = -1;
        }
    }

    // Watches the folder, or its parent for the folder to appear.
    bool Arm() {
        if (inotify_add_watch(m_inotify, m_folder.c_str(), kFolderEvents) >= 0) return true;
        return errno == ENOENT &&
               inotify_add_watch(m_inotify, HostParent(m_folder).c_str(), kParentEvents) >= 0;
    }

    // Whether anything happened since the last call. A folder that went or came is watched
    // again before the answer, so nothing made after it goes unseen.
    bool Drain() {
        alignas(inotify_event) char events[4096];
        bool changed = false, rearm = false;
        ssize_t n;
        while ((n = ::read(m_inotify, events, sizeof events)) > 0) {
            changed = true;
            for (char* at = events; at < events + n;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                if (event->mask & (IN_IGNORED | IN_Q_OVERFLOW | IN_ISDIR)) rearm = true;
                at += sizeof(inotify_event) + event->len;
            }
        }
        if (rearm && !Arm()) {
            ::close(m_inotify);
            m_inotify = -1;
        }
        return changed;
    }

    std::mutex m_mutex;
    int m_inotify = -1;
    std::string m_folder;
    uint64_t m_changes = 1;
    std::string m_missingPath;
    uint64_t m_missingTicket = 0;
};

}  // namespace

bool IsKnownMissingSocket(const std::string& path, uint64_t& ticket) {
    return SocketWatch::Instance().IsKnownMissing(path, ticket);
}

void NoteMissingSocket(const std::string& path, uint64_t ticket) {
    SocketWatch::Instance().NoteMissing(path, ticket);
}

}  // namespace kst::detail
