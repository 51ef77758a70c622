// Plays the parts around the program that the X11 tests need:
//   x11_window close WINDOW-ID       asks the window to close the way a window manager does
//                                    (a WM_DELETE_WINDOW client message)
//   x11_window host X Y WIDTH HEIGHT plays a screensaver host: makes a plain window, prints its
//                                    id and keeps it until standard input closes
//   x11_window pixels WINDOW-ID R G B prints the share (percent) of the window's pixels within 2
//                                    of that colour, read from the window's own contents even
//                                    where it is drawn off screen (a redirected window)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

#include <cstdio>
#include <cstdlib>
#include <string>
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
int Pixels(Display* display, Window window, char** colour)
{
    const long want[3] = {atol(colour[0]), atol(colour[1]), atol(colour[2])};
    XWindowAttributes attributes;
    XImage* image = nullptr;
    Pixmap pixmap = 0;
    if (XGetWindowAttributes(display, window, &attributes))
    {
        pixmap = XCompositeNameWindowPixmap(display, window);
        image = XGetImage(display, pixmap, 0, 0, unsigned(attributes.width), unsigned(attributes.height),
                          AllPlanes, ZPixmap);
    }
    if (!image)
    {
        fprintf(stderr, "x11_window: window 0x%lx has no contents to read\n", window);
        return 1;
    }
    long hits = 0;
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
        {
            const unsigned long pixel = XGetPixel(image, x, y);
            const long got[3] = {long((pixel >> 16) & 0xFF), long((pixel >> 8) & 0xFF), long(pixel & 0xFF)};
            hits += labs(got[0] - want[0]) <= 2 && labs(got[1] - want[1]) <= 2 && labs(got[2] - want[2]) <= 2;
        }
    printf("%ld\n", hits * 100 / (long(attributes.width) * attributes.height));
    XDestroyImage(image);
    XFreePixmap(display, pixmap);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!(mode == "close" && argc == 3) && !(mode == "host" && argc == 6) && !(mode == "pixels" && argc == 6))
    {
        fprintf(stderr,
                "usage: x11_window close WINDOW-ID | host X Y WIDTH HEIGHT | pixels WINDOW-ID R G B\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display)
    {
        fprintf(stderr, "x11_window: no display\n");
        return 1;
    }
    const Window window = Window(strtoul(argv[2], nullptr, 0));
    const int status = mode == "host"    ? Host(display, argv + 2)
                       : mode == "close" ? Close(display, window)
                                         : Pixels(display, window, argv + 3);
    XCloseDisplay(display);
    return status;
}
