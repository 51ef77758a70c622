#pragma once
#include <cstddef>
#include <cstdint>

namespace NKeth
{
int64_t GetTicks();
int64_t GetTickFrequency();

// Stops in the debugger; without one attached it ends the process.
void Break();

// Recursive lock. Does nothing while its section does not exist (before static construction
// and after destruction), which is what the allocator relies on at exit.
class CCriticalSection
{
public:
    CCriticalSection();
    ~CCriticalSection();
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter(const char* file, int line);
    void Leave();

private:
    struct SSection;
    SSection* m_Section;
};

// Holds a lock for one scope.
class CLockGuard
{
public:
    CLockGuard(CCriticalSection& lock, const char* file, int line) : m_Lock(lock)
    {
        m_Lock.Enter(file, line);
    }
    ~CLockGuard() { m_Lock.Leave(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    CCriticalSection& m_Lock;
};

void* MemMove(void* to, const void* from, size_t size);
int MemCmp(const void* a, const void* b, size_t size);
void* MemSet(void* to, int value, size_t size);

float Sin(float a);
float Cos(float a);
float Tan(float a);
float Sqrt(float a);

// The separator of the platform's file functions: '/' on POSIX hosts, '\\' on Windows.
extern const char PATH_SEPARATOR;
// A path as the platform's file functions want it: on POSIX hosts '\' becomes '/', so shows
// written on Windows play unchanged. Writes at most size bytes including the terminator and
// returns false when the path did not fit.
bool TranslatePath(const char* path, char* out, size_t size);
// Creates one directory level (the path translated as above); false when it was not created,
// for example because it exists.
bool MakeDirectory(const char* path);
} // namespace NKeth
