// The overlay font on X11: a small core font drawn into a bitmap, one 16 x 16 cell per
// character.
#include "platform.h"
#include "x11.h"

#include "keth/base/log.h"
#include "keth/func/image.h"

#include <X11/Xutil.h>

#include <initializer_list>

using namespace NKeth;

CTexture* CreateFontTexture()
{
    COGLDevice* device = GetCurrentDevice();
    Display* display = NX11::OpenDisplay();
    if (!device || !display)
        return nullptr;
    // Lines of the overlay are 8 pixels apart and characters 6: the 5x8 font fits both.
    XFontStruct* font = nullptr;
    for (const char* name : {"5x8", "6x10", "fixed"})
        if ((font = XLoadQueryFont(display, name)) != nullptr)
            break;
    if (!font)
    {
        Log("X: no font for the overlay\n");
        return nullptr;
    }
    const int size = 256, cell = 16;
    Pixmap pixmap = XCreatePixmap(display, DefaultRootWindow(display), size, size, 1);
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XSetForeground(display, gc, 0);
    XFillRectangle(display, pixmap, gc, 0, 0, size, size);
    XSetForeground(display, gc, 1);
    XSetFont(display, gc, font->fid);
    for (int c = 0; c < 256; ++c)
    {
        // Control codes stay blank: text lines end in a line feed, which fonts draw as a symbol.
        if (c < 32 || (c >= 127 && c < 160))
            continue;
        char text = char(c);
        XDrawString(display, pixmap, gc, (c % 16) * cell, (c / 16) * cell + font->ascent, &text, 1);
    }
    XImage* glyphs = XGetImage(display, pixmap, 0, 0, size, size, 1, XYPixmap);
    XFreeGC(display, gc);
    XFreePixmap(display, pixmap);
    XFreeFont(display, font);
    if (!glyphs)
        return nullptr;

    CImage image;
    CTexture* texture = nullptr;
    if (image.Create(CImage::CFormat(CImage::CFormat::PRESET_RGBA8, size, size)))
    {
        for (int y = 0; y < size; ++y)
        {
            unsigned char* row = image.m_Data + y * image.m_Format.m_Pitch;
            for (int x = 0; x < size; ++x)
            {
                row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = 255;
                row[4 * x + 3] = XGetPixel(glyphs, x, y) ? 255 : 0;
            }
        }
        texture = device->CreateTexture(image);
    }
    XDestroyImage(glyphs);
    return texture;
}
