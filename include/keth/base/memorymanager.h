#pragma once
#include <cstddef>

namespace NKeth
{
namespace NMemoryManager
{
void* Allocate(int size, const char* file, int line);
void Free(void* pointer, const char* file, int line);
bool CheckMemory(bool report);
void DumpLeaks();

// Counters of the live blocks, for tests and diagnostics.
int GetLiveBlocks();
int GetLiveBytes();
// When set, every allocation and release is logged.
void SetTracing(bool on);
} // namespace NMemoryManager
} // namespace NKeth

void* operator new(size_t size, const char* file, int line);
void* operator new[](size_t size, const char* file, int line);
void operator delete(void* pointer, const char* file, int line) noexcept;
void operator delete[](void* pointer, const char* file, int line) noexcept;

#define NEW new (__FILE__, __LINE__)
