#pragma once
#include "keth/base/sys.h"

namespace NKeth
{
// The two process-wide locks, constructed in this order before any other static object:
// the log lock, then the memory lock. Code holding the memory lock may log; the log never
// allocates, so the order is always memory lock, then log lock.
extern CCriticalSection g_LogLock;
extern CCriticalSection g_MemoryLock;
} // namespace NKeth
