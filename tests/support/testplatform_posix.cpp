#include "testplatform.h"

#include <cstdlib>
#include <sys/wait.h>
#include <thread>

namespace NTestPlatform
{
std::string MakeTemporaryDirectory(const char* prefix)
{
    std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
    return mkdtemp(&pattern[0]) ? pattern : std::string();
}

char NativeSeparator()
{
    return '/';
}

bool RunsShellCommands()
{
    return true;
}

int ExitCode(int pcloseStatus)
{
    return WIFEXITED(pcloseStatus) ? WEXITSTATUS(pcloseStatus) : -1;
}

int64_t FixedTickFrequency()
{
    return 1000000000;
}

struct CThread::SState
{
    std::thread m_Thread;
};

CThread::CThread(std::function<void()> body) : m_State(new SState{std::thread(std::move(body))}) {}

CThread::~CThread()
{
    Join();
    delete m_State;
}

void CThread::Join()
{
    if (m_State->m_Thread.joinable())
        m_State->m_Thread.join();
}
} // namespace NTestPlatform
