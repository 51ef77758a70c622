#include "testplatform.h"

#include <windows.h>

namespace NTestPlatform
{
std::string MakeTemporaryDirectory(const char* prefix)
{
    char base[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof base, base);
    if (length == 0 || length > MAX_PATH)
        return std::string();
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        std::string path = std::string(base) + prefix + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++counter);
        if (CreateDirectoryA(path.c_str(), nullptr))
            return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return std::string();
}

char NativeSeparator()
{
    return '\\';
}

bool RunsShellCommands()
{
    return false;
}

int ExitCode(int pcloseStatus)
{
    return pcloseStatus;
}

int64_t FixedTickFrequency()
{
    return 0;
}

struct CThread::SState
{
    std::function<void()> m_Body;
    HANDLE m_Handle;
};

namespace
{
DWORD WINAPI RunBody(void* state)
{
    static_cast<std::function<void()>*>(state)->operator()();
    return 0;
}
} // namespace

CThread::CThread(std::function<void()> body) : m_State(new SState{std::move(body), nullptr})
{
    m_State->m_Handle = CreateThread(nullptr, 0, RunBody, &m_State->m_Body, 0, nullptr);
}

CThread::~CThread()
{
    Join();
    delete m_State;
}

void CThread::Join()
{
    if (m_State->m_Handle)
    {
        WaitForSingleObject(m_State->m_Handle, INFINITE);
        CloseHandle(m_State->m_Handle);
        m_State->m_Handle = nullptr;
    }
}
} // namespace NTestPlatform
