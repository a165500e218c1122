#include "platform/CMemoryBudget.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(Q_OS_WIN)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <sys/resource.h>
#include <unistd.h>
#endif

int64_t CMemoryBudget::SystemAvailable()
{
#if defined(Q_OS_WIN)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return -1;
    // A 32-bit process is bound by its own address space as well.
    return int64_t(std::min(status.ullAvailPhys, status.ullAvailVirtual));
#elif defined(Q_OS_LINUX)
    if (FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        long long kib = -1;
        while (std::fgets(line, sizeof(line), f))
            if (std::sscanf(line, "MemAvailable: %lld kB", &kib) == 1)
                break;
        std::fclose(f);
        if (kib >= 0)
            return int64_t(kib) * 1024;
    }
    return -1;
#elif defined(_SC_AVPHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return int64_t(pages) * pageSize;
    return -1;
#else
    return -1;
#endif
}

int64_t CMemoryBudget::AddressSpaceLeft()
{
#if defined(Q_OS_UNIX)
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    int64_t used = 0;
#if defined(Q_OS_LINUX)
    // statm's first field is the address space in use, in pages.
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        long long pages = 0;
        if (std::fscanf(f, "%lld", &pages) == 1)
            used = int64_t(pages) * sysconf(_SC_PAGESIZE);
        std::fclose(f);
    }
#endif
    return std::max<int64_t>(0, int64_t(limit.rlim_cur) - used);
#else
    return -1;
#endif
}

int64_t CMemoryBudget::AvailableBytes()
{
    const int64_t system = SystemAvailable();
    const int64_t space = AddressSpaceLeft();
    if (system < 0)
        return space;
    if (space < 0)
        return system;
    return std::min(system, space);
}
