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

void LogText(const char* text)
{
    CLockGuard lock(g_LogLock, __FILE__, __LINE__);
    for (CLogListener* listener = g_Listeners; listener; listener = listener->next)
        listener->Write(text);
}

void LogDetailText(const char* text)
{
    CLockGuard lock(g_LogLock, __FILE__, __LINE__);
    for (CLogListener* listener = g_Listeners; listener; listener = listener->next)
        listener->WriteDetail(text);
}

void Log(const char* format, ...)
{
    char buffer[4092];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    LogText(buffer);
}

void LogDetail(const char* format, ...)
{
    char buffer[4092];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    LogDetailText(buffer);
}

void Assert(const char* file, int line, bool condition)
{
    if (condition)
        return;
    Log("ASSERT: %s:%d\n", file, line);
    Break();
}
} // namespace NKeth
