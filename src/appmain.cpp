#include "appmain.h"

#include "keth/base/log.h"

#include <cstdarg>
#include <cstdio>

void AppLog(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    NKeth::LogText(text);
}
