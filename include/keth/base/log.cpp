#include "keth/base/log.h"
#include "keth/base/locks.h"
#include "keth/base/sys.h"

#include <cstdarg>
#include <cstdio>

namespace NKeth
{
namespace
{
CLogListener* g_Listeners = nullptr;
}

void AddLogListener(CLogListener* listener)
{
    if (!listener)
        return;
    CLockGuard lock(g_LogLock, __FILE__, __LINE__);
    listener->next = g_Listeners;
    g_Listeners = listener;
}

void RemoveLogListener(CLogListener* listener)
{
    CLockGuard lock(g_LogLock, __FILE__, __LINE__);
    for (CLogListener** link = &g_Listeners; *link; link = &(*link)->next)
    {
        if (*link == listener)
        {
            *link = listener->next;
            listener->next = nullptr;
            return;
        }
    }
}

namespace
{
void Send(const char* text, bool detail)
{
    CLockGuard lock(g_LogLock, __FILE__, __LINE__);
    for (CLogListener* listener = g_Listeners; listener; listener = listener->next)
        if (detail)
            listener->WriteDetail(text);
        else
            listener->Write(text);
}

void SendFormatted(bool detail, const char* format, va_list args)
{
    char buffer[4092];
    vsnprintf(buffer, sizeof buffer, format, args);
    Send(buffer, detail);
}
} // namespace

void LogText(const char* text)
{
    Send(text, false);
}

void LogDetailText(const char* text)
{
    Send(text, true);
}

void Log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    SendFormatted(false, format, args);
    va_end(args);
}

void LogDetail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    SendFormatted(true, format, args);
    va_end(args);
}

void Assert(const char* file, int line, bool condition)
{
    if (condition)
        return;
    Log("ASSERT: %s:%d\n", file, line);
    Break();
}
} // namespace NKeth
