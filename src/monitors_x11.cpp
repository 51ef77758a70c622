// The monitor list on X11: XRandR 1.5 monitors, else Xinerama screens, else the whole screen;
// under a host window that window alone.
#include "monitors.h"
#include "platform.h"
#include "x11.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdio>

namespace
{
void AddMonitor(int x, int y, int width, int height, const char* name)
{
    SMonitor monitor = {};
    monitor.m_Left = x;
    monitor.m_Top = y;
    monitor.m_Right = x + width;
    monitor.m_Bottom = y + height;
    snprintf(monitor.m_DeviceName, sizeof monitor.m_DeviceName, "%s", name ? name : "");
    monitor.m_Width = width;
    monitor.m_Height = height;
    NMonitors::Add(monitor);
}

bool EnumerateRandR(Display* display, Window root)
{
    int eventBase, errorBase, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor) ||
        major * 100 + minor < 105)
        return false;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
    if (!monitors)
        return false;
    // Primary first, then left to right.
    std::stable_sort(monitors, monitors + count,
                     [](const XRRMonitorInfo& a, const XRRMonitorInfo& b)
                     {
                         if (a.primary != b.primary)
                             return a.primary > b.primary;
                         return a.x != b.x ? a.x < b.x : a.y < b.y;
                     });
    for (int i = 0; i < count; ++i)
    {
        char* name = monitors[i].name != None ? XGetAtomName(display, monitors[i].name) : nullptr;
        AddMonitor(monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height, name);
        if (name)
            XFree(name);
    }
    XRRFreeMonitors(monitors);
    return count > 0;
}

bool EnumerateXinerama(Display* display)
{
    int eventBase, errorBase, count = 0;
    if (!XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display))
        return false;
    XineramaScreenInfo* screens = XineramaQueryScreens(display, &count);
    if (!screens)
        return false;
    std::stable_sort(screens, screens + count,
                     [](const XineramaScreenInfo& a, const XineramaScreenInfo& b)
                     { return a.x_org != b.x_org ? a.x_org < b.x_org : a.y_org < b.y_org; });
    for (int i = 0; i < count; ++i)
    {
        char name[32];
        snprintf(name, sizeof name, "screen%d", screens[i].screen_number);
        AddMonitor(screens[i].x_org, screens[i].y_org, screens[i].width, screens[i].height, name);
    }
    XFree(screens);
    return count > 0;
}
} // namespace

void EnumerateMonitors()
{
    NMonitors::Clear();
    Display* display = NX11::OpenDisplay();
    if (!display)
        return;
    Window host = NX11::GetHostWindow();
    if (host != None)
    {
        // The host's window is the one monitor; a window that is gone leaves none.
        XWindowAttributes attributes = {};
        NX11::ClearError();
        if (XGetWindowAttributes(display, host, &attributes) && !NX11::ErrorSeen())
        {
            char name[32];
            snprintf(name, sizeof name, "window 0x%lx", static_cast<unsigned long>(host));
            AddMonitor(0, 0, attributes.width, attributes.height, name);
        }
    }
    else if (!EnumerateRandR(display, DefaultRootWindow(display)) && !EnumerateXinerama(display))
    {
        NMonitors::Clear();
        int screen = DefaultScreen(display);
        AddMonitor(0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen), "default");
    }
    NMonitors::LogAll();
}
