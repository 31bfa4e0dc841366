// Free disk space. Backends: os_disk_win32.cpp, os_disk_posix.cpp.
#pragma once

#include <cstdint>

#include "os_export.h"

// Bytes available to the calling user on the file system that holds
// `directory`; false when the system cannot say.
OS_API bool OsDiskFreeBytes(const char *directory, uint64_t *available);
