#pragma once
// What the X11 platform files share: the one display connection, its error flag, the
// screensaver host's window and the monitor rectangles.
#include <X11/Xlib.h>

#include <cstdint>

namespace NX11
{
// The connection, opened on first use; null, with a log line, when there is no display.
Display* OpenDisplay();
// Null until OpenDisplay succeeded.
Display* GetDisplay();

// Set by the error handler; clear it before a request whose failure the caller handles.
void ClearError();
bool ErrorSeen();

// The window a screensaver host made for the show, or None when the show makes its own.
Window GetHostWindow();
// The stop signal that arrived since CatchStopRequests, or 0.
int GetStopSignal();

struct SRect
{
    int32_t m_Left, m_Top, m_Right, m_Bottom;
};
// Monitor index's rectangle in root-window pixels; false for an index outside the list.
bool GetMonitorRect(int index, SRect& rect);
} // namespace NX11
