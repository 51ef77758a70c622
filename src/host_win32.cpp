// The Windows side of the host and stop-request hooks. The screensaver host of Windows starts
// the program with its own switches; window ids and the root window are Linux options.
#include "appmain.h"
#include "ogldevice.h"
#include "registry.h"

#include <windows.h>

namespace
{
DWORD g_MainThread = 0;

// Runs on a thread of its own: the frame loop sees the quit message like a window close.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT)
    {
        PostThreadMessageA(g_MainThread, WM_QUIT, 0, 0);
        return TRUE;
    }
    return FALSE;
}
} // namespace

void CatchStopRequests()
{
    g_MainThread = GetCurrentThreadId();
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool SelectHostWindow(const char* windowId, bool root)
{
    if (windowId || root)
        AppLog("Host windows are not supported here; the show opens its own\n");
    return true;
}

void ShowSettings()
{
    MessageBoxA(nullptr, DescribeInstallation().GetText(), "vornscr",
                MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}
