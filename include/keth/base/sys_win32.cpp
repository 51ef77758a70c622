#include "keth/base/sys.h"
#include "keth/base/memorymanager.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <intrin.h>

namespace NKeth
{
int64_t GetTicks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t GetTickFrequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

void Break()
{
    // Without a debugger the break ends the process, and the runtime's buffers with it.
    fflush(nullptr);
    __debugbreak();
}

struct CCriticalSection::SSection
{
    CRITICAL_SECTION m_Section;
};

CCriticalSection::CCriticalSection() : m_Section(nullptr)
{
    SSection* section = NEW SSection;
    InitializeCriticalSection(&section->m_Section);
    m_Section = section;
}

CCriticalSection::~CCriticalSection()
{
    SSection* section = m_Section;
    if (!section)
        return;
    DeleteCriticalSection(&section->m_Section);
    m_Section = nullptr;
    delete section;
}

void CCriticalSection::Enter(const char*, int)
{
    if (m_Section)
        EnterCriticalSection(&m_Section->m_Section);
}

void CCriticalSection::Leave()
{
    if (m_Section)
        LeaveCriticalSection(&m_Section->m_Section);
}

// Windows takes both separators itself: paths pass unchanged.
const char PATH_SEPARATOR = '\\';

bool MakeDirectory(const char* path)
{
    return path && CreateDirectoryA(path, nullptr) != 0;
}
} // namespace NKeth
