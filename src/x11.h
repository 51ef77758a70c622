#pragma once
// What the X11 platform files share: the one display connection, its error flag and the
// screensaver host's window.
#include <X11/Xlib.h>

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
} // namespace NX11
