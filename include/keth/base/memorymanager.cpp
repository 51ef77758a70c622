#include "keth/base/memorymanager.h"
#include "keth/base/locks.h"
#include "keth/base/log.h"
#include "keth/base/sys.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace
{
// The location of blocks from the plain global new, which carries none.
const char FOREIGN_LOCATION[] = "";
} // namespace

namespace NKeth
{
// Constructed before every other static object of the program, log lock first.
__attribute__((init_priority(101))) CCriticalSection g_LogLock;
__attribute__((init_priority(102))) CCriticalSection g_MemoryLock;

namespace NMemoryManager
{
namespace
{
const unsigned char GUARD = 0xFE;
const int GUARD_SIZE = 4;

// Laid out so that the user area, which follows the front guard directly, keeps the
// alignment that malloc gives.
struct SBlockHeader
{
    int32_t size;
    uint8_t released;
    const char* file;
    int32_t line;
    SBlockHeader* prev;
    SBlockHeader* next;
    unsigned char pad[4];
    unsigned char frontGuard[GUARD_SIZE];
};
static_assert(sizeof(SBlockHeader) % 16 == 0, "user area must stay aligned");
static_assert(offsetof(SBlockHeader, frontGuard) + GUARD_SIZE == sizeof(SBlockHeader),
              "the user area must follow the front guard");

SBlockHeader* g_Head = nullptr;
int g_LiveBlocks = 0;
int g_LiveBytes = 0;
bool g_Initialised = false;
bool g_Tracing = false;

unsigned char* UserArea(SBlockHeader* header)
{
    return reinterpret_cast<unsigned char*>(header + 1);
}
SBlockHeader* HeaderOf(void* pointer)
{
    return static_cast<SBlockHeader*>(pointer) - 1;
}

// The live headers, so that a release can be checked without touching memory that may
// already be back in the heap. Open addressing with backward-shift deletion; the table
// itself comes straight from malloc and is never tracked.
class CLiveSet
{
public:
    bool Insert(const void* key)
    {
        if ((m_Count + 1) * 2 > m_Capacity && !Grow())
            return false;
        size_t i = Slot(key);
        while (m_Slots[i])
            i = (i + 1) & (m_Capacity - 1);
        m_Slots[i] = key;
        ++m_Count;
        return true;
    }

    bool Remove(const void* key)
    {
        if (!m_Capacity)
            return false;
        size_t mask = m_Capacity - 1;
        size_t i = Slot(key);
        while (m_Slots[i] != key)
        {
            if (!m_Slots[i])
                return false;
            i = (i + 1) & mask;
        }
        // Shift later members of the cluster back so lookups never stop early.
        size_t hole = i;
        for (size_t j = (i + 1) & mask; m_Slots[j]; j = (j + 1) & mask)
        {
            size_t home = Slot(m_Slots[j]);
            bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
            if (movable)
            {
                m_Slots[hole] = m_Slots[j];
                hole = j;
            }
        }
        m_Slots[hole] = nullptr;
        --m_Count;
        return true;
    }

private:
    size_t Slot(const void* key) const
    {
        uint64_t h = reinterpret_cast<uintptr_t>(key) * 0x9E3779B97F4A7C15ull;
        return size_t(h >> 32) & (m_Capacity - 1);
    }

    bool Grow()
    {
        size_t capacity = m_Capacity ? m_Capacity * 2 : 1024;
        const void** slots = static_cast<const void**>(calloc(capacity, sizeof(void*)));
        if (!slots)
            return false;
        const void** old = m_Slots;
        size_t oldCapacity = m_Capacity;
        m_Slots = slots;
        m_Capacity = capacity;
        m_Count = 0;
        for (size_t i = 0; i < oldCapacity; ++i)
            if (old[i])
                Insert(old[i]);
        free(old);
        return true;
    }

