#include "keth/base/sys.h"
#include "keth/base/memorymanager.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sys/stat.h>

namespace NKeth
{
int64_t GetTicks()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t GetTickFrequency()
{
    return 1000000000;
}

void Break()
{
    raise(SIGTRAP);
}

struct CCriticalSection::SSection
{
    std::recursive_mutex m_Mutex;
};

CCriticalSection::CCriticalSection() : m_Section(nullptr)
{
    SSection* section = NEW SSection;
    m_Section = section;
}

CCriticalSection::~CCriticalSection()
{
    SSection* section = m_Section;
    m_Section = nullptr;
    delete section;
}

void CCriticalSection::Enter(const char*, int)
{
    if (m_Section)
        m_Section->m_Mutex.lock();
}

void CCriticalSection::Leave()
{
    if (m_Section)
        m_Section->m_Mutex.unlock();
}

// Shows written on Windows name their files with '\\'.
const char PATH_SEPARATOR = '/';

bool MakeDirectory(const char* path)
{
    char translated[4096];
    return TranslatePath(path, translated, sizeof translated) && mkdir(translated, 0777) == 0;
}
} // namespace NKeth
