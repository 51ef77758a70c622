// The screensaver host's side on X11: the window a host made for the show, and the signals
// with which a host or a terminal asks the show to end.
#include "platform.h"
#include "x11.h"

#include "keth/base/log.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>

using namespace NKeth;

namespace
{
Window g_HostWindow = None;
volatile sig_atomic_t g_StopSignal = 0;

extern "C" void OnStopSignal(int signal)
{
    g_StopSignal = signal;
}

// Window ids come as decimal or 0x hexadecimal numbers; X gives out 29-bit ids.
bool ParseWindowId(const char* text, Window& window)
{
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    {
        base = 16;
        text += 2;
    }
    if (!*text || *text == '-' || *text == '+' || *text == ' ')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long value = strtoul(text, &end, base);
    if (errno || *end || value == 0 || value > 0x1FFFFFFFul)
        return false;
    window = Window(value);
    return true;
}
} // namespace

Window NX11::GetHostWindow()
{
    return g_HostWindow;
}

int NX11::GetStopSignal()
{
    return int(g_StopSignal);
}

void CatchStopRequests()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // A second request while the show winds down ends the process at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

bool SelectHostWindow(const char* windowId, bool root)
{
    g_HostWindow = None;
    const char* source = "-window-id";
    if (!windowId)
    {
        // A host that names its window means it also for -root: the window stands in for the
        // root, which it covers.
        const char* hostWindow = getenv("XSCREENSAVER_WINDOW");
        if (hostWindow && *hostWindow)
        {
            windowId = hostWindow;
            source = "XSCREENSAVER_WINDOW";
            root = false;
        }
        else if (!root)
            return true;
    }
    Display* display = NX11::OpenDisplay();
    if (!display)
        return false;
    Window window = DefaultRootWindow(display);
    if (!root && !ParseWindowId(windowId, window))
    {
        Log("Error: %s \"%s\" is not a window id\n", source, windowId);
        return false;
    }
    XWindowAttributes attributes = {};
    NX11::ClearError();
    if (!XGetWindowAttributes(display, window, &attributes) || NX11::ErrorSeen())
    {
        Log("Error: there is no window 0x%lx to draw into\n", static_cast<unsigned long>(window));
        return false;
    }
    g_HostWindow = window;
    Log("Host window: 0x%lx, %dx%d\n", static_cast<unsigned long>(window), attributes.width,
        attributes.height);
    return true;
}

// The Windows screensaver dialog's calls have no counterpart here: xscreensaver embeds its
// programs through -window-id and keeps the settings in its own file.
bool SelectPreviewWindow(const char*)
{
    return false;
}

void ShowSettings() {}
