// Free disk space on POSIX systems.
#include <sys/statvfs.h>

#include "os_disk.h"

bool OsDiskFreeBytes(const char *directory, uint64_t *available) {
    if (directory == nullptr || available == nullptr) return false;
    struct statvfs info {};
    if (statvfs(directory, &info) != 0) return false;
    // Blocks available to an unprivileged caller, in fragment-size units.
    *available = static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
    return true;
}
