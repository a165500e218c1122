#pragma once

#include <cstdint>

// How much memory the process can still take now, for refusing work up front
// that could not finish instead of running out of memory halfway.
class CMemoryBudget
{
public:
    // The smaller of what the system has available now (MemAvailable on Linux,
    // the available physical memory elsewhere) and the room left under the
    // process's address-space limit; -1 when neither can be told.
    static int64_t AvailableBytes();
    // Room left under the process's address-space limit, -1 without a limit.
    static int64_t AddressSpaceLeft();
    // What the system has available now, -1 when it does not say.
    static int64_t SystemAvailable();
};
