// The rendering device on X11: one borderless window per monitor with a GLX context, the
// monitor list from XRandR, pointer and keyboard state, and the message queue. Under a
// screensaver host the show draws into the host's window instead, and leaves input alone.
#include "appmain.h"
#include "ogldevice.h"

#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/image.h"

#include <GL/glew.h>
// After GLEW: the plain GLX header, whose functions are real symbols rather than pointers that
// stay null until glewInit.
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <poll.h>

using namespace NKeth;

namespace
{
struct SRect
{
    int32_t m_Left, m_Top, m_Right, m_Bottom;
};

struct SMonitor
{
    unsigned long m_Monitor; // output (XRandR), screen number (Xinerama) or 0
    void* m_Dc;              // none: there is no device context to speak of
    SRect m_Rect;
    char m_DeviceName[32];
    int32_t m_Width;
    int32_t m_Height;
};

class COGLDevice_x11;

Display* g_Display = nullptr;
TDynamicArray<SMonitor> g_Monitors;
int g_CursorX = 0;
int g_CursorY = 0;
bool g_QuitRequested = false;
Atom g_WMProtocols = None;
Atom g_WMDeleteWindow = None;
Cursor g_BlankCursor = None;
bool g_XErrorSeen = false;
// Devices with a window, for dispatching events; a handful at most.
TDynamicArray<COGLDevice_x11*> g_Windows;
// Keys pressed since their last check, so that a tap shorter than a frame still counts.
TDynamicArray<KeySym> g_KeyLatch;
// The window a screensaver host made for us (or the root window); None when we make our own.
Window g_HostWindow = None;
volatile sig_atomic_t g_StopSignal = 0;

extern "C" void OnStopSignal(int signal)
{
    g_StopSignal = signal;
}

int OnXError(Display* display, XErrorEvent* error)
{
    char text[256];
    XGetErrorText(display, error->error_code, text, sizeof text);
    Log("X error: %s (request %d.%d)\n", text, error->request_code, error->minor_code);
    g_XErrorSeen = true;
    return 0;
}

// Xlib ends the process when this returns; end it the ordinary way so the exit report runs.
int OnXIOError(Display*)
{
    Log("X connection lost, ending the show\n");
    exit(0);
}

bool OpenDisplay()
{
    if (g_Display)
        return true;
    g_Display = XOpenDisplay(nullptr);
    if (!g_Display)
    {
        Log("X: can't open display \"%s\"\n", getenv("DISPLAY") ? getenv("DISPLAY") : "");
        return false;
    }
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    g_WMProtocols = XInternAtom(g_Display, "WM_PROTOCOLS", False);
    g_WMDeleteWindow = XInternAtom(g_Display, "WM_DELETE_WINDOW", False);
    return true;
}

void AddMonitor(unsigned long handle, int x, int y, int width, int height, const char* name)
{
    SMonitor monitor = {};
    monitor.m_Monitor = handle;
    monitor.m_Rect = {x, y, x + width, y + height};
    strncpy(monitor.m_DeviceName, name ? name : "", sizeof monitor.m_DeviceName - 1);
    monitor.m_Width = width;
    monitor.m_Height = height;
    g_Monitors.Add(monitor);
}

bool EnumerateRandR(Window root)
{
    int eventBase, errorBase, major = 0, minor = 0;
    if (!XRRQueryExtension(g_Display, &eventBase, &errorBase) ||
        !XRRQueryVersion(g_Display, &major, &minor) || major * 100 + minor < 105)
        return false;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(g_Display, root, True, &count);
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
        char* name = monitors[i].name != None ? XGetAtomName(g_Display, monitors[i].name) : nullptr;
        AddMonitor(monitors[i].name, monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height,
                   name);
        if (name)
            XFree(name);
    }
    XRRFreeMonitors(monitors);
    return count > 0;
}

