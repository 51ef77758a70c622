// The rendering device on Windows: one window per monitor with a WGL context, the monitor list,
// cursor and key state, and the message queue.
#include "monitors.h"
#include "platform.h"

#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/func/dynamicarray.h"

#include <GL/glew.h>
#include <GL/wglew.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace NKeth;

namespace
{
const char* const CLASS_NAME = "opengl";

// The cursor position last sampled by Create or Present, in screen pixels.
POINT g_Cursor = {0, 0};
bool g_ClassRegistered = false;
// The dialog's preview window that the show draws into, as a child window; none otherwise.
HWND g_PreviewParent = nullptr;

// The descriptor counts alpha among the colour bits.
PIXELFORMATDESCRIPTOR PixelFormatDescriptor()
{
    const SFramebufferFormat& format = FRAMEBUFFER_FORMAT;
    PIXELFORMATDESCRIPTOR descriptor = {};
    descriptor.nSize = sizeof descriptor; // 40
    descriptor.nVersion = 1;
    descriptor.dwFlags =
        PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (format.m_DoubleBuffer ? PFD_DOUBLEBUFFER : 0);
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = BYTE(format.m_ColorBits + format.m_AlphaBits);
    descriptor.cAlphaBits = BYTE(format.m_AlphaBits);
    descriptor.cDepthBits = BYTE(format.m_DepthBits);
    descriptor.cStencilBits = BYTE(format.m_StencilBits);
    descriptor.iLayerType = PFD_MAIN_PLANE;
    return descriptor;
}

void SampleCursor()
{
    // Input never ends a preview: the position stays where it was.
    if (g_PreviewParent)
        return;
    POINT position;
    if (GetCursorPos(&position))
        g_Cursor = position;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT rect, LPARAM)
{
    MONITORINFOEXA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    SMonitor record = {};
    record.m_Left = rect->left;
    record.m_Top = rect->top;
    record.m_Right = rect->right;
    record.m_Bottom = rect->bottom;
    if (GetMonitorInfoA(monitor, &info))
    {
        snprintf(record.m_DeviceName, sizeof record.m_DeviceName, "%s", info.szDevice);
        record.m_Width = info.rcMonitor.right - info.rcMonitor.left;
        record.m_Height = info.rcMonitor.bottom - info.rcMonitor.top;
    }
    else
    {
        record.m_Width = rect->right - rect->left;
        record.m_Height = rect->bottom - rect->top;
    }
    NMonitors::Add(record);
    return TRUE;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
        case WM_SETFOCUS:
        {
            if (g_PreviewParent)
                break;
            RECT rect;
            if (GetWindowRect(window, &rect))
                SetCursorPos(rect.left + (rect.right - rect.left) / 2,
                             rect.top + (rect.bottom - rect.top) / 2);
            g_Cursor.x = 0;
            g_Cursor.y = 0;
            ShowCursor(FALSE);
            break;
        }
        case WM_KILLFOCUS:
            if (!g_PreviewParent)
                ShowCursor(TRUE);
            break;
        case WM_CLOSE:
            PostQuitMessage(0);
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class COGLDevice_win32 : public COGLDevice
{
public:
    bool Create(int width, int height, bool fullscreen, int monitor) override;
    void Present() override;
    void Destroy() override;
    TVector2<int> GetSize() override { return TVector2<int>(m_Width, m_Height); }
    void SetTitle(const char* text) override
    {
        if (m_Window)
            SetWindowTextA(m_Window, text);
    }
    void MakeCurrent() override;
    bool ChooseMultisampleFormat() override;
    bool CreatePreview(HINSTANCE instance);
    bool CreateContext();
    TVector2<float> GetMousePosition() override
    {
        return TVector2<float>(float(g_Cursor.x), float(g_Cursor.y));
    }
    bool IsKeyDown(EKey key) override;

    int32_t m_PixelFormat = 0;
    int32_t m_Width = 0;
    int32_t m_Height = 0;
    HWND m_Window = nullptr;
    HDC m_Dc = nullptr;
    HGLRC m_GLContext = nullptr;
    int32_t m_ClassMonitor = -1;
};

bool COGLDevice_win32::Create(int width, int height, bool fullscreen, int monitor)
{
    EnumerateMonitors();
    if (monitor < 0 || monitor >= GetMonitorCount())
        return false;
    HINSTANCE instance = GetModuleHandleA(nullptr);

    // One class serves every device of the process.
    if (m_ClassMonitor == -1)
    {
        m_ClassMonitor = monitor;
        if (!g_ClassRegistered)
        {
            WNDCLASSA windowClass = {};
            windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
            windowClass.lpfnWndProc = WindowProcedure;
            windowClass.hInstance = instance;
            windowClass.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32517));     // IDI_WINLOGO
            windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
            windowClass.lpszClassName = CLASS_NAME;
            if (!RegisterClassA(&windowClass))
            {
                LogText("opengl: Couldn't register window class\n");
                return false;
            }
            g_ClassRegistered = true;
        }
    }

