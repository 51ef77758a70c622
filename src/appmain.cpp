#include "appmain.h"

#include "container.h"
#include "demosystem.h"
#include "ogldevice.h"
#include "overlay.h"
#include "registry.h"

#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/func/exception.h"
#include "keth/func/stream.h"

#include <GL/glew.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

using namespace NKeth;

CDemoSystem g_DemoSystem;

void AppLog(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    LogText(text);
}

namespace
{
const int VK_ESCAPE = 0x1B;

char g_ComputerName[128];

// The default observer: position, yaw and pitch.
struct SViewCamera
{
    float m_X, m_Y, m_Z, m_Yaw, m_Pitch;
} g_ViewCamera;

class CStandardErrorListener : public CLogListener
{
public:
    void Write(const char* text) override { fputs(text, stderr); }
};

class CFileListener : public CLogListener
{
public:
    explicit CFileListener(FILE* file) : m_File(file) {}
    void Write(const char* text) override
    {
        fputs(text, m_File);
        fflush(m_File);
    }

private:
    FILE* m_File;
};

// The listeners must outlive every static object: the leak report is written after all
// destructors have run. They live in static storage and are never destroyed.
alignas(CStandardErrorListener) unsigned char g_StandardErrorStorage[sizeof(CStandardErrorListener)];
alignas(CFileListener) unsigned char g_FileListenerStorage[sizeof(CFileListener)];

void AttachListeners()
{
    static bool attached = false;
    if (attached)
        return;
    attached = true;
    AddLogListener(new (g_StandardErrorStorage) CStandardErrorListener);
    const char* path = getenv("VORNSCR_LOG");
    if (path && *path)
        if (FILE* file = fopen(path, "a"))
            AddLogListener(new (g_FileListenerStorage) CFileListener(file));
}

// The switches of the Linux program that come on top of the screensaver's own.
struct SOptions
{
    bool m_Window = false;
    long m_Frames = -1;
    bool m_Root = false;
    bool m_HasWindowId = false;
    CString m_WindowId;
    bool m_Fps = false;
};

SOptions ParseOptions(const CString& commandLine)
{
    SOptions options;
    CString rest(commandLine);
    while (rest.GetLength() > 0)
    {
        CString word = rest.Token(" ");
        if (word == "-window")
            options.m_Window = true;
        else if (word == "-root")
            options.m_Root = true;
        else if (word == "-fps")
            options.m_Fps = true;
        else if (word == "-window-id")
        {
            options.m_HasWindowId = true;
            options.m_WindowId = rest.Token(" ");
        }
        else if (word == "-frames" && rest.GetLength() > 0)
        {
            CString count = rest.Token(" ");
            char* end = nullptr;
            long frames = strtol(count.GetText(), &end, 10);
            if (end && *end == 0 && frames >= 0)
                options.m_Frames = frames;
        }
    }
    return options;
}

// Creates one device per monitor (or one window on monitor 0); false when one fails.
bool CreateDevices(const SOptions& options, int count)
{
    for (int i = 0; i < count; ++i)
    {
        COGLDevice* device = g_DemoSystem.m_Devices[i];
        TVector2<int> size = options.m_Window ? TVector2<int>(800, 600) : GetMonitorSize(i);
        if (!device->Create(size.x, size.y, !options.m_Window, i))
            return false;
        device->SetTitle("VornModelViewer");
    }
    return true;
}

SMatrix ProjectionMatrix(const TVector2<int>& size)
{
    float aspect = size.y ? float(size.x) / float(size.y) : 1.0f;
    float nearPlane = 0.0001f;
    float top = Tan(0.34906587f) * nearPlane;
    float right = top * aspect;
    return SMatrix::Frustum(nearPlane, 100, right, -right, top, -top);
}

SMatrix ViewMatrix()
{
    return SMatrix::Rotation(-g_ViewCamera.m_Yaw, -g_ViewCamera.m_Pitch, 0).Transposed() *
           SMatrix::Translation(-g_ViewCamera.m_X, -g_ViewCamera.m_Y, -g_ViewCamera.m_Z);
}

#ifdef VORNSCR_CHECK_GL
// Logs the first GL error of the run; later ones are usually its echoes.
void CheckGLError(long frame, int device)
{
    static bool reported = false;
    GLenum error = glGetError();
    if (error == GL_NO_ERROR || reported)
        return;
    reported = true;
    AppLog("OpenGL: error 0x%04x in frame %ld on device %d\n", unsigned(error), frame, device);
}
#endif

// Frames per second over the last half second or more of show time.
class CFrameRate
{
public:
    void Count(float time)
    {
        ++m_Frames;
        if (time - m_Since >= 0.5f)
        {
            m_Rate = float(m_Frames) / (time - m_Since);
            m_Since = time;
            m_Frames = 0;
        }
    }
    float Get() const { return m_Rate; }

private:
    float m_Since = 0;
    float m_Rate = 0;
    int m_Frames = 0;
};

void RunFrameLoop(const SOptions& options)
{
    COGLDevice* current = GetCurrentDevice();
    TVector2<float> reference = current->GetMousePosition();
    CFrameRate rate;
    for (long frame = 0; options.m_Frames < 0 || frame < options.m_Frames; ++frame)
    {
        current = GetCurrentDevice();
        if (current->IsKeyDown(VK_ESCAPE))
            break;
        TVector2<float> mouse = current->GetMousePosition();
        float dx = mouse.x - reference.x, dy = mouse.y - reference.y;
        if (Sqrt(dx * dx + dy * dy) > 1.0f)
            break;

        g_DemoSystem.Update();
        rate.Count(g_DemoSystem.m_Time);
        for (int i = 0; i < g_DemoSystem.m_Devices.GetCount(); ++i)
        {
            COGLDevice* device = g_DemoSystem.m_Devices[i];
            device->MakeCurrent();
            SMatrix projection = ProjectionMatrix(GetCurrentDevice()->GetSize());
            SMatrix view = ViewMatrix();
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glLoadMatrixf(projection.m);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glLoadMatrixf(view.m);
            g_DemoSystem.m_Root->PrepareDevice(i);
            g_DemoSystem.m_CurrentDevice = i;
            g_DemoSystem.Render();
            if (options.m_Fps)
                DrawOverlay(g_DemoSystem, i, rate.Get());
#ifdef VORNSCR_CHECK_GL
            CheckGLError(frame, i);
#endif
            GetCurrentDevice()->Present();
        }
        if (ProcessMessages())
            break;
    }
}
} // namespace

