#pragma once
// The GL tests share one small window with its context; pixels are read from the back buffer
// before any swap, which is reliable on the virtual display where the front buffer is not.
#include "platform.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

struct SPixel
{
    uint8_t r, g, b, a;
    bool operator==(const SPixel& o) const { return r == o.r && g == o.g && b == o.b; }
};

inline std::ostream& operator<<(std::ostream& out, const SPixel& p)
{
    return out << "(" << int(p.r) << " " << int(p.g) << " " << int(p.b) << ")";
}

const int WINDOW_SIZE = 256;

// The devices of the tests, each created on first use and made current; none without a display.
// Device 0 is the small test window; 1 and 2 are large ones on the two monitors, with room for
// whole cube map faces, and 3 a small one on the second monitor.
COGLDevice* TestDevice(int index = 0);

// Skips the test when no display is available.
#define REQUIRE_DEVICE()                                                                                     \
    COGLDevice* device = TestDevice();                                                                       \
    if (!device)                                                                                             \
        GTEST_SKIP() << "no display";

// Makes the test device current, clears its back buffer, resets the GL state, the matrices to
// identity and the viewport to the whole window.
void ClearFrame(float r = 0, float g = 0, float b = 0, int device = 0);
std::vector<SPixel> ReadFrame(int width = WINDOW_SIZE, int height = WINDOW_SIZE, int x = 0, int y = 0);
inline SPixel ReadPixel(int x, int y)
{
    return ReadFrame(1, 1, x, y)[0];
}
// A channel value of 0..1 as it lands in an 8-bit frame buffer.
inline uint8_t Byte(float v)
{
    return uint8_t(v * 255.0f + 0.5f);
}
// A TGA file of that size with every pixel of one colour.
std::string SolidTGA(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);
// The RGBA of the first texel of that level of the bound texture.
std::vector<uint8_t> Texel(GLenum target, int level = 0);
GLint Integer(GLenum name);
GLint LevelParameter(GLenum target, int level, GLenum name);
// The viewport, the matrix mode, both matrix stack depths and both matrices.
std::vector<float> MatrixState();
inline bool IsLit(const SPixel& p)
{
    return p.r > 20 || p.g > 20 || p.b > 20;
}
int CountPixels(const std::vector<SPixel>& frame, bool (*test)(const SPixel&) = IsLit);
inline bool Near(const SPixel& p, float r, float g, float b, int tolerance = 2)
{
    auto close = [&](uint8_t c, float v) { return std::abs(int(c) - int(Byte(v))) <= tolerance; };
    return close(p.r, r) && close(p.g, g) && close(p.b, b);
}
