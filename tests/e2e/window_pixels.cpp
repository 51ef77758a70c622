// Prints the share (percent) of a window's pixels within 2 of the colour R G B, read from the
// window's own contents even where it is drawn off screen (a redirected window).
// Usage: window_pixels WINDOW-ID R G B
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        fprintf(stderr, "usage: window_pixels WINDOW-ID R G B\n");
        return 2;
    }
    Window window = Window(strtoul(argv[1], nullptr, 0));
    long want[3] = {atol(argv[2]), atol(argv[3]), atol(argv[4])};
    Display* display = XOpenDisplay(nullptr);
    XWindowAttributes attributes;
    if (!display || !XGetWindowAttributes(display, window, &attributes))
    {
        fprintf(stderr, "window_pixels: no window %s\n", argv[1]);
        return 1;
    }
    Pixmap pixmap = XCompositeNameWindowPixmap(display, window);
    XImage* image = XGetImage(display, pixmap, 0, 0, unsigned(attributes.width), unsigned(attributes.height),
                              AllPlanes, ZPixmap);
    if (!image)
    {
        fprintf(stderr, "window_pixels: window %s has no contents to read\n", argv[1]);
        return 1;
    }
    long hits = 0;
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
        {
            unsigned long pixel = XGetPixel(image, x, y);
            long got[3] = {long((pixel >> 16) & 0xFF), long((pixel >> 8) & 0xFF), long(pixel & 0xFF)};
            bool near = true;
            for (int c = 0; c < 3; ++c)
                near = near && labs(got[c] - want[c]) <= 2;
            hits += near;
        }
    printf("%ld\n", hits * 100 / (long(attributes.width) * attributes.height));
    XDestroyImage(image);
    XFreePixmap(display, pixmap);
    XCloseDisplay(display);
    return 0;
}