bool EnumerateXinerama()
{
    int eventBase, errorBase, count = 0;
    if (!XineramaQueryExtension(g_Display, &eventBase, &errorBase) || !XineramaIsActive(g_Display))
        return false;
    XineramaScreenInfo* screens = XineramaQueryScreens(g_Display, &count);
    if (!screens)
        return false;
    std::stable_sort(screens, screens + count,
                     [](const XineramaScreenInfo& a, const XineramaScreenInfo& b)
                     { return a.x_org != b.x_org ? a.x_org < b.x_org : a.y_org < b.y_org; });
    for (int i = 0; i < count; ++i)
    {
        char name[32];
        snprintf(name, sizeof name, "screen%d", screens[i].screen_number);
        AddMonitor(unsigned(screens[i].screen_number), screens[i].x_org, screens[i].y_org, screens[i].width,
                   screens[i].height, name);
    }
    XFree(screens);
    return count > 0;
}

// The frame buffer configuration of every window: RGBA 8 bits per channel, 24-bit depth, 8-bit
// stencil, double-buffered; with samples > 0 a multisample one.
GLXFBConfig ChooseConfig(int samples, int configId)
{
    int attributes[32];
    int n = 0;
    auto add = [&](int name, int value)
    {
        attributes[n++] = name;
        attributes[n++] = value;
    };
    if (configId)
        add(GLX_FBCONFIG_ID, configId);
    else
    {
        add(GLX_X_RENDERABLE, True);
        add(GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT);
        add(GLX_RENDER_TYPE, GLX_RGBA_BIT);
        add(GLX_RED_SIZE, 8);
        add(GLX_GREEN_SIZE, 8);
        add(GLX_BLUE_SIZE, 8);
        add(GLX_ALPHA_SIZE, 8);
        add(GLX_DEPTH_SIZE, 24);
        add(GLX_STENCIL_SIZE, 8);
        add(GLX_DOUBLEBUFFER, True);
        if (samples > 0)
        {
            add(GLX_SAMPLE_BUFFERS, 1);
            add(GLX_SAMPLES, samples);
        }
    }
    attributes[n] = None;
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(g_Display, DefaultScreen(g_Display), attributes, &count);
    if (!configs)
        return nullptr;
    GLXFBConfig config = count > 0 ? configs[0] : nullptr;
    XFree(configs);
    return config;
}

// The host's window has its visual already: take the configuration that renders to it,
// preferring double buffering, then depth and stencil buffers.
GLXFBConfig ChooseConfigForVisual(VisualID visual)
{
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(g_Display, DefaultScreen(g_Display), &count);
    if (!configs)
        return nullptr;
    GLXFBConfig best = nullptr;
    int bestScore = -1;
    for (int i = 0; i < count; ++i)
    {
        int id = 0, drawable = 0, render = 0, doubleBuffer = 0, depth = 0, stencil = 0;
        glXGetFBConfigAttrib(g_Display, configs[i], GLX_VISUAL_ID, &id);
        glXGetFBConfigAttrib(g_Display, configs[i], GLX_DRAWABLE_TYPE, &drawable);
        glXGetFBConfigAttrib(g_Display, configs[i], GLX_RENDER_TYPE, &render);
        if (VisualID(id) != visual || !(drawable & GLX_WINDOW_BIT) || !(render & GLX_RGBA_BIT))
            continue;
        glXGetFBConfigAttrib(g_Display, configs[i], GLX_DOUBLEBUFFER, &doubleBuffer);
        glXGetFBConfigAttrib(g_Display, configs[i], GLX_DEPTH_SIZE, &depth);
        glXGetFBConfigAttrib(g_Display, configs[i], GLX_STENCIL_SIZE, &stencil);
        int score = (doubleBuffer ? 4 : 0) + (depth >= 16 ? 2 : 0) + (stencil > 0 ? 1 : 0);
        if (score > bestScore)
        {
            best = configs[i];
            bestScore = score;
        }
    }
    XFree(configs);
    return best;
}

