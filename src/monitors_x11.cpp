// The monitor list on X11: XRandR 1.5 monitors, else Xinerama screens, else the whole screen;
// under a host window that window alone.
#include "platform.h"
#include "x11.h"

#include "keth/base/log.h"
#include "keth/func/dynamicarray.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace NKeth;

namespace
{
struct SMonitor
{
    NX11::SRect m_Rect;
    char m_DeviceName[32];
    int32_t m_Width;
    int32_t m_Height;
};

TDynamicArray<SMonitor> g_Monitors;

void AddMonitor(int x, int y, int width, int height, const char* name)
{
    SMonitor monitor = {};
    monitor.m_Rect = {x, y, x + width, y + height};
    strncpy(monitor.m_DeviceName, name ? name : "", sizeof monitor.m_DeviceName - 1);
    monitor.m_Width = width;
    monitor.m_Height = height;
    g_Monitors.Add(monitor);
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
    g_Monitors.Clear();
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
        g_Monitors.Clear();
        int screen = DefaultScreen(display);
        AddMonitor(0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen), "default");
    }
    for (int i = 0; i < g_Monitors.GetCount(); ++i)
    {
        const SMonitor& m = g_Monitors[i];
        Log("#%d: rect=%d,%d,%d,%d size=%d,%d device=\"%s\"\n", i, m.m_Rect.m_Left, m.m_Rect.m_Top,
            m.m_Rect.m_Right, m.m_Rect.m_Bottom, m.m_Rect.m_Right - m.m_Rect.m_Left,
            m.m_Rect.m_Bottom - m.m_Rect.m_Top, m.m_DeviceName);
    }
}

int GetMonitorCount()
{
    return g_Monitors.GetCount();
}

TVector2<int> GetMonitorSize(int index)
{
    if (index < 0 || index >= g_Monitors.GetCount())
        return TVector2<int>(0, 0);
    return TVector2<int>(g_Monitors[index].m_Width, g_Monitors[index].m_Height);
}

bool NX11::GetMonitorRect(int index, SRect& rect)
{
    if (index < 0 || index >= g_Monitors.GetCount())
        return false;
    rect = g_Monitors[index].m_Rect;
    return true;
}
