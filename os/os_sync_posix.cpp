// Events, threads and sleep on POSIX.
//
// Events live in a fixed table of slots that is never freed. A handle holds
// the slot index and the slot's generation at creation; closing a slot bumps
// its generation, so a stale handle is recognised (and refused) without ever
// touching freed memory, even when the slot has since been reused.
#include "os_sync.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <new>

namespace {

// --- Events ------------------------------------------------------------------

constexpr uintptr_t kIndexBits = 12;
constexpr uintptr_t kIndexMask = (uintptr_t{1} << kIndexBits) - 1;
// Index 0 is never used, so that no handle is null.
constexpr uintptr_t kSlotCount = kIndexMask + 1;
// The generation part of a handle; wider than 32 bits only where pointers are.
constexpr uintptr_t kGenerationMask = ~uintptr_t{0} >> kIndexBits;
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

struct EventSlot {
    std::mutex mutex;
    std::condition_variable changed;
    uintptr_t generation = 1;
    bool open = false;
    bool signalled = false;
};

// Never destroyed: threads that outlive static destruction at process exit
// (a board's notifier, say) may still set events.
EventSlot *const g_slots = new EventSlot[kSlotCount];
std::mutex &g_allocation = *new std::mutex;
uintptr_t g_nextSearch = 1;

uintptr_t HandleValue(OsEvent event) { return reinterpret_cast<uintptr_t>(event); }

// The slot a handle names, or nullptr for a value that names none.
EventSlot *SlotOf(OsEvent event, uintptr_t *generation) {
    const uintptr_t value = HandleValue(event);
    const uintptr_t index = value & kIndexMask;
    if (index == 0) return nullptr;
    *generation = value >> kIndexBits;
    return &g_slots[index];
}

// --- Threads -----------------------------------------------------------------

struct ThreadState {
    pthread_t id{};
    OsThreadProc proc = nullptr;
    void *parameter = nullptr;
    std::atomic<uint32_t> exitCode{OS_STILL_ACTIVE};
    // The kernel's id of the thread, for per-thread nice values; 0 until known.
    std::atomic<pid_t> tid{0};
};

void *ThreadMain(void *raw) {
    auto *state = static_cast<ThreadState *>(raw);
    state->tid.store(static_cast<pid_t>(syscall(SYS_gettid)), std::memory_order_release);
    state->tid.notify_all();
    const uint32_t code = state->proc(state->parameter);
    state->exitCode.store(code, std::memory_order_release);
    return nullptr;
}

// Real-time scheduling where the process may use it, otherwise the best nice
// value it is allowed; never an error for the caller.
bool ApplyPriority(pthread_t thread, pid_t tid, OsPriority priority) {
    sched_param param{};
    if (priority == OS_PRIORITY_TIME_CRITICAL) {
        param.sched_priority = sched_get_priority_min(SCHED_FIFO);
        if (pthread_setschedparam(thread, SCHED_FIFO, &param) == 0) return true;
        for (int nice = -20; nice <= 0; ++nice)
            if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0) return true;
        return true;
    }
    param.sched_priority = 0;
    pthread_setschedparam(thread, SCHED_OTHER, &param);
    const int nice = priority == OS_PRIORITY_LOWEST ? 19 : 0;
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
    return true;
}

}  // namespace

OsEvent OsCreateEvent() {
    std::lock_guard<std::mutex> allocation(g_allocation);
    for (uintptr_t step = 0; step < kSlotCount - 1; ++step) {
        const uintptr_t index = (g_nextSearch + step - 1) % (kSlotCount - 1) + 1;
        EventSlot &slot = g_slots[index];
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (slot.open) continue;
        slot.open = true;
        slot.signalled = false;
        g_nextSearch = index % (kSlotCount - 1) + 1;
        return reinterpret_cast<OsEvent>(((slot.generation & kGenerationMask) << kIndexBits) | index);
    }
    return nullptr;
}

bool OsSetEvent(OsEvent event) {
    uintptr_t generation = 0;
    EventSlot *slot = SlotOf(event, &generation);
    if (slot == nullptr) return false;
    {
        std::lock_guard<std::mutex> lock(slot->mutex);
        if (!slot->open || (slot->generation & kGenerationMask) != generation) return false;
        slot->signalled = true;
    }
    slot->changed.notify_one();
    return true;
}

OsWaitResult OsWaitEvent(OsEvent event, uint32_t timeoutMs) {
    uintptr_t generation = 0;
    EventSlot *slot = SlotOf(event, &generation);
    if (slot == nullptr) return OS_WAIT_FAILED;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(slot->mutex);
    for (;;) {
        if (!slot->open || (slot->generation & kGenerationMask) != generation) return OS_WAIT_FAILED;
        if (slot->signalled) {
            slot->signalled = false;  // auto-reset: one wait consumes one set
            return OS_WAIT_SIGNALLED;
        }
        if (timeoutMs == kInfinite) {
            slot->changed.wait(lock);
        } else if (slot->changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            if (!slot->open || (slot->generation & kGenerationMask) != generation) return OS_WAIT_FAILED;
            if (slot->signalled) {
                slot->signalled = false;
                return OS_WAIT_SIGNALLED;
            }
            return OS_WAIT_TIMEOUT;
        }
    }
}

void OsCloseEvent(OsEvent event) {
    uintptr_t generation = 0;
    EventSlot *slot = SlotOf(event, &generation);
    if (slot == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(slot->mutex);
        if (!slot->open || (slot->generation & kGenerationMask) != generation) return;
        slot->open = false;
        slot->signalled = false;
        ++slot->generation;
    }
    // A thread still waiting on the closed handle returns OS_WAIT_FAILED.
    slot->changed.notify_all();
}

OsThread OsCreateThread(OsThreadProc proc, void *parameter) {
    if (proc == nullptr) return nullptr;
    auto *state = new (std::nothrow) ThreadState;
    if (state == nullptr) return nullptr;
    state->proc = proc;
    state->parameter = parameter;
    if (pthread_create(&state->id, nullptr, ThreadMain, state) != 0) {
        delete state;
        return nullptr;
    }
    return state;
}

bool OsSetThreadPriority(OsThread thread, OsPriority priority) {
    if (thread == nullptr) return false;
    auto *state = static_cast<ThreadState *>(thread);
    // The thread publishes its kernel id as its first act.
    state->tid.wait(0, std::memory_order_acquire);
    return ApplyPriority(state->id, state->tid.load(std::memory_order_acquire), priority);
}

bool OsSetCurrentThreadPriority(OsPriority priority) {
    return ApplyPriority(pthread_self(), static_cast<pid_t>(syscall(SYS_gettid)), priority);
}

uint32_t OsGetExitCodeThread(OsThread thread) {
    if (thread == nullptr) return OS_STILL_ACTIVE;
    return static_cast<ThreadState *>(thread)->exitCode.load(std::memory_order_acquire);
}

void OsJoinThread(OsThread thread) {
    if (thread == nullptr) return;
    auto *state = static_cast<ThreadState *>(thread);
    pthread_join(state->id, nullptr);
    delete state;
}

void OsSleep(uint32_t ms) {
    timespec request{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}
