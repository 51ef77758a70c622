#include "sample_assets.h"

#include <algorithm>
#include <cmath>

using namespace NContent;

namespace NSample
{
namespace
{
uint8_t Byte(float v)
{
    v = v < 0 ? 0 : v > 1 ? 1 : v;
    return uint8_t(v * 255.0f + 0.5f);
}

// An image from a function of the texel centre in 0..1, giving RGBA in 0..1.
SPixels Paint(int size, const std::function<void(float, float, float*)>& f)
{
    SPixels pixels(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            float rgba[4] = {0, 0, 0, 1};
            f((float(x) + 0.5f) / float(size), (float(y) + 0.5f) / float(size), rgba);
            for (int c = 0; c < 4; ++c)
                pixels.At(x, y)[c] = Byte(rgba[c]);
        }
    return pixels;
}

float Wave(float x)
{
    return 0.5f + 0.5f * std::sin(x);
}
} // namespace

SPixels Plasma(int size, float phase)
{
    return Paint(size,
                 [phase](float x, float y, float* c)
                 {
                     const float a =
                         Wave(10 * x + phase) + Wave(7 * y - phase) + Wave(9 * (x + y) + 2 * phase);
                     c[0] = Wave(a * 2.1f), c[1] = Wave(a * 2.1f + 2), c[2] = Wave(a * 2.1f + 4);
                     c[3] = 1;
                 });
}

SPixels Rings(int size)
{
    return Paint(size,
                 [](float x, float y, float* c)
                 {
                     const float r = std::sqrt((x - 0.5f) * (x - 0.5f) + (y - 0.5f) * (y - 0.5f));
                     c[0] = c[1] = c[2] = Wave(40 * r);
                     c[3] = 1 - std::min(1.0f, 2 * r);
                 });
}

SPixels Stripes(int size)
{
    return Paint(size,
                 [](float x, float y, float* c)
                 {
                     const bool on = int((x + y) * 8) % 2 == 0;
                     c[0] = on ? 0.95f : 0.2f, c[1] = on ? 0.6f : 0.3f, c[2] = on ? 0.1f : 0.7f;
                     c[3] = on ? 1.0f : 0.35f;
                 });
}

SPixels Tiles(int size, float r, float g, float b)
{
    return Paint(size,
                 [=](float x, float y, float* c)
                 {
                     const bool line = std::fmod(x * 8, 1.0f) < 0.08f || std::fmod(y * 8, 1.0f) < 0.08f;
                     const float shade = line ? 0.15f : 0.6f + 0.4f * Wave(13 * x * y);
                     c[0] = r * shade, c[1] = g * shade, c[2] = b * shade, c[3] = 1;
                 });
}

SPixels Bands(int size)
{
    return Paint(size,
                 [](float, float y, float* c)
                 {
                     const int band = int(y * 6);
                     c[0] = band % 3 == 0 ? 0.9f : 0.2f, c[1] = band % 3 == 1 ? 0.8f : 0.25f,
                     c[2] = band % 3 == 2 ? 0.9f : 0.3f;
                     c[3] = 0.5f + 0.1f * float(band);
                 });
}

SPixels SkyFace(int size, int face)
{
    return Paint(size,
                 [face](float x, float y, float* c)
                 {
                     const float h = float(face) / 6.0f;
                     c[0] = 0.2f + 0.6f * (1 - y) * Wave(6.28f * h),
                     c[1] = 0.3f + 0.5f * (1 - y) * Wave(6.28f * h + 2),
                     c[2] = 0.5f + 0.4f * Wave(6.28f * h + 4 + 3 * x), c[3] = 1;
                 });
}
} // namespace NSample
