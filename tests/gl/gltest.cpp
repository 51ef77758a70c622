#include "gltest.h"
#include "content.h"

#include <cstdlib>

COGLDevice* TestDevice(int index)
{
    static const int sizes[4][3] = {
        {WINDOW_SIZE, WINDOW_SIZE, 0}, {600, 560, 0}, {600, 560, 1}, {240, 200, 1}};
    static COGLDevice* devices[4] = {};
    static bool tried[4] = {};
    if (!tried[index])
    {
        tried[index] = true;
        if (!getenv("DISPLAY"))
            return nullptr;
        // A shader found in the driver's disk cache is not compiled again and comes back with an
        // empty info log, which would hide the warnings the shader tests look for.
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
        static const bool enumerated = (EnumerateMonitors(), true);
        (void)enumerated;
        COGLDevice* created = CreateOGLDevice();
        if (created && created->Create(sizes[index][0], sizes[index][1], false, sizes[index][2]) &&
            glewInit() == GLEW_OK)
            devices[index] = created;
    }
    if (devices[index])
        devices[index]->MakeCurrent();
    return devices[index];
}

void ClearFrame(float r, float g, float b, int device)
{
    TestDevice(device)->ResetState();
    const NKeth::TVector2<int> size = TestDevice(device)->GetSize();
    glViewport(0, 0, size.x, size.y);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

std::vector<SPixel> ReadFrame(int width, int height, int x, int y)
{
    std::vector<SPixel> pixels(size_t(width) * size_t(height));
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

std::string SolidTGA(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    NContent::SPixels pixels(width, height);
    const uint8_t rgba[4] = {r, g, b, a};
    for (size_t i = 0; i < pixels.m_Data.size(); ++i)
        pixels.m_Data[i] = rgba[i % 4];
    return NContent::WriteTGA(pixels, false, true);
}

std::vector<uint8_t> Texel(GLenum target, int level)
{
    std::vector<uint8_t> texels(size_t(LevelParameter(target, level, GL_TEXTURE_WIDTH) *
                                       LevelParameter(target, level, GL_TEXTURE_HEIGHT)) *
                                    4 +
                                4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return {texels[0], texels[1], texels[2], texels[3]};
}

GLint Integer(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

GLint LevelParameter(GLenum target, int level, GLenum name)
{
    GLint value = 0;
    glGetTexLevelParameteriv(target, level, name, &value);
    return value;
}

std::vector<float> MatrixState()
{
    std::vector<float> state(39);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    for (int i = 0; i < 4; ++i)
        state[size_t(i)] = float(viewport[i]);
    state[4] = float(Integer(GL_MATRIX_MODE));
    state[5] = float(Integer(GL_PROJECTION_STACK_DEPTH));
    state[6] = float(Integer(GL_MODELVIEW_STACK_DEPTH));
    glGetFloatv(GL_PROJECTION_MATRIX, &state[7]);
    glGetFloatv(GL_MODELVIEW_MATRIX, &state[23]);
    return state;
}

int CountPixels(const std::vector<SPixel>& frame, bool (*test)(const SPixel&))
{
    int count = 0;
    for (const SPixel& p : frame)
        count += test(p) ? 1 : 0;
    return count;
}
