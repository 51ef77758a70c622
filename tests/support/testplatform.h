#pragma once
// What the tests need of the host where POSIX and Windows differ.
#include <cstdint>
#include <functional>
#include <string>

namespace NTestPlatform
{
// A new empty directory (absolute path, no trailing separator), or "" when none could be made.
std::string MakeTemporaryDirectory(const char* prefix);

// The separator that paths reach the platform's file functions with: '\\' is translated to '/'
// on POSIX hosts and passed unchanged on Windows.
char NativeSeparator();

// Whether the tests can run other programs through the host's POSIX shell: the leak probe, the
// content tool and the reference decoders are started that way.
bool RunsShellCommands();
// The exit code of a command from what pclose returned, or -1 when it did not exit normally.
int ExitCode(int pcloseStatus);

// The counter rate that the platform fixes, or 0 where it is the machine's.
int64_t FixedTickFrequency();

// Runs a function on a thread of its own.
class CThread
{
public:
    explicit CThread(std::function<void()> body);
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;
    void Join();

private:
    struct SState;
    SState* m_State;
};
} // namespace NTestPlatform