KeySym KeySymOfVirtualKey(int key)
{
    if (key >= '0' && key <= '9')
        return XK_0 + (key - '0');
    if (key >= 'A' && key <= 'Z')
        return XK_a + (key - 'A');
    if (key >= 0x70 && key <= 0x7B)
        return XK_F1 + (key - 0x70);
    switch (key)
    {
        case 0x08:
            return XK_BackSpace;
        case 0x09:
            return XK_Tab;
        case 0x0D:
            return XK_Return;
        case 0x10:
            return XK_Shift_L;
        case 0x11:
            return XK_Control_L;
        case 0x12:
            return XK_Alt_L;
        case 0x1B:
            return XK_Escape;
        case 0x20:
            return XK_space;
        case 0x25:
            return XK_Left;
        case 0x26:
            return XK_Up;
        case 0x27:
            return XK_Right;
        case 0x28:
            return XK_Down;
        default:
            return NoSymbol;
    }
}

void SampleCursor()
{
    // The host watches input itself; the pointer means nothing to the show.
    if (g_HostWindow != None)
        return;
    Window root, child;
    int rootX, rootY, x, y;
    unsigned mask;
    if (g_Display &&
        XQueryPointer(g_Display, DefaultRootWindow(g_Display), &root, &child, &rootX, &rootY, &x, &y, &mask))
    {
        g_CursorX = rootX;
        g_CursorY = rootY;
    }
}

class COGLDevice_x11 : public COGLDevice
{
public:
    ~COGLDevice_x11() override { Unlist(); }

    bool Create(int width, int height, bool fullscreen, int monitor) override;
    void Present() override;
    void Destroy() override;
    TVector2<int> GetSize() override { return TVector2<int>(m_Width, m_Height); }
    void SetTitle(const char* text) override
    {
        // The host's window keeps the host's name.
        if (m_Window && !m_Hosted)
            XStoreName(g_Display, m_Window, text);
    }
    void MakeCurrent() override;
    bool ChooseMultisampleFormat() override;
    TVector2<float> GetMousePosition() override
    {
        return TVector2<float>(float(g_CursorX), float(g_CursorY));
    }
    void ResetMousePosition() override { g_CursorX = g_CursorY = 0; }
    bool IsKeyDown(int virtualKey) override;

    // What the window procedure does on a focus change.
    void OnFocusIn();
    void OnFocusOut();
    void OnDestroyed() { m_Destroyed = true; }
    void OnResized(int width, int height)
    {
        if (width == m_Width && height == m_Height)
            return;
        m_Width = width;
        m_Height = height;
        m_ViewportStale = true;
    }

    int m_PixelFormat = 0; // GLX_FBCONFIG_ID of the multisample configuration
    int m_Width = 0;
    int m_Height = 0;
    Window m_Window = None;
    Colormap m_Colormap = None;
    GLXContext m_GLContext = nullptr;
    int m_ClassMonitor = -1;
    SRect m_WindowRect = {};
    bool m_HasFocus = false;
    bool m_Destroyed = false;
    bool m_Hosted = false; // drawing into g_HostWindow, which is not ours to destroy
    bool m_ViewportStale = false;

private:
    bool CreateHosted();
    void Unlist()
    {
        for (int i = 0; i < g_Windows.GetCount(); ++i)
            if (g_Windows[i] == this)
            {
                g_Windows[i] = g_Windows[g_Windows.GetCount() - 1];
                g_Windows.SetCount(g_Windows.GetCount() - 1);
                return;
            }
    }
    bool WaitFor(int type, int milliseconds);
};

COGLDevice_x11* FindDevice(Window window)
{
    for (int i = 0; i < g_Windows.GetCount(); ++i)
        if (g_Windows[i]->m_Window == window)
            return g_Windows[i];
    return nullptr;
}