    const void** m_Slots = nullptr;
    size_t m_Capacity = 0;
    size_t m_Count = 0;
};

CLiveSet g_LiveSet;

[[noreturn]] void OutOfMemory(size_t size, const char* file, int line)
{
    unsigned long long bytes = size; // %zu is unknown to the Windows runtime's formatter
    Log("Out of memory: %llu bytes requested at %s(%d)\n", bytes, file ? file : "", line);
    fprintf(stderr, "vornscr: out of memory (%llu bytes requested at %s(%d))\n", bytes, file ? file : "",
            line);
    abort();
}

void Unlink(SBlockHeader* header)
{
    if (header->prev)
        header->prev->next = header->next;
    else
        g_Head = header->next;
    if (header->next)
        header->next->prev = header->prev;
}

bool IsDamaged(SBlockHeader* header)
{
    const unsigned char* back = UserArea(header) + header->size;
    for (int i = 0; i < GUARD_SIZE; ++i)
        if (header->frontGuard[i] != GUARD || back[i] != GUARD)
            return true;
    return false;
}

void FormatLocation(char (&buffer)[1024], SBlockHeader* header)
{
    snprintf(buffer, sizeof buffer, "%s(%d)", header->file ? header->file : "", header->line);
}
} // namespace

void* Allocate(int size, const char* file, int line)
{
    CLockGuard lock(g_MemoryLock, __FILE__, __LINE__);
    if (!g_Initialised)
    {
        atexit(DumpLeaks);
        g_LiveBlocks = 0;
        g_LiveBytes = 0;
        g_Initialised = true;
    }
    if (size < 0 || size_t(size) > INT_MAX - sizeof(SBlockHeader) - GUARD_SIZE)
        OutOfMemory(size_t(unsigned(size)), file, line);
    SBlockHeader* header = static_cast<SBlockHeader*>(malloc(sizeof(SBlockHeader) + size + GUARD_SIZE));
    if (!header || !g_LiveSet.Insert(header))
        OutOfMemory(size_t(size), file, line);
    g_LiveBytes += size;
    g_LiveBlocks += 1;

    header->size = size;
    header->released = 0;
    header->file = file;
    header->line = line;
    header->prev = nullptr;
    header->next = g_Head;
    for (int i = 0; i < GUARD_SIZE; ++i)
    {
        header->pad[i] = 0;
        header->frontGuard[i] = GUARD;
        UserArea(header)[size + i] = GUARD;
    }
    if (g_Head)
        g_Head->prev = header;
    g_Head = header;

    void* pointer = UserArea(header);
    if (g_Tracing)
        Log("%-60s(%4d) %8p Allocated %d bytes\n", file ? file : "", line, pointer, size);
    return pointer;
}

void Free(void* pointer, const char* file, int line)
{
    if (!pointer)
        return;
    CLockGuard lock(g_MemoryLock, __FILE__, __LINE__);
    SBlockHeader* header = HeaderOf(pointer);
    // Only a live block may be read; anything else was released already (or never ours).
    if (!g_LiveSet.Remove(header))
    {
        Log("WARNING: 0x%llx deleted several times\n", (unsigned long long)(uintptr_t)pointer);
        return;
    }
    int size = header->size;
    g_LiveBytes -= size;
    g_LiveBlocks -= 1;
    header->released = 1;
    Unlink(header);
    free(header);
    if (g_Tracing)
        Log("%-60s(%4d) %8p Freed %d bytes\n", file ? file : "", line, pointer, size);
}

bool CheckMemory(bool report)
{
    CLockGuard lock(g_MemoryLock, __FILE__, __LINE__);
    bool result = true;
    for (SBlockHeader* header = g_Head; header; header = header->next)
    {
        if (!IsDamaged(header))
            continue;
        if (!report)
            return false;
        char location[1024];
        FormatLocation(location, header);
        Log("%-80s %10d KiB %10d B MEMORY DAMAGE!\n", location, int(unsigned(header->size) >> 10),
            header->size);
        result = false;
    }
    return result;
}

void DumpLeaks()
{
    CLockGuard lock(g_MemoryLock, __FILE__, __LINE__);
    // Blocks without a location were made by libraries through the plain global new (a GL
    // driver keeps its own state until the process is gone): they are not the program's leaks.
    int blocks = 0, bytes = 0;
    for (SBlockHeader* header = g_Head; header; header = header->next)
        if (header->file != FOREIGN_LOCATION)
        {
            blocks += 1;
            bytes += header->size;
        }
    Log("\nLeaked memory: %d KiB, %d blocks\n", bytes / 1024, blocks);
    if (!blocks)
        return;
    LogDetail("Dumping blocks to logger\n");
    for (SBlockHeader* header = g_Head; header; header = header->next)
    {
        if (header->file == FOREIGN_LOCATION)
            continue;
        char location[1024];
        FormatLocation(location, header);
        LogDetail("%-80s %8llx %10d B  ", location, (unsigned long long)(uintptr_t)UserArea(header),
                  header->size);
        int shown = header->size < 32 ? header->size : 32;
        for (int i = 0; i < shown; ++i)
        {
            unsigned char c = UserArea(header)[i];
            if (c >= 31 && c <= 127)
                LogDetail("%c", c);
            else
                LogDetailText(".");
        }
        LogDetailText("\n");
    }
}

int GetLiveBlocks()
{
    CLockGuard lock(g_MemoryLock, __FILE__, __LINE__);
    return g_LiveBlocks;
}

int GetLiveBytes()
{
    CLockGuard lock(g_MemoryLock, __FILE__, __LINE__);
    return g_LiveBytes;
}

void SetTracing(bool on)
{
    g_Tracing = on;
}
} // namespace NMemoryManager
} // namespace NKeth

