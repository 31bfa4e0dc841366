// Operating-system events, threads and sleep, as the system uses them.
// Backends: os_sync_win32.cpp (the real Win32 calls) and os_sync_posix.cpp.
#pragma once

#include <cstdint>

#include "os_export.h"

// An auto-reset event, created unset and unnamed. The handle is pointer
// sized; it travels to korvane in NotifyRecord.Event, widened with its sign
// (OsEventToRecord), and korvane sets exactly that event (OsEventFromRecord).
typedef void *OsEvent;

enum OsWaitResult { OS_WAIT_SIGNALLED = 0, OS_WAIT_TIMEOUT = 1, OS_WAIT_FAILED = 2 };

// nullptr when no event can be created.
OS_API OsEvent OsCreateEvent();
// Sets the event from any thread; false for a handle that is not (or no
// longer) an open event.
OS_API bool OsSetEvent(OsEvent event);
OS_API OsWaitResult OsWaitEvent(OsEvent event, uint32_t timeoutMs);
OS_API void OsCloseEvent(OsEvent event);

inline int64_t OsEventToRecord(OsEvent event) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(event)); }
inline OsEvent OsEventFromRecord(int64_t value) { return reinterpret_cast<OsEvent>(static_cast<intptr_t>(value)); }

typedef void *OsThread;
typedef uint32_t (*OsThreadProc)(void *parameter);

enum OsPriority { OS_PRIORITY_LOWEST, OS_PRIORITY_NORMAL, OS_PRIORITY_TIME_CRITICAL };
// What OsGetExitCodeThread reads while the thread runs.
constexpr uint32_t OS_STILL_ACTIVE = 259;

// Starts at once with the default stack size; nullptr on failure.
OS_API OsThread OsCreateThread(OsThreadProc proc, void *parameter);
// Best the process is allowed; silently does less where it may not.
OS_API bool OsSetThreadPriority(OsThread thread, OsPriority priority);
OS_API bool OsSetCurrentThreadPriority(OsPriority priority);
// The thread's exit code once it has ended, OS_STILL_ACTIVE while it runs.
OS_API uint32_t OsGetExitCodeThread(OsThread thread);
// Waits for the thread to end and releases the handle.
OS_API void OsJoinThread(OsThread thread);

OS_API void OsSleep(uint32_t ms);
