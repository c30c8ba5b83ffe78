// Temporaries removed on SIGINT and SIGTERM; see temporaryRegistry.h.
#include "io/temporaryRegistry.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

namespace lattis {

namespace {

// A run writes at most a handful of outputs at once (netpack five).
constexpr int kSlots = 16;
constexpr std::size_t kPathBytes = 4096;

char paths[kSlots][kPathBytes];
// Lock-free atomics, which a handler may read (on any thread).
std::atomic<bool> used[kSlots];
std::mutex slotsLock;  // between threads that register; never taken by the handler
static_assert(std::atomic<bool>::is_always_lock_free);

void removeTemporaries(int sig) {
    removeRegisteredTemporaries();
    // The handler was installed with SA_RESETHAND: the default action is
    // back, and the signal, blocked until the handler returns, ends the process.
    raise(sig);
}

void installOnce() {
    static const bool installed = [] {
        for (int sig : {SIGINT, SIGTERM}) {
            struct sigaction old {};
            if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
            struct sigaction act {};
            act.sa_handler = removeTemporaries;
            sigemptyset(&act.sa_mask);
            act.sa_flags = SA_RESETHAND;
            sigaction(sig, &act, nullptr);
        }
        return true;
    }();
    (void)installed;
}

}  // namespace

void removeRegisteredTemporaries() noexcept {
    for (int s = 0; s < kSlots; ++s)
        if (used[s].load()) unlink(paths[s]);
}

int registerTemporary(const std::string& path) {
    if (path.size() >= kPathBytes) return -1;
    installOnce();
    const std::lock_guard<std::mutex> hold(slotsLock);
    for (int s = 0; s < kSlots; ++s) {
        if (used[s].load()) continue;
        std::memcpy(paths[s], path.c_str(), path.size() + 1);
        used[s].store(true);
        return s;
    }
    return -1;
}

void forgetTemporary(int slot) {
    if (slot < 0) return;
    const std::lock_guard<std::mutex> hold(slotsLock);
    used[slot].store(false);
}

}  // namespace lattis
