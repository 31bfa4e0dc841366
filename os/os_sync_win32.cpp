// Events, threads and sleep on Windows: the system's own calls.
#include "os_sync.h"

#include <windows.h>

#include <new>

namespace {

// CreateThread wants a stdcall routine returning DWORD; the start routine
// and its parameter travel to it in a small block the thread frees.
struct ThreadStart {
    OsThreadProc proc;
    void *parameter;
};

DWORD WINAPI ThreadMain(LPVOID raw) {
    ThreadStart start = *static_cast<ThreadStart *>(raw);
    delete static_cast<ThreadStart *>(raw);
    return start.proc(start.parameter);
}

int WindowsPriority(OsPriority priority) {
    switch (priority) {
    case OS_PRIORITY_TIME_CRITICAL: return THREAD_PRIORITY_TIME_CRITICAL;
    case OS_PRIORITY_LOWEST: return THREAD_PRIORITY_LOWEST;
    case OS_PRIORITY_NORMAL: break;
    }
    return THREAD_PRIORITY_NORMAL;
}

}  // namespace

OsEvent OsCreateEvent() {
    // Auto-reset, created unset, unnamed.
    return CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

bool OsSetEvent(OsEvent event) { return event != nullptr && SetEvent(event) != 0; }

OsWaitResult OsWaitEvent(OsEvent event, uint32_t timeoutMs) {
    if (event == nullptr) return OS_WAIT_FAILED;
    switch (WaitForSingleObject(event, timeoutMs)) {
    case WAIT_OBJECT_0: return OS_WAIT_SIGNALLED;
    case WAIT_TIMEOUT: return OS_WAIT_TIMEOUT;
    default: return OS_WAIT_FAILED;
    }
}

void OsCloseEvent(OsEvent event) {
    if (event != nullptr) CloseHandle(event);
}

OsThread OsCreateThread(OsThreadProc proc, void *parameter) {
    if (proc == nullptr) return nullptr;
    auto *start = new (std::nothrow) ThreadStart{proc, parameter};
    if (start == nullptr) return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
    if (thread == nullptr) delete start;
    return thread;
}

bool OsSetThreadPriority(OsThread thread, OsPriority priority) {
    return thread != nullptr && SetThreadPriority(thread, WindowsPriority(priority)) != 0;
}

bool OsSetCurrentThreadPriority(OsPriority priority) {
    return SetThreadPriority(GetCurrentThread(), WindowsPriority(priority)) != 0;
}

uint32_t OsGetExitCodeThread(OsThread thread) {
    DWORD code = OS_STILL_ACTIVE;
    if (thread == nullptr || GetExitCodeThread(thread, &code) == 0) return OS_STILL_ACTIVE;
    return code;
}

void OsJoinThread(OsThread thread) {
    if (thread == nullptr) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void OsSleep(uint32_t ms) { Sleep(ms); }
