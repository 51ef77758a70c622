// Plays a screensaver host: makes a plain window, prints its id and keeps it until standard
// input closes. Usage: host_window X Y WIDTH HEIGHT
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        fprintf(stderr, "usage: host_window X Y WIDTH HEIGHT\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display)
    {
        fprintf(stderr, "host_window: no display\n");
        return 1;
    }
    int screen = DefaultScreen(display);
    XSetWindowAttributes attributes = {};
    // A grey that no show of the tests clears to, and no window manager in between.
    attributes.background_pixel = 0x404040;
    attributes.override_redirect = True;
    attributes.event_mask = StructureNotifyMask;
    Window window =
        XCreateWindow(display, RootWindow(display, screen), atoi(argv[1]), atoi(argv[2]),
                      unsigned(atoi(argv[3])), unsigned(atoi(argv[4])), 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixel | CWOverrideRedirect | CWEventMask, &attributes);
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
    XCloseDisplay(display);
    return 0;
}