void HandleEvent(XEvent& event)
{
    COGLDevice_x11* device = FindDevice(event.xany.window);
    switch (event.type)
    {
        case FocusIn:
            if (device && event.xfocus.detail != NotifyPointer && event.xfocus.detail != NotifyInferior)
                device->OnFocusIn();
            break;
        case FocusOut:
            if (device && event.xfocus.detail != NotifyPointer && event.xfocus.detail != NotifyInferior)
                device->OnFocusOut();
            break;
        case ClientMessage:
            if (device && event.xclient.message_type == g_WMProtocols &&
                Atom(event.xclient.data.l[0]) == g_WMDeleteWindow)
                g_QuitRequested = true;
            break;
        case ConfigureNotify:
            if (device && device->m_Hosted && event.xconfigure.window == device->m_Window)
                device->OnResized(event.xconfigure.width, event.xconfigure.height);
            break;
        case DestroyNotify:
            if (device && event.xdestroywindow.window == device->m_Window)
            {
                device->OnDestroyed();
                g_QuitRequested = true;
            }
            break;
        case KeyPress:
        {
            KeySym symbol = XLookupKeysym(&event.xkey, 0);
            bool latched = false;
            for (int i = 0; i < g_KeyLatch.GetCount(); ++i)
                latched = latched || g_KeyLatch[i] == symbol;
            if (!latched && g_KeyLatch.GetCount() < 64)
                g_KeyLatch.Add(symbol);
            break;
        }
        default:
            break;
    }
}

bool COGLDevice_x11::WaitFor(int type, int milliseconds)
{
    for (int waited = 0; waited <= milliseconds; waited += 5)
    {
        XEvent event;
        if (XCheckTypedWindowEvent(g_Display, m_Window, type, &event))
        {
            HandleEvent(event);
            return true;
        }
        pollfd descriptor = {ConnectionNumber(g_Display), POLLIN, 0};
        poll(&descriptor, 1, 5);
    }
    return false;
}

// The host's window, at its own size; its pointer, focus and stacking stay the host's.
bool COGLDevice_x11::CreateHosted()
{
    XWindowAttributes window = {};
    g_XErrorSeen = false;
    if (!XGetWindowAttributes(g_Display, g_HostWindow, &window) || g_XErrorSeen)
    {
        LogText("opengl: Error creating window");
        return false;
    }
    GLXFBConfig config = ChooseConfigForVisual(XVisualIDFromVisual(window.visual));
    if (!config)
    {
        LogText("opengl: Can't find a suitable pixel format.");
        return false;
    }
    XSelectInput(g_Display, g_HostWindow, StructureNotifyMask);
    m_Window = g_HostWindow;
    m_Hosted = true;
    m_Destroyed = false;
    m_Width = window.width;
    m_Height = window.height;
    m_WindowRect = {window.x, window.y, window.x + window.width, window.y + window.height};
    g_Windows.Add(this);
    m_GLContext = glXCreateNewContext(g_Display, config, GLX_RGBA_TYPE, nullptr, True);
    if (!m_GLContext)
    {
        LogText("opengl: Can't create a GL rendering context.");
        return false;
    }
    MakeCurrent();
    XSync(g_Display, False);
    return true;
}