namespace
{
void* AllocateFromNew(size_t size, const char* file, int line)
{
    if (size > size_t(INT_MAX))
    {
        fprintf(stderr, "vornscr: out of memory (%zu bytes requested at %s(%d))\n", size, file, line);
        abort();
    }
    return NKeth::NMemoryManager::Allocate(int(size), file, line);
}
} // namespace

void* operator new(size_t size, const char* file, int line)
{
    return AllocateFromNew(size, file, line);
}
void* operator new[](size_t size, const char* file, int line)
{
    return AllocateFromNew(size, file, line);
}
void operator delete(void* pointer, const char*, int) noexcept
{
    NKeth::NMemoryManager::Free(pointer, nullptr, 0);
}
void operator delete[](void* pointer, const char*, int) noexcept
{
    NKeth::NMemoryManager::Free(pointer, nullptr, 0);
}

// Every heap block of the process goes through the tracker, so a release can always be checked.
void* operator new(size_t size)
{
    return AllocateFromNew(size, FOREIGN_LOCATION, 0);
}
void* operator new[](size_t size)
{
    return AllocateFromNew(size, FOREIGN_LOCATION, 0);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return size > size_t(INT_MAX) ? nullptr : NKeth::NMemoryManager::Allocate(int(size), FOREIGN_LOCATION, 0);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return size > size_t(INT_MAX) ? nullptr : NKeth::NMemoryManager::Allocate(int(size), FOREIGN_LOCATION, 0);
}
void operator delete(void* pointer) noexcept
{
    NKeth::NMemoryManager::Free(pointer, nullptr, 0);
}
void operator delete[](void* pointer) noexcept
{
    NKeth::NMemoryManager::Free(pointer, nullptr, 0);
}
void operator delete(void* pointer, size_t) noexcept
{
    NKeth::NMemoryManager::Free(pointer, nullptr, 0);
}
void operator delete[](void* pointer, size_t) noexcept
{
    NKeth::NMemoryManager::Free(pointer, nullptr, 0);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept
{
    NKeth::NMemoryManager::Free(pointer, nullptr, 0);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept
{
    NKeth::NMemoryManager::Free(pointer, nullptr, 0);
}
