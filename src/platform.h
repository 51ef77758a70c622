#pragma once
// Everything the program needs of the system it runs on. Each platform implements this once
// (X11/GLX and POSIX files, Win32/WGL files); nothing above it names a platform.
#include "ogldevice.h"

#include "keth/func/string.h"
#include "keth/func/vector.h"

// The framebuffer every window asks for; each backend translates it into its own attributes.
struct SFramebufferFormat
{
    int m_ColorBits; // red + green + blue
    int m_AlphaBits;
    int m_DepthBits;
    int m_StencilBits;
    bool m_DoubleBuffer;
};
constexpr SFramebufferFormat FRAMEBUFFER_FORMAT = {24, 8, 24, 8, true};
// Sample counts that ChooseMultisampleFormat tries, best first.
constexpr int MULTISAMPLE_COUNTS[] = {4, 2};

// Monitors, in the order the show numbers them. EnumerateMonitors rebuilds the list and logs
// one "#i: rect=..." line per monitor; under a host window that window is the one monitor.
void EnumerateMonitors();
int GetMonitorCount();
// (width, height) of monitor index; (0, 0) for an index outside the list.
NKeth::TVector2<int> GetMonitorSize(int index);

// A new device without a window, made the current device; its Create opens the window.
COGLDevice* CreateOGLDevice();
// Sets the swap interval of the current context (1: wait for the vertical blank); false when
// the driver has no way to set it.
bool SetSwapInterval(int interval);

// Dispatches every pending window message; true once a close request or a stop request was
// seen. Leaves the queue drained either way.
bool ProcessMessages();
// From now on a request of the system to end the program (SIGTERM or SIGINT, a console
// break) is a close request.
void CatchStopRequests();
// A window that a screensaver host made, into which the whole show then draws as one device of
// the window's size: the window of windowId (decimal or 0x hexadecimal), else one the host's
// environment names, else with root the root window. False, with a log line, when the window
// asked for can't be used; true without one when none is asked for or the platform has none.
bool SelectHostWindow(const char* windowId, bool root);

// The preview of the system's screensaver dialog: "/p" followed by the handle of the window to
// draw into, as one device of its size until that window goes away; input never ends it. False
// when the platform has no such preview or the window does not exist.
bool SelectPreviewWindow(const char* commandLine);
// The settings of the system's screensaver dialog ("/c"): where the show comes from and how to
// install one. Returns once the user has read it.
void ShowSettings();

// The overlay font of the current device: 256 x 256, character c in the 16 x 16 cell of column
// c mod 16 and row c / 16, white with the glyphs in alpha; none when the system has no font.
CTexture* CreateFontTexture();

// The registry of the platform, addressed by full key paths such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\VornScr". Failures are silent: a key that cannot be opened or a
// value that cannot be read simply is not there.
namespace NRegistry
{
// Opens the key with full access, creating it when it does not exist.
bool CreateKey(const char* key);
bool ReadString(const char* key, const char* name, NKeth::CString& value);
bool WriteString(const char* key, const char* name, const char* value);
} // namespace NRegistry

namespace NPlatform
{
// Empty when it cannot be read.
NKeth::CString GetWorkingDirectory();
bool SetWorkingDirectory(const char* path);
// Copies the running program to the installer location; false when the copy failed.
bool InstallProgram(const char* installerLocation);
// At most 127 characters.
NKeth::CString GetComputerName();
// Blocks the thread for about that long; nothing for zero or less.
void Sleep(double seconds);
} // namespace NPlatform