    if (g_PreviewParent)
        return monitor == 0 && CreatePreview(instance);

    if (fullscreen)
    {
        DEVMODEA mode;
        memset(&mode, 0, sizeof mode);
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        mode.dmBitsPerPel = 32;
        mode.dmPelsWidth = DWORD(width);
        mode.dmPelsHeight = DWORD(height);
        if (ChangeDisplaySettingsExA(NMonitors::Get(monitor)->m_DeviceName, &mode, nullptr, CDS_FULLSCREEN,
                                     nullptr) != DISP_CHANGE_SUCCESSFUL)
            return false;
        // The mode change may move the monitors, or lose one.
        EnumerateMonitors();
        if (monitor >= GetMonitorCount())
            return false;
    }

    const SMonitor& place = *NMonitors::Get(monitor);
    RECT rect = {place.m_Left, place.m_Top, place.m_Left + width, place.m_Top + height};
    DWORD exStyle, style;
    if (fullscreen)
    {
        exStyle = WS_EX_APPWINDOW;
        style = WS_POPUP;
        ShowCursor(FALSE);
    }
    else
    {
        exStyle = WS_EX_DLGMODALFRAME;
        style = WS_CAPTION | WS_SYSMENU;
    }
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);

    int x = (place.m_Left + place.m_Right) / 2 - width / 2;
    int y = (place.m_Top + place.m_Bottom) / 2 - height / 2;
    m_Window =
        CreateWindowExA(exStyle, CLASS_NAME, "Trevan!", style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x, y,
                        rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    if (!m_Window)
    {
        LogText("opengl: Error creating window\n");
        return false;
    }
    m_Width = width;
    m_Height = height;
    ShowWindow(m_Window, SW_SHOW);
    return CreateContext();
}

// A child window that covers the preview window's client area.
bool COGLDevice_win32::CreatePreview(HINSTANCE instance)
{
    RECT client;
    if (!GetClientRect(g_PreviewParent, &client))
        return false;
    m_Window =
        CreateWindowExA(0, CLASS_NAME, "Trevan!", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                        0, 0, client.right, client.bottom, g_PreviewParent, nullptr, instance, nullptr);
    if (!m_Window)
    {
        LogText("opengl: Error creating window\n");
        return false;
    }
    m_Width = client.right;
    m_Height = client.bottom;
    return CreateContext();
}

bool COGLDevice_win32::CreateContext()
{
    m_Dc = GetDC(m_Window);
    if (!m_Dc)
    {
        LogText("opengl: Couldn't get device context.\n");
        return false;
    }
    const PIXELFORMATDESCRIPTOR descriptor = PixelFormatDescriptor();
    int format = m_Multisample ? m_PixelFormat : ChoosePixelFormat(m_Dc, &descriptor);
    if (!format)
    {
        LogText("opengl: Can't find a suitable pixel format.\n");
        return false;
    }
    if (!SetPixelFormat(m_Dc, format, &descriptor))
    {
        LogText("opengl: Can't set the pixel format.\n");
        return false;
    }
    m_GLContext = wglCreateContext(m_Dc);
    if (!m_GLContext)
    {
        LogText("opengl: Can't create a GL rendering context.\n");
        return false;
    }
    MakeCurrent();
    SampleCursor();
    return true;
}

void COGLDevice_win32::Present()
{
    SwapBuffers(m_Dc);
    SampleCursor();
}