bool COGLDevice_x11::Create(int width, int height, bool fullscreen, int monitor)
{
    EnumerateMonitors();
    if (g_HostWindow != None)
        return monitor == 0 && CreateHosted();
    if (monitor < 0 || monitor >= GetMonitorCount())
        return false;
    if (m_ClassMonitor == -1)
        m_ClassMonitor = monitor;

    SRect rect = g_Monitors[monitor].m_Rect;
    int x = (rect.m_Left + rect.m_Right) / 2 - width / 2;
    int y = (rect.m_Top + rect.m_Bottom) / 2 - height / 2;

    GLXFBConfig config = ChooseConfig(0, m_Multisample ? m_PixelFormat : 0);
    if (!config)
    {
        LogText("opengl: Can't find a suitable pixel format.");
        return false;
    }
    XVisualInfo* visual = glXGetVisualFromFBConfig(g_Display, config);
    if (!visual)
    {
        LogText("opengl: Can't set the pixel format.");
        return false;
    }
    Window root = RootWindow(g_Display, visual->screen);
    m_Colormap = XCreateColormap(g_Display, root, visual->visual, AllocNone);
    XSetWindowAttributes attributes = {};
    attributes.colormap = m_Colormap;
    attributes.border_pixel = 0;
    attributes.background_pixel = 0;
    attributes.override_redirect = fullscreen ? True : False;
    attributes.event_mask = StructureNotifyMask | FocusChangeMask | KeyPressMask | KeyReleaseMask;
    g_XErrorSeen = false;
    m_Window = XCreateWindow(g_Display, root, x, y, unsigned(width), unsigned(height), 0, visual->depth,
                             InputOutput, visual->visual,
                             CWColormap | CWBorderPixel | CWBackPixel | CWOverrideRedirect | CWEventMask,
                             &attributes);
    XFree(visual);
    XSync(g_Display, False);
    if (!m_Window || g_XErrorSeen)
    {
        LogText("opengl: Error creating window");
        return false;
    }
    m_Destroyed = false;
    m_HasFocus = false;
    g_Windows.Add(this);
    XStoreName(g_Display, m_Window, "Trevan!");
    XSetWMProtocols(g_Display, m_Window, &g_WMDeleteWindow, 1);
    if (!fullscreen)
    {
        // Windowed: keep the size and place that were asked for.
        XSizeHints hints = {};
        hints.flags = PPosition | PSize | PMinSize | PMaxSize;
        hints.x = x;
        hints.y = y;
        hints.width = hints.min_width = hints.max_width = width;
        hints.height = hints.min_height = hints.max_height = height;
        XSetWMNormalHints(g_Display, m_Window, &hints);
    }
    m_Width = width;
    m_Height = height;
    m_WindowRect = {x, y, x + width, y + height};
    XMapRaised(g_Display, m_Window);

    m_GLContext = glXCreateNewContext(g_Display, config, GLX_RGBA_TYPE, nullptr, True);
    if (!m_GLContext)
    {
        LogText("opengl: Can't create a GL rendering context.");
        return false;
    }

    // The focus arrives inside Create, as it does where windows get it synchronously, so the
    // caller's reference pointer position is the centred one.
    if (WaitFor(MapNotify, 2000))
    {
        XSetInputFocus(g_Display, m_Window, RevertToParent, CurrentTime);
        if (!WaitFor(FocusIn, 1000))
            OnFocusIn();
    }
    MakeCurrent();
    XSync(g_Display, False);
    SampleCursor();
    return true;
}

void COGLDevice_x11::OnFocusIn()
{
    if (m_HasFocus)
        return;
    m_HasFocus = true;
    int centreX = m_WindowRect.m_Left + (m_WindowRect.m_Right - m_WindowRect.m_Left) / 2;
    int centreY = m_WindowRect.m_Top + (m_WindowRect.m_Bottom - m_WindowRect.m_Top) / 2;
    XWarpPointer(g_Display, None, DefaultRootWindow(g_Display), 0, 0, 0, 0, centreX, centreY);
    g_CursorX = g_CursorY = 0;
    if (g_BlankCursor == None)
    {
        static const char empty[1] = {0};
        Pixmap pixmap = XCreateBitmapFromData(g_Display, m_Window, empty, 1, 1);
        XColor black = {};
        g_BlankCursor = XCreatePixmapCursor(g_Display, pixmap, pixmap, &black, &black, 0, 0);
        XFreePixmap(g_Display, pixmap);
    }
    XDefineCursor(g_Display, m_Window, g_BlankCursor);
}

void COGLDevice_x11::OnFocusOut()
{
    m_HasFocus = false;
    if (m_Window && !m_Destroyed)
        XUndefineCursor(g_Display, m_Window);
}

void COGLDevice_x11::Present()
{
    if (m_Window && !m_Destroyed)
        glXSwapBuffers(g_Display, m_Window);
    SampleCursor();
}

