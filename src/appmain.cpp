#include "appmain.h"

#include "container.h"
#include "demosystem.h"
#include "install.h"
#include "ogldevice.h"
#include "overlay.h"
#include "platform.h"

#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/base/sys.h"
#include "keth/func/exception.h"
#include "keth/func/stream.h"

#include <GL/glew.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace NKeth;

CDemoSystem g_DemoSystem;

namespace
{
char g_ComputerName[128];

// The default observer: position, yaw and pitch.
struct SViewCamera
{
    float m_X, m_Y, m_Z, m_Yaw, m_Pitch;
} g_ViewCamera;

// The detail of reports (the blocks left at exit) only when asked for with -verbose.
class CStandardErrorListener : public CLogListener
{
public:
    void Write(const char* text) override { fputs(text, stderr); }
    void WriteDetail(const char* text) override
    {
        if (m_Verbose)
            fputs(text, stderr);
    }

    bool m_Verbose = false;
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

CStandardErrorListener* g_StandardError = nullptr;

void AttachListeners()
{
    if (g_StandardError)
        return;
    g_StandardError = new (g_StandardErrorStorage) CStandardErrorListener;
    AddLogListener(g_StandardError);
    const char* path = getenv("VORNSCR_LOG");
    if (path && *path)
        if (FILE* file = fopen(path, "a"))
            AddLogListener(new (g_FileListenerStorage) CFileListener(file));
}

const char* const USAGE =
    "Usage: vornscr [options]\n"
    "Plays the show of the data directory: full screen on every monitor until Escape is\n"
    "pressed, the mouse moves or a window is closed.\n"
    "\n"
    "Options (also with two dashes, as xscreensaver passes them):\n"
    "  -window         one 800x600 window on the first monitor; the mouse stays free and\n"
    "                  only Escape or closing the window ends the show\n"
    "  -root           draw on the root window (or into the one XSCREENSAVER_WINDOW names)\n"
    "  -window-id ID   draw into the existing window ID (decimal or 0x hexadecimal)\n"
    "  -fps            draw the frame rate and the active effects over the show\n"
    "  -frames N       end the show normally after N frames\n"
    "  -maxfps N       draw at most N frames per second, resting in between (0: no limit)\n"
    "  -vsync          wait for the vertical blank of the display at every frame\n"
    "  -verbose        list the blocks left at exit on standard error too\n"
    "  -install        record the current directory as the data directory, copy the program\n"
    "                  to the installer location and end (the show is not started)\n"
    "  -h, --help      print this text\n"
    "\n"
    "Environment:\n"
    "  VORNSCR_DIR          play the show of this directory; the registry is neither read\n"
    "                       nor written\n"
    "  VORNSCR_LOG          append the log, with the whole exit report, to this file\n"
    "  XSCREENSAVER_WINDOW  the window to draw into, set by the screensaver host\n"
    "  XDG_CONFIG_HOME      where the registry file vornscr/registry lives (default ~/.config)\n"
    "\n"
    "The show is read from vornscr/script.txt in the data directory: VORNSCR_DIR when it is\n"
    "set, else the directory that \"vornscr -install\" recorded in the registry, else the\n"
    "current directory. Arguments that contain /p or /c end the program at once (the preview\n"
    "and settings calls of screensaver hosts).\n";

// The switches of the Linux program that come on top of the screensaver's own.
struct SOptions
{
    bool m_Help = false;
    bool m_Window = false;
    long m_Frames = -1;
    bool m_Root = false;
    bool m_HasWindowId = false;
    CString m_WindowId;
    bool m_Fps = false;
    long m_MaxFps = 0; // 0: no limit
    bool m_VSync = false;
    bool m_Verbose = false;
    // Set when a switch lacks a valid value: the usage error to report.
    CString m_Error;
};

// A whole number from minimum up, the whole word.
bool ParseCount(const CString& word, long minimum, long& value)
{
    const char* text = word.GetText();
    if (!text || *text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    long parsed = strtol(text, &end, 10);
    if (errno || *end || parsed < minimum)
        return false;
    value = parsed;
    return true;
}

SOptions ParseOptions(const CString& commandLine)
{
    SOptions options;
    CString rest(commandLine);
    auto countOf = [&](const char* name, long minimum, long& value, const char* what)
    {
        CString count = rest.Token(" ");
        if (ParseCount(count, minimum, value) || options.m_Error.GetLength() > 0)
            return;
        if (count.GetLength() > 0)
            options.m_Error.Format("%s needs %s, not \"%s\"", name, what, count.GetText());
        else
            options.m_Error.Format("%s needs %s", name, what);
    };
    while (rest.GetLength() > 0)
    {
        CString word = rest.Token(" ");
        // xscreensaver 6 hands its programs' switches on with two dashes.
        if (word.GetLength() > 2 && strncmp(word.GetText(), "--", 2) == 0 && !(word == "--help"))
        {
            CString single;
            single = word.GetText() + 1;
            word = single;
        }
        if (word == "-h" || word == "--help")
            options.m_Help = true;
        else if (word == "-window")
            options.m_Window = true;
        else if (word == "-root")
            options.m_Root = true;
        else if (word == "-fps")
            options.m_Fps = true;
        else if (word == "-vsync")
            options.m_VSync = true;
        else if (word == "-verbose")
            options.m_Verbose = true;
        else if (word == "-window-id")
        {
            options.m_HasWindowId = true;
            options.m_WindowId = rest.Token(" ");
        }
        else if (word == "-frames")
            countOf("-frames", 0, options.m_Frames, "a number of frames (0 or more)");
        else if (word == "-maxfps")
            countOf("-maxfps", 0, options.m_MaxFps, "a number of frames per second (0: no limit)");
    }
    return options;
}

// Creates device i's window: full screen on monitor i, or one window on monitor 0.
bool CreateDevice(COGLDevice* device, const SOptions& options, int i)
{
    TVector2<int> size = options.m_Window ? TVector2<int>(800, 600) : GetMonitorSize(i);
    if (!device->Create(size.x, size.y, !options.m_Window, i))
        return false;
    device->SetTitle("VornModelViewer");
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
    Log("OpenGL: error 0x%04x in frame %ld on device %d\n", unsigned(error), frame, device);
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

// Rests until the end of each frame's share of a second; without a rate it never waits.
class CFrameLimit
{
public:
    explicit CFrameLimit(long framesPerSecond)
        : m_Period(framesPerSecond > 0 ? GetTickFrequency() / framesPerSecond : 0), m_Next(GetTicks())
    {
    }
    void Wait()
    {
        if (m_Period <= 0)
            return;
        int64_t now = GetTicks();
        m_Next += m_Period;
        // A frame that overran starts the count afresh instead of rushing to catch up.
        if (m_Next < now)
            m_Next = now;
        NPlatform::Sleep(double(m_Next - now) / double(GetTickFrequency()));
    }

private:
    int64_t m_Period;
    int64_t m_Next;
};

void RunFrameLoop(CDemoSystem& system, const SOptions& options)
{
    COGLDevice* current = GetCurrentDevice();
    TVector2<float> reference = current->GetMousePosition();
    CFrameRate rate;
    CFrameLimit limit(options.m_MaxFps);
    for (long frame = 0; options.m_Frames < 0 || frame < options.m_Frames; ++frame)
    {
        current = GetCurrentDevice();
        if (current->IsKeyDown(EKey::Escape))
            break;
        // A window of its own leaves the mouse to the author.
        TVector2<float> mouse = current->GetMousePosition();
        float dx = mouse.x - reference.x, dy = mouse.y - reference.y;
        if (!options.m_Window && Sqrt(dx * dx + dy * dy) > 1.0f)
            break;

        system.Update();
        rate.Count(system.m_Time);
        for (int i = 0; i < system.m_Devices.GetCount(); ++i)
        {
            COGLDevice* device = system.m_Devices[i];
            device->MakeCurrent();
            SMatrix projection = ProjectionMatrix(GetCurrentDevice()->GetSize());
            SMatrix view = ViewMatrix();
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glLoadMatrixf(projection.m);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glLoadMatrixf(view.m);
            system.m_Root->PrepareDevice(i);
            system.m_CurrentDevice = i;
            system.Render();
            if (options.m_Fps)
                DrawOverlay(system, i, rate.Get());
#ifdef VORNSCR_CHECK_GL
            CheckGLError(frame, i);
#endif
            GetCurrentDevice()->Present();
        }
        if (ProcessMessages())
            break;
        limit.Wait();
    }
}

// Opens one device per monitor (one window with -window) and, where every device can have
// one, reopens the windows that found a multisample format. False when a window fails.
bool OpenDevices(CDemoSystem& system, const SOptions& options, int count)
{
    system.m_Devices.SetCapacity(count);
    system.m_Devices.SetCount(count);
    for (int i = 0; i < count; ++i)
        system.m_Devices[i] = CreateOGLDevice();
    for (int i = 0; i < count; ++i)
        if (!CreateDevice(system.m_Devices[i], options, i))
            return false;

    GLenum status = glewInit();
    if (status != GLEW_OK)
        Log("Error: %s\n", reinterpret_cast<const char*>(glewGetErrorString(status)));
    Log("Status: Using GLEW %s\n", reinterpret_cast<const char*>(glewGetString(GLEW_VERSION)));

    bool multisample = true;
    for (int i = 0; i < count; ++i)
        multisample = system.m_Devices[i]->ChooseMultisampleFormat() && multisample;
    // A window's format is set once: only a format that was found is worth a new window.
    for (int i = 0; multisample && i < count; ++i)
    {
        COGLDevice* device = system.m_Devices[i];
        if (!device->m_Multisample)
            continue;
        device->Destroy();
        if (!CreateDevice(device, options, i))
            return false;
    }

    if (options.m_VSync)
    {
        bool synchronised = true;
        for (int i = 0; i < count; ++i)
        {
            system.m_Devices[i]->MakeCurrent();
            synchronised = SetSwapInterval(1) && synchronised;
        }
        if (!synchronised)
            Log("-vsync: the driver offers no swap interval control; frames are not synchronised\n");
    }
    return true;
}

// Nothing ran, so the exit report would only be noise after the usage.
int Usage(const SOptions& options)
{
    int status = 0;
    if (options.m_Help)
    {
        fputs(USAGE, stdout);
        fflush(stdout);
    }
    else
    {
        Log("Error: %s\n", options.m_Error.GetText());
        Log("Try \"vornscr --help\" for the usage.\n");
        status = 2;
    }
    RemoveLogListener(g_StandardError);
    return status;
}

// The show's directory: VORNSCR_DIR, else the one in the registry. False when VORNSCR_DIR
// names no directory.
bool EnterShowDirectory(bool& fromEnvironment)
{
    const char* directory = getenv("VORNSCR_DIR");
    fromEnvironment = directory && *directory;
    if (!fromEnvironment)
    {
        EnterDataDirectory();
        EnterPackagedSample();
        return true;
    }
    if (NPlatform::SetWorkingDirectory(directory))
        return true;
    Log("Error: VORNSCR_DIR \"%s\" is no directory that can be entered\n", directory);
    return false;
}

int RunShow(CDemoSystem& system, const CString& commandLine, const SOptions& options)
{
    CatchStopRequests();
    bool fromEnvironment = false;
    if (!EnterShowDirectory(fromEnvironment))
        return -1;
    CString computer = NPlatform::GetComputerName();
    snprintf(g_ComputerName, sizeof g_ComputerName, "%s", computer.GetText());
    Log("Computer: %s\n", g_ComputerName);
    Log("CmdLine: %s\n", commandLine.GetText());
    Log("Data directory: %s%s\n", NPlatform::GetWorkingDirectory().GetText(),
        fromEnvironment ? " (VORNSCR_DIR)" : "");

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
        Log("Error: %s\n", error.GetMessage());
        return -1;
    }

    if (!SelectHostWindow(options.m_HasWindowId ? options.m_WindowId.GetText() : nullptr, options.m_Root))
        return -1;
    EnumerateMonitors();
    int count = options.m_Window && GetMonitorCount() > 0 ? 1 : GetMonitorCount();
    if (count == 0)
    {
        Log("Error: no monitor to show on\n");
        return -1;
    }
    if (!OpenDevices(system, options, count))
        return -1;

    if (GLEW_ARB_vertex_shader && GLEW_ARB_fragment_shader && GLEW_ARB_shading_language_100)
        Log("Got shader extentions\n");
    GLint units = 0, imageUnits = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS_ARB, &imageUnits);
    Log("Texture units: %d/%d\n", units, imageUnits);

    try
    {
        system.Init(root);
    }
    catch (const CException& error)
    {
        Log("Error: %s\n", error.GetMessage());
        GetCurrentDevice()->Destroy();
        return -1;
    }

    if (options.m_Fps)
        for (int i = 0; i < count; ++i)
        {
            system.m_Devices[i]->MakeCurrent();
            system.m_DeviceFonts[i] = CreateFontTexture();
        }

    g_ViewCamera = {-50, 0, 0, 1.5707964f, 0};
    ASSERT(NMemoryManager::CheckMemory(true));
    RunFrameLoop(system, options);

    GetCurrentDevice()->Destroy();
    return 0;
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
    if (options.m_Help || options.m_Error.GetLength() > 0)
        return Usage(options);
    g_StandardError->m_Verbose = options.m_Verbose;
    return RunShow(g_DemoSystem, commandLine, options);
}
