// Prints the program's log to standard output, leaks what its argument says, and exits, so that
// a test can read the exit report of the allocator.
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace
{
class CStdoutListener : public NKeth::CLogListener
{
public:
    void Write(const char* text) override { fputs(text, stdout); }
};

// Never destroyed: it must still listen when the exit report runs after every destructor.
alignas(CStdoutListener) unsigned char g_ListenerStorage[sizeof(CStdoutListener)];
} // namespace

int main(int argc, char** argv)
{
    NKeth::AddLogListener(new (g_ListenerStorage) CStdoutListener);
    const char* mode = argc > 1 ? argv[1] : "clean";
    if (!strcmp(mode, "bytes"))
    {
        unsigned char* block =
            static_cast<unsigned char*>(NKeth::NMemoryManager::Allocate(5, "probe.cpp", 42));
        memcpy(block,
               "ab\x01"
               "cd",
               5);
    }
    else if (!strcmp(mode, "long"))
        memset(NKeth::NMemoryManager::Allocate(100, "probe.cpp", 43), 'x', 100);
    else if (!strcmp(mode, "foreign"))
    {
        // A library's block through the plain global new, and one of the program's own.
        int* library = new int[4];
        memset(library, 0, sizeof(int) * 4);
        memcpy(NEW char[6], "mine!", 6);
    }
    else if (!strcmp(mode, "empty"))
        NKeth::NMemoryManager::Allocate(0, "probe.cpp", 44);
    else if (!strcmp(mode, "1023") || !strcmp(mode, "1024"))
        memset(NKeth::NMemoryManager::Allocate(atoi(mode), "probe.cpp", 45), 0, size_t(atoi(mode)));
    else
    {
        char* text = NEW char[100];
        delete[] text;
    }
    fflush(stdout);
    return 0;
}