void COGLDevice_x11::Destroy()
{
    if (!g_Display)
        return;
    if (m_GLContext)
    {
        if (glXGetCurrentContext() == m_GLContext)
            glXMakeCurrent(g_Display, None, nullptr);
        glXDestroyContext(g_Display, m_GLContext);
        m_GLContext = nullptr;
    }
    if (m_Window)
    {
        if (m_Hosted)
        {
            if (!m_Destroyed)
                XSelectInput(g_Display, m_Window, NoEventMask);
        }
        else if (!m_Destroyed)
            XDestroyWindow(g_Display, m_Window);
        m_Window = None;
    }
    if (m_Colormap)
    {
        XFreeColormap(g_Display, m_Colormap);
        m_Colormap = None;
    }
    Unlist();
    XSync(g_Display, False);
}

void COGLDevice_x11::MakeCurrent()
{
    SetCurrentDevice(this);
    if (m_Window && m_GLContext && !m_Destroyed)
    {
        glXMakeCurrent(g_Display, m_Window, m_GLContext);
        // A context takes its window's size only when it is first made current.
        if (m_ViewportStale)
        {
            glViewport(0, 0, m_Width, m_Height);
            m_ViewportStale = false;
        }
    }
}

bool COGLDevice_x11::ChooseMultisampleFormat()
{
    // The host's window keeps the visual it was made with.
    if (m_Hosted)
        return false;
    const char* extensions = glXQueryExtensionsString(g_Display, DefaultScreen(g_Display));
    if (!GLEW_ARB_multisample && !(extensions && strstr(extensions, "GLX_ARB_multisample")))
        return false;
    for (int samples : {4, 2})
    {
        GLXFBConfig config = ChooseConfig(samples, 0);
        int id = 0;
        if (config && glXGetFBConfigAttrib(g_Display, config, GLX_FBCONFIG_ID, &id) == Success)
        {
            m_PixelFormat = id;
            m_Multisample = true;
            break;
        }
    }
    // True means the extension is there, not that a format was found.
    return true;
}

bool COGLDevice_x11::IsKeyDown(int virtualKey)
{
    KeySym symbol = KeySymOfVirtualKey(virtualKey);
    if (symbol == NoSymbol || !g_Display || m_Hosted)
        return false;
    for (int i = 0; i < g_KeyLatch.GetCount(); ++i)
        if (g_KeyLatch[i] == symbol)
        {
            g_KeyLatch[i] = g_KeyLatch[g_KeyLatch.GetCount() - 1];
            g_KeyLatch.SetCount(g_KeyLatch.GetCount() - 1);
            return true;
        }
    KeyCode code = XKeysymToKeycode(g_Display, symbol);
    if (!code)
        return false;
    char keys[32];
    XQueryKeymap(g_Display, keys);
    return (keys[code / 8] >> (code % 8)) & 1;
}
} // namespace

