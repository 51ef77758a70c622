#pragma once

namespace NKeth
{
// Receiver of log text. Listeners form a singly linked list headed by the log.
class CLogListener
{
public:
    virtual ~CLogListener() = default;
    virtual void Write(const char* text) = 0;

    CLogListener* next = nullptr;
};

void AddLogListener(CLogListener* listener);
void RemoveLogListener(CLogListener* listener);

void LogText(const char* text);
// Formats into a 4092-byte buffer; longer text is cut, never written past the buffer.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Assert(const char* file, int line, bool condition);
} // namespace NKeth

#define ASSERT(condition) ::NKeth::Assert(__FILE__, __LINE__, (condition))
