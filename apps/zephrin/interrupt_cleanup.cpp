#include "apps/zephrin/interrupt_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace zephrin::app {
namespace {

// A signal may arrive on any thread, also while the writer names a new file. The name is copied into
// a slot that no handler reads, then published by one lock-free store, so the handler only ever sees
// a whole name or none. Two slots suffice because one file is written at a time.
constexpr size_t kSlotBytes = PATH_MAX;
char slots[2][kSlotBytes];
std::atomic<const char*> pendingPath{nullptr};
int nextSlot = 0;

static_assert(std::atomic<const char*>::is_always_lock_free, "the signal handler reads this");

extern "C" void onInterrupt(int signalNumber) {
    if (const char* path = pendingPath.load()) ::unlink(path);
    ::_exit(128 + signalNumber);
}

}  // namespace

void installInterruptCleanup() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Block the other two while one is handled, so a second signal cannot cut the clean-up short.
    for (int other : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, other);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signalNumber, &action, nullptr);
}

PendingTemporaryFile::PendingTemporaryFile(const std::filesystem::path& file) {
    const std::string& name = file.native();
    if (name.size() >= kSlotBytes) return;  // no file of that name can be created either
    char* slot = slots[nextSlot];
    nextSlot = 1 - nextSlot;
    std::memcpy(slot, name.c_str(), name.size() + 1);
    pendingPath.store(slot);
}

PendingTemporaryFile::~PendingTemporaryFile() { pendingPath.store(nullptr); }

}  // namespace zephrin::app