void EnumerateMonitors()
{
    g_Monitors.Clear();
    if (!OpenDisplay())
        return;
    Window root = DefaultRootWindow(g_Display);
    XWindowAttributes host = {};
    if (g_HostWindow != None)
    {
        // The host's window is the one monitor; a window that is gone leaves none.
        g_XErrorSeen = false;
        if (XGetWindowAttributes(g_Display, g_HostWindow, &host) && !g_XErrorSeen)
        {
            char name[32];
            snprintf(name, sizeof name, "window 0x%lx", static_cast<unsigned long>(g_HostWindow));
            AddMonitor(g_HostWindow, 0, 0, host.width, host.height, name);
        }
    }
    else if (!EnumerateRandR(root) && !EnumerateXinerama())
    {
        g_Monitors.Clear();
        int screen = DefaultScreen(g_Display);
        AddMonitor(0, 0, 0, DisplayWidth(g_Display, screen), DisplayHeight(g_Display, screen), "default");
    }
    for (int i = 0; i < g_Monitors.GetCount(); ++i)
    {
        const SMonitor& m = g_Monitors[i];
        AppLog("#%d: rect=%d,%d,%d,%d size=%d,%d device=\"%s\"\n", i, m.m_Rect.m_Left, m.m_Rect.m_Top,
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

COGLDevice* CreateOGLDevice()
{
    COGLDevice* device = NEW COGLDevice_x11;
    g_CursorX = g_CursorY = 0;
    SetCurrentDevice(device);
    return device;
}

bool ProcessMessages()
{
    while (g_Display && XPending(g_Display))
    {
        XEvent event;
        XNextEvent(g_Display, &event);
        HandleEvent(event);
    }
    if (g_StopSignal && !g_QuitRequested)
    {
        AppLog("Ending the show on signal %d\n", int(g_StopSignal));
        g_QuitRequested = true;
    }
    return g_QuitRequested;
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

namespace
{
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
    if (!OpenDisplay())
        return false;
    Window window = DefaultRootWindow(g_Display);
    if (!root && !ParseWindowId(windowId, window))
    {
        AppLog("Error: %s \"%s\" is not a window id\n", source, windowId);
        return false;
    }
    XWindowAttributes attributes = {};
    g_XErrorSeen = false;
    if (!XGetWindowAttributes(g_Display, window, &attributes) || g_XErrorSeen)
    {
        AppLog("Error: there is no window 0x%lx to draw into\n", static_cast<unsigned long>(window));
        return false;
    }
    g_HostWindow = window;
    AppLog("Host window: 0x%lx, %dx%d\n", static_cast<unsigned long>(window), attributes.width,
           attributes.height);
    return true;
}

CTexture* CreateFontTexture()
{
    COGLDevice* device = GetCurrentDevice();
    if (!device || !OpenDisplay())
        return nullptr;
    // Lines of the overlay are 8 pixels apart and characters 6: the 5x8 font fits both.
    XFontStruct* font = nullptr;
    for (const char* name : {"5x8", "6x10", "fixed"})
        if ((font = XLoadQueryFont(g_Display, name)) != nullptr)
            break;
    if (!font)
    {
        AppLog("X: no font for the overlay\n");
        return nullptr;
    }
    const int size = 256, cell = 16;
    Pixmap pixmap = XCreatePixmap(g_Display, DefaultRootWindow(g_Display), size, size, 1);
    GC gc = XCreateGC(g_Display, pixmap, 0, nullptr);
    XSetForeground(g_Display, gc, 0);
    XFillRectangle(g_Display, pixmap, gc, 0, 0, size, size);
    XSetForeground(g_Display, gc, 1);
    XSetFont(g_Display, gc, font->fid);
    for (int c = 0; c < 256; ++c)
    {
        // Control codes stay blank: text lines end in a line feed, which fonts draw as a symbol.
        if (c < 32 || (c >= 127 && c < 160))
            continue;
        char text = char(c);
        XDrawString(g_Display, pixmap, gc, (c % 16) * cell, (c / 16) * cell + font->ascent, &text, 1);
    }
    XImage* glyphs = XGetImage(g_Display, pixmap, 0, 0, size, size, 1, XYPixmap);
    XFreeGC(g_Display, gc);
    XFreePixmap(g_Display, pixmap);
    XFreeFont(g_Display, font);
    if (!glyphs)
        return nullptr;

    CImage image;
    CTexture* texture = nullptr;
    if (image.Create(CImage::CFormat(CImage::CFormat::PRESET_RGBA8, size, size)))
    {
        for (int y = 0; y < size; ++y)
        {
            unsigned char* row = image.m_Data + y * image.m_Format.m_Pitch;
            for (int x = 0; x < size; ++x)
            {
                row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = 255;
                row[4 * x + 3] = XGetPixel(glyphs, x, y) ? 255 : 0;
            }
        }
        texture = device->CreateTexture(image);
    }
    XDestroyImage(glyphs);
    return texture;
}
