// The overlay font on Windows: the glyphs of a small fixed-pitch GDI font drawn into a DIB
// section, one 16 x 16 cell per character.
#include "platform.h"

#include "keth/base/log.h"

#include "keth/func/image.h"

#include <windows.h>

#include <cstring>

using namespace NKeth;

CTexture* CreateFontTexture()
{
    COGLDevice* device = GetCurrentDevice();
    if (!device)
        return nullptr;
    const int size = 256, cell = 16;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size; // top-down, like the texture
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits)
    {
        DeleteDC(dc);
        Log("GDI: no bitmap for the overlay font\n");
        return nullptr;
    }
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    memset(bits, 0, size * size * 4);

    // Lines of the overlay are 8 pixels apart and characters 6: an 8-pixel raster font fits.
    HFONT font =
        CreateFontA(-8, 5, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_RASTER_PRECIS,
                    CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, "Terminal");
    HGDIOBJ oldFont = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(ANSI_FIXED_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
    for (int c = 0; c < 256; ++c)
    {
        // Control codes stay blank: text lines end in a line feed.
        if (c < 32 || (c >= 127 && c < 160))
            continue;
        char text = char(c);
        TextOutA(dc, (c % 16) * cell, (c / 16) * cell, &text, 1);
    }
    GdiFlush();

    CImage image;
    CTexture* texture = nullptr;
    if (image.Create(CImage::CFormat(CImage::CFormat::PRESET_RGBA8, size, size)))
    {
        const unsigned char* source = static_cast<const unsigned char*>(bits);
        for (int y = 0; y < size; ++y)
        {
            unsigned char* row = image.m_Data + y * image.m_Format.m_Pitch;
            const unsigned char* from = source + y * size * 4;
            for (int x = 0; x < size; ++x)
            {
                unsigned char b = from[4 * x], g = from[4 * x + 1], r = from[4 * x + 2];
                row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = 255;
                row[4 * x + 3] = r > g ? (r > b ? r : b) : (g > b ? g : b);
            }
        }
        texture = device->CreateTexture(image);
    }

    SelectObject(dc, oldFont);
    if (font)
        DeleteObject(font);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return texture;
}
