// Plays the two parts around the program that the X11 tests need:
//   x11_window close WINDOW-ID       asks the window to close the way a window manager does
//                                    (a WM_DELETE_WINDOW client message)
//   x11_window host X Y WIDTH HEIGHT plays a screensaver host: makes a plain window, prints its
//                                    id and keeps it until standard input closes
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
int Close(Display* display, Window window)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return sent ? 0 : 1;
}

int Host(Display* display, char** box)
{
    XSetWindowAttributes attributes = {};
    // A grey that no show of the tests clears to, and no window manager in between.
    attributes.background_pixel = 0x404040;
    attributes.override_redirect = True;
    attributes.event_mask = StructureNotifyMask;
    Window window =
        XCreateWindow(display, DefaultRootWindow(display), atoi(box[0]), atoi(box[1]), unsigned(atoi(box[2])),
                      unsigned(atoi(box[3])), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixel | CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(display, window);
    XEvent event;
    do
        XNextEvent(display, &event);
    while (event.type != MapNotify);
    printf("0x%lx\n", static_cast<unsigned long>(window));
    fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0)
    {
    }
    XDestroyWindow(display, window);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    const bool close = argc == 3 && strcmp(argv[1], "close") == 0;
    if (!close && !(argc == 6 && strcmp(argv[1], "host") == 0))
    {
        fprintf(stderr, "usage: x11_window close WINDOW-ID | x11_window host X Y WIDTH HEIGHT\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display)
    {
        fprintf(stderr, "x11_window: no display\n");
        return 1;
    }
    const int status = close ? Close(display, Window(strtoul(argv[2], nullptr, 0))) : Host(display, argv + 2);
    XCloseDisplay(display);
    return status;
}