int AppMain(const char* commandLineText)
{
    AttachListeners();
    CString commandLine;
    commandLine = commandLineText;
    if (commandLine.Contains("/c"))
    {
        ShowSettings();
        return -1;
    }
    if (commandLine.Contains("/p") && !SelectPreviewWindow(commandLine.GetText()))
        return -1;
    if (commandLine.Contains("-install"))
    {
        InstallScreensaver();
        return -1;
    }
    SOptions options = ParseOptions(commandLine);
    CatchStopRequests();

    EnterDataDirectory();
    EnterPackagedSample();
    CString computer = NPlatform::GetComputerName();
    snprintf(g_ComputerName, sizeof g_ComputerName, "%s", computer.GetText());
    AppLog("Computer: %s\n", g_ComputerName);
    AppLog("CmdLine: %s\n", commandLine.GetText());

    CFileReader script("vornscr/script.txt");
    if (!script.IsOpen())
        return -1;
    CContainer root;
    try
    {
        root.Read(script);
    }
    catch (const CException& error)
    {
        AppLog("Error: %s\n", error.GetMessage());
        return -1;
    }

    if (!SelectHostWindow(options.m_HasWindowId ? options.m_WindowId.GetText() : nullptr, options.m_Root))
        return -1;
    EnumerateMonitors();
    int count = options.m_Window && GetMonitorCount() > 0 ? 1 : GetMonitorCount();
    if (count == 0)
    {
        AppLog("Error: no monitor to show on\n");
        return -1;
    }
    g_DemoSystem.m_Devices.SetCapacity(count);
    g_DemoSystem.m_Devices.SetCount(count);
    for (int i = 0; i < count; ++i)
        g_DemoSystem.m_Devices[i] = CreateOGLDevice();
    if (!CreateDevices(options, count))
        return -1;

    GLenum status = glewInit();
    if (status != GLEW_OK)
        AppLog("Error: %s\n", reinterpret_cast<const char*>(glewGetErrorString(status)));
    AppLog("Status: Using GLEW %s\n", reinterpret_cast<const char*>(glewGetString(GLEW_VERSION)));

    bool multisample = true;
    for (int i = 0; i < count; ++i)
        multisample = g_DemoSystem.m_Devices[i]->ChooseMultisampleFormat() && multisample;
    if (multisample)
    {
        for (int i = 0; i < count; ++i)
            g_DemoSystem.m_Devices[i]->Destroy();
        if (!CreateDevices(options, count))
            return -1;
    }

    if (GLEW_ARB_vertex_shader && GLEW_ARB_fragment_shader && GLEW_ARB_shading_language_100)
        AppLog("Got shader extentions\n");
    GLint units = 0, imageUnits = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS_ARB, &imageUnits);
    AppLog("Texture units: %d/%d\n", units, imageUnits);

    try
    {
        g_DemoSystem.Init(root);
    }
    catch (const CException& error)
    {
        AppLog("Error: %s\n", error.GetMessage());
        GetCurrentDevice()->Destroy();
        return -1;
    }

    if (options.m_Fps)
        for (int i = 0; i < count; ++i)
        {
            g_DemoSystem.m_Devices[i]->MakeCurrent();
            g_DemoSystem.m_DeviceFonts[i] = CreateFontTexture();
        }

    g_ViewCamera = {-50, 0, 0, 1.5707964f, 0};
    ASSERT(NMemoryManager::CheckMemory(true));
    RunFrameLoop(options);

    GetCurrentDevice()->Destroy();
    return 0;
}
