#pragma once

namespace NKeth
{
// Receiver of log text. Listeners form a singly linked list headed by the log.
class CLogListener
{
public:
    virtual ~CLogListener() = default;
    virtual void Write(const char* text) = 0;
    // The detail of a report that its summary line already told (the blocks left at exit): a
    // listener may leave it out. By default it is written like any other text.
    virtual void WriteDetail(const char* text) { Write(text); }

    CLogListener* next = nullptr;
};

void AddLogListener(CLogListener* listener);
void RemoveLogListener(CLogListener* listener);

void LogText(const char* text);
// The detail of a report, handed to every listener's WriteDetail.
void LogDetailText(const char* text);
// Formats into a 4092-byte buffer; longer text is cut, never written past the buffer.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogDetail(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Assert(const char* file, int line, bool condition);
} // namespace NKeth

#define ASSERT(condition) ::NKeth::Assert(__FILE__, __LINE__, (condition))
