// Free disk space on Windows.
#include <windows.h>

#include "os_disk.h"

bool OsDiskFreeBytes(const char *directory, uint64_t *available) {
    if (directory == nullptr || available == nullptr) return false;
    ULARGE_INTEGER callerFree{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER totalFree{};
    // The bytes available to the caller, which quotas may make fewer than
    // the volume's free bytes.
    if (!GetDiskFreeSpaceExA(directory, &callerFree, &total, &totalFree)) return false;
    *available = callerFree.QuadPart;
    return true;
}
