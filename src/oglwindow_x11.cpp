// The rendering device on X11: one borderless window per monitor with a GLX context, pointer
// and keyboard state, and the message queue. Under a screensaver host the show draws into the
// host's window instead, and leaves input alone.
#include "monitors.h"
#include "platform.h"
#include "x11.h"

#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/func/dynamicarray.h"

#include <GL/glew.h>
// After GLEW: the plain GLX header, whose functions are real symbols rather than pointers that
// stay null until glewInit.
#include <GL/glx.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <poll.h>

using namespace NKeth;

namespace
{
class COGLDevice_x11;

struct SRect
{
    int32_t m_Left, m_Top, m_Right, m_Bottom;
};

Display* g_Display = nullptr;
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

// The configuration of the wanted framebuffer; with samples > 0 a multisample one.
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
        const SFramebufferFormat& format = FRAMEBUFFER_FORMAT;
        add(GLX_RED_SIZE, format.m_ColorBits / 3);
        add(GLX_GREEN_SIZE, format.m_ColorBits / 3);
        add(GLX_BLUE_SIZE, format.m_ColorBits / 3);
        add(GLX_ALPHA_SIZE, format.m_AlphaBits);
        add(GLX_DEPTH_SIZE, format.m_DepthBits);
        add(GLX_STENCIL_SIZE, format.m_StencilBits);
        add(GLX_DOUBLEBUFFER, format.m_DoubleBuffer ? True : False);
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

KeySym KeySymOf(EKey key)
{
    switch (key)
    {
        case EKey::Escape:
            return XK_Escape;
    }
    return NoSymbol;
}

void SampleCursor()
{
    // The host watches input itself; the pointer means nothing to the show.
    if (NX11::GetHostWindow() != None)
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
    bool IsKeyDown(EKey key) override;

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
    SRect m_WindowRect = {};
    bool m_Fullscreen = false;
    bool m_HasFocus = false;
    bool m_Destroyed = false;
    bool m_Hosted = false; // drawing into NX11::GetHostWindow(), which is not ours to destroy
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
    if (!XGetWindowAttributes(g_Display, NX11::GetHostWindow(), &window) || g_XErrorSeen)
    {
        LogText("opengl: Error creating window\n");
        return false;
    }
    GLXFBConfig config = ChooseConfigForVisual(XVisualIDFromVisual(window.visual));
    if (!config)
    {
        LogText("opengl: Can't find a suitable pixel format.\n");
        return false;
    }
    XSelectInput(g_Display, NX11::GetHostWindow(), StructureNotifyMask);
    m_Window = NX11::GetHostWindow();
    m_Hosted = true;
    m_Destroyed = false;
    m_Width = window.width;
    m_Height = window.height;
    m_WindowRect = {window.x, window.y, window.x + window.width, window.y + window.height};
    g_Windows.Add(this);
    m_GLContext = glXCreateNewContext(g_Display, config, GLX_RGBA_TYPE, nullptr, True);
    if (!m_GLContext)
    {
        LogText("opengl: Can't create a GL rendering context.\n");
        return false;
    }
    MakeCurrent();
    XSync(g_Display, False);
    return true;
}

bool COGLDevice_x11::Create(int width, int height, bool fullscreen, int monitor)
{
    EnumerateMonitors();
    if (NX11::GetHostWindow() != None)
        return monitor == 0 && CreateHosted();
    const SMonitor* place = NMonitors::Get(monitor);
    if (!place)
        return false;
    int x = (place->m_Left + place->m_Right) / 2 - width / 2;
    int y = (place->m_Top + place->m_Bottom) / 2 - height / 2;

    GLXFBConfig config = ChooseConfig(0, m_Multisample ? m_PixelFormat : 0);
    if (!config)
    {
        LogText("opengl: Can't find a suitable pixel format.\n");
        return false;
    }
    XVisualInfo* visual = glXGetVisualFromFBConfig(g_Display, config);
    if (!visual)
    {
        LogText("opengl: Can't set the pixel format.\n");
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
        LogText("opengl: Error creating window\n");
        return false;
    }
    m_Destroyed = false;
    m_HasFocus = false;
    m_Fullscreen = fullscreen;
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
        LogText("opengl: Can't create a GL rendering context.\n");
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
    // A window of its own leaves the pointer to the author, who ends the show with Escape.
    if (!m_Fullscreen)
        return;
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

bool COGLDevice_x11::IsKeyDown(EKey key)
{
    KeySym symbol = KeySymOf(key);
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

Display* NX11::OpenDisplay()
{
    if (g_Display)
        return g_Display;
    g_Display = XOpenDisplay(nullptr);
    if (!g_Display)
    {
        Log("X: can't open display \"%s\"\n", getenv("DISPLAY") ? getenv("DISPLAY") : "");
        return nullptr;
    }
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    g_WMProtocols = XInternAtom(g_Display, "WM_PROTOCOLS", False);
    g_WMDeleteWindow = XInternAtom(g_Display, "WM_DELETE_WINDOW", False);
    return g_Display;
}

Display* NX11::GetDisplay()
{
    return g_Display;
}

void NX11::ClearError()
{
    g_XErrorSeen = false;
}

bool NX11::ErrorSeen()
{
    return g_XErrorSeen;
}

COGLDevice* CreateOGLDevice()
{
    COGLDevice* device = NEW COGLDevice_x11;
    g_CursorX = g_CursorY = 0;
    SetCurrentDevice(device);
    return device;
}

bool SetSwapInterval(int interval)
{
    Display* display = NX11::GetDisplay();
    GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable)
        return false;
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    auto has = [&](const char* name)
    {
        size_t length = strlen(name);
        for (const char* at = extensions; at && (at = strstr(at, name)) != nullptr; at += length)
            if ((at == extensions || at[-1] == ' ') && (at[length] == ' ' || at[length] == 0))
                return true;
        return false;
    };
    using SwapIntervalEXT = void (*)(Display*, GLXDrawable, int);
    using SwapIntervalMESA = int (*)(unsigned);
    if (has("GLX_EXT_swap_control"))
        if (auto set = reinterpret_cast<SwapIntervalEXT>(
                glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT"))))
        {
            NX11::ClearError();
            set(display, drawable, interval);
            XSync(display, False);
            return !NX11::ErrorSeen();
        }
    if (has("GLX_MESA_swap_control"))
        if (auto set = reinterpret_cast<SwapIntervalMESA>(
                glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA"))))
            return set(unsigned(interval)) == 0;
    return false;
}

bool ProcessMessages()
{
    while (g_Display && XPending(g_Display))
    {
        XEvent event;
        XNextEvent(g_Display, &event);
        HandleEvent(event);
    }
    int signal = NX11::GetStopSignal();
    if (signal && !g_QuitRequested)
    {
        Log("Ending the show on signal %d\n", signal);
        g_QuitRequested = true;
    }
    return g_QuitRequested;
}
