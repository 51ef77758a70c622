#include "appmain.h"

#include "keth/func/string.h"

#ifdef _WIN32
#include "keth/base/log.h"

#include <windows.h>

#include <new>

namespace
{
class CDebugOutputListener : public NKeth::CLogListener
{
public:
    void Write(const char* text) override { OutputDebugStringA(text); }
};

// Never destroyed: the leak report at exit is written after every static destructor.
alignas(CDebugOutputListener) unsigned char g_DebugOutputStorage[sizeof(CDebugOutputListener)];
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    NKeth::AddLogListener(new (g_DebugOutputStorage) CDebugOutputListener);
    return AppMain(commandLine);
}
#else
// The screensaver host's command line is one string: the arguments joined by single blanks.
int main(int argc, char** argv)
{
    NKeth::CString commandLine;
    for (int i = 1; i < argc; ++i)
    {
        if (i > 1)
            commandLine += NKeth::CString(" ");
        NKeth::CString argument;
        argument = argv[i];
        commandLine += argument;
    }
    return AppMain(commandLine.GetText());
}
#endif