void COGLDevice_win32::Destroy()
{
    if (m_GLContext)
    {
        wglDeleteContext(m_GLContext);
        m_GLContext = nullptr;
    }
    if (m_Dc)
    {
        ReleaseDC(m_Window, m_Dc);
        m_Dc = nullptr;
    }
    if (m_Window)
    {
        DestroyWindow(m_Window);
        m_Window = nullptr;
    }
}

void COGLDevice_win32::MakeCurrent()
{
    SetCurrentDevice(this);
    wglMakeCurrent(m_Dc, m_GLContext);
}

bool COGLDevice_win32::ChooseMultisampleFormat()
{
    if (!GLEW_ARB_multisample)
        return false;
    // Without the pixel-format entry point nothing can be chosen; the recreated windows then
    // take the ordinary format.
    if (!wglChoosePixelFormatARB)
        return true;
    const SFramebufferFormat& wanted = FRAMEBUFFER_FORMAT;
    for (int samples : MULTISAMPLE_COUNTS)
    {
        const int attributes[] = {
            WGL_DRAW_TO_WINDOW_ARB,
            1,
            WGL_SUPPORT_OPENGL_ARB,
            1,
            WGL_ACCELERATION_ARB,
            WGL_FULL_ACCELERATION_ARB,
            WGL_COLOR_BITS_ARB,
            wanted.m_ColorBits,
            WGL_ALPHA_BITS_ARB,
            wanted.m_AlphaBits,
            WGL_DEPTH_BITS_ARB,
            wanted.m_DepthBits,
            WGL_STENCIL_BITS_ARB,
            wanted.m_StencilBits,
            WGL_DOUBLE_BUFFER_ARB,
            wanted.m_DoubleBuffer ? 1 : 0,
            WGL_SAMPLE_BUFFERS_ARB,
            1,
            WGL_SAMPLES_ARB,
            samples,
            0,
            0,
        };
        const float noFloats[] = {0, 0};
        int format = 0;
        UINT found = 0;
        if (wglChoosePixelFormatARB(m_Dc, attributes, noFloats, 1, &format, &found) && found >= 1)
        {
            m_PixelFormat = format;
            m_Multisample = true;
            break;
        }
    }
    // True means the extension is there, not that a format was found.
    return true;
}

bool COGLDevice_win32::IsKeyDown(EKey key)
{
    int code = 0;
    switch (key)
    {
        case EKey::Escape:
            code = VK_ESCAPE;
            break;
    }
    return !g_PreviewParent && code && (GetAsyncKeyState(code) & 0x8000) != 0;
}
} // namespace

void EnumerateMonitors()
{
    NMonitors::Clear();
    RECT client;
    // The preview window is the one monitor; a window that is gone leaves none.
    if (g_PreviewParent && GetClientRect(g_PreviewParent, &client))
    {
        SMonitor record = {};
        record.m_Right = record.m_Width = client.right;
        record.m_Bottom = record.m_Height = client.bottom;
        snprintf(record.m_DeviceName, sizeof record.m_DeviceName, "preview");
        NMonitors::Add(record);
    }
    else if (!g_PreviewParent)
        EnumDisplayMonitors(nullptr, nullptr, AddMonitor, 0);
    NMonitors::LogAll();
}

COGLDevice* CreateOGLDevice()
{
    COGLDevice* device = NEW COGLDevice_win32;
    g_Cursor.x = 0;
    g_Cursor.y = 0;
    SetCurrentDevice(device);
    return device;
}

bool SetSwapInterval(int interval)
{
    return WGLEW_EXT_swap_control && wglSwapIntervalEXT && wglSwapIntervalEXT(interval);
}

bool ProcessMessages()
{
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
    {
        if (message.message == WM_QUIT)
            quit = true;
        DispatchMessageA(&message);
    }
    return quit || (g_PreviewParent && !IsWindow(g_PreviewParent));
}

bool SelectPreviewWindow(const char* commandLine)
{
    const char* switchAt = strstr(commandLine, "/p");
    if (!switchAt)
        return false;
    const char* number = switchAt + 2;
    while (*number == ' ' || *number == ':')
        ++number;
    char* end = nullptr;
    unsigned long long handle = strtoull(number, &end, 10);
    HWND window = reinterpret_cast<HWND>(uintptr_t(handle));
    if (end == number || !IsWindow(window))
        return false;
    g_PreviewParent = window;
    return true;
}
