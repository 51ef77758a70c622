#include "ogldevice.h"

#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cstdarg>
#include <cstdio>

using namespace NKeth;

namespace
{
COGLDevice* g_CurrentDevice = nullptr;

const uint32_t KEEP_BLEND_FUNCTION = 0xFFFFFFFF;

// The GL layout of a channel image that GL takes directly, or 0.
GLenum DirectLayout(const CImage::CFormat& format, int& components)
{
    if (format.m_Type != CImage::CFormat::TYPE_CHANNELS)
        return 0;
    uint32_t s = format.GetDepths();
    uint32_t k = format.GetComponents();
    if (format.m_ColorModel == CImage::CFormat::MODEL_RGB)
    {
        if (s == 0x08080800 && k == 0x000102FF)
            return components = 3, GL_RGB;
        if (s == 0x08080800 && k == 0x020100FF && GLEW_EXT_bgra)
            return components = 3, GL_BGR_EXT;
        if (s == 0x08080808 && k == 0x00010203)
            return components = 4, GL_RGBA;
        if (s == 0x08080808 && k == 0x02010003 && GLEW_EXT_bgra)
            return components = 4, GL_BGRA_EXT;
    }
    else if (format.m_ColorModel == CImage::CFormat::MODEL_LUMINANCE)
    {
        if (s == 0x08000000 && k == 0x00FFFFFF)
            return components = 1, GL_LUMINANCE;
        if (s == 0x08080000 && k == 0x0003FFFF)
            return components = 2, GL_LUMINANCE_ALPHA;
    }
    return 0;
}

void ClearGLErrors()
{
    // Bounded: a lost context can report errors forever.
    for (int i = 0; i < 64 && glGetError() != GL_NO_ERROR; ++i)
    {
    }
}

bool ToRGBA8(const CImage& image, CImage& rgba)
{
    CImage::CFormat target(CImage::CFormat::PRESET_RGBA8, image.m_Format.m_Width, image.m_Format.m_Height);
    try
    {
        return image.Convert(target, rgba) && rgba.m_Data;
    }
    catch (const CException& error)
    {
        Log("%s\n", error.GetMessage());
        return false;
    }
}

// Uploads one image with its mipmap chain into target (2D or one cube face).
bool Upload(GLenum target, const CImage& image)
{
    ASSERT(image.m_Data != nullptr);
    if (!image.m_Data)
        return false;
    const CImage* source = &image;
    CImage converted;
    int components = 0;
    GLenum layout = DirectLayout(image.m_Format, components);
    if (!layout)
    {
        if (!ToRGBA8(image, converted))
            return false;
        source = &converted;
        components = 4;
        layout = GL_RGBA;
        Log("Performance Warning: Convertion during texture creation\n");
    }
    ClearGLErrors();
    gluBuild2DMipmaps(target, components, source->m_Format.m_Width, source->m_Format.m_Height, layout,
                      GL_UNSIGNED_BYTE, source->m_Data);
    if (glGetError() == GL_NO_ERROR)
        return true;

    Log("OpenGL: Couldn't handle the texture format. Reverting to RGBAi8\n");
    CImage retry;
    if (ToRGBA8(*source, retry))
    {
        ClearGLErrors();
        gluBuild2DMipmaps(target, 4, retry.m_Format.m_Width, retry.m_Format.m_Height, GL_RGBA,
                          GL_UNSIGNED_BYTE, retry.m_Data);
        if (glGetError() == GL_NO_ERROR)
            return true;
    }
    Log("OpenGL: Well, that didn't work. Bailing\n");
    return false;
}

CTexture* NewTexture(GLuint id, GLenum target, int width, int height)
{
    return NEW CTexture{id, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, GL_REPEAT, GL_REPEAT, width, height, target};
}

} // namespace

COGLDevice* GetCurrentDevice()
{
    return g_CurrentDevice;
}
void SetCurrentDevice(COGLDevice* device)
{
    g_CurrentDevice = device;
}

CTexture* COGLDevice::CreateTexture(const CImage& image)
{
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glEnable(GL_TEXTURE_2D);
    if (!Upload(GL_TEXTURE_2D, image))
    {
        glDeleteTextures(1, &id);
        return nullptr;
    }
    return NewTexture(id, GL_TEXTURE_2D, image.m_Format.m_Width, image.m_Format.m_Height);
}

CTexture* COGLDevice::CreateTexture(CInputStream& in)
{
    CImage image;
    if (!LoadImageOrLog(in, image))
        return nullptr;
    return CreateTexture(image);
}

CTexture* COGLDevice::CreateTexture(const char* fileName)
{
    CFileReader reader(fileName);
    return CreateTexture(reader);
}

CTexture* COGLDevice::CreateCubeMap(const CImage& posX, const CImage& negX, const CImage& posY,
                                    const CImage& negY, const CImage& posZ, const CImage& negZ)
{
    const CImage* faces[6] = {&posX, &negX, &posY, &negY, &posZ, &negZ};
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_CUBE_MAP, id);
    for (int i = 0; i < 6; ++i)
        if (!Upload(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, *faces[i]))
            return nullptr;
    return NewTexture(id, GL_TEXTURE_CUBE_MAP, -1, -1);
}

CTexture* COGLDevice::CreateCubeMap(CInputStream& posX, CInputStream& negX, CInputStream& posY,
                                    CInputStream& negY, CInputStream& posZ, CInputStream& negZ)
{
    CInputStream* streams[6] = {&posX, &negX, &posY, &negY, &posZ, &negZ};
    for (CInputStream* stream : streams)
        if (!stream->IsOpen())
            return nullptr;
    CImage images[6];
    for (int i = 0; i < 6; ++i)
        if (!LoadImageOrLog(*streams[i], images[i]))
            return nullptr;
    return CreateCubeMap(images[0], images[1], images[2], images[3], images[4], images[5]);
}

CTexture* COGLDevice::CreateCubeMap(const char* posX, const char* negX, const char* posY, const char* negY,
                                    const char* posZ, const char* negZ)
{
    CFileReader readers[6];
    const char* names[6] = {posX, negX, posY, negY, posZ, negZ};
    for (int i = 0; i < 6; ++i)
        readers[i].Open(names[i]);
    return CreateCubeMap(readers[0], readers[1], readers[2], readers[3], readers[4], readers[5]);
}

void COGLDevice::BindTexture(int unit, const CTexture* texture)
{
    glActiveTextureARB(GL_TEXTURE0_ARB + unit);
    if (texture)
    {
        glBindTexture(texture->m_Target, texture->m_Id);
        glTexParameteri(texture->m_Target, GL_TEXTURE_MIN_FILTER, GLint(texture->m_MinFilter));
        glTexParameteri(texture->m_Target, GL_TEXTURE_MAG_FILTER, GLint(texture->m_MagFilter));
        glTexParameteri(texture->m_Target, GL_TEXTURE_WRAP_S, GLint(texture->m_WrapS));
        glTexParameteri(texture->m_Target, GL_TEXTURE_WRAP_T, GLint(texture->m_WrapT));
    }
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_CUBE_MAP);
    if (texture)
        glEnable(texture->m_Target);
}

void COGLDevice::SetBlend(bool enable, unsigned source, unsigned dest)
{
    if (enable)
        glEnable(GL_BLEND);
    else
        glDisable(GL_BLEND);
    if (source != KEEP_BLEND_FUNCTION)
        glBlendFunc(source, dest);
}

SShaderProgram* COGLDevice::LoadShader(const char* fileName)
{
    CFileReader reader(fileName);
    if (!reader.IsOpen())
        return nullptr;
    return BuildShader(reader, fileName);
}

namespace
{
const int SHADER_LINE_SIZE = 4096;    // 4095 characters and the terminator
const int SHADER_SOURCE_SIZE = 32768; // 32767 characters and the terminator

// A shader source of fixed capacity that refuses text rather than overflowing.
class CShaderSource
{
public:
    bool Append(const char* text, int length)
    {
        if (m_Length + length > SHADER_SOURCE_SIZE - 1)
            return false;
        for (int i = 0; i < length; ++i)
            m_Text[m_Length++] = text[i];
        m_Text[m_Length] = 0;
        return true;
    }
    const char* Text() const { return m_Text; }

private:
    char m_Text[SHADER_SOURCE_SIZE] = {};
    int m_Length = 0;
};
} // namespace

SShaderProgram* COGLDevice::BuildShader(CInputStream& in, const char* name)
{
    Log("[OPENGL] Compiling shader '%s'... ", name);
    enum
    {
        PROLOGUE,
        VERTEX,
        FRAGMENT
    } section = PROLOGUE;
    CShaderSource* vertex = NEW CShaderSource;
    CShaderSource* fragment = NEW CShaderSource;
    char line[SHADER_LINE_SIZE];
    bool fits = true;
    while (fits && !in.IsEOF())
    {
        bool truncated = false;
        ReadLine(in, line, sizeof line, &truncated);
        if (truncated)
        {
            Log("\n%s: a line is longer than %d characters, shader refused\n", name, SHADER_LINE_SIZE - 1);
            fits = false;
            break;
        }
        int length = StrLen(line);
        if (StrCmp(line, "#fragmentshader") == 0)
            section = FRAGMENT;
        else if (StrCmp(line, "#vertexshader") == 0)
            section = VERTEX;
        else
        {
            if (section != FRAGMENT)
                fits = fits && vertex->Append(line, length);
            if (section != VERTEX)
                fits = fits && fragment->Append(line, length);
        }
        fits = fits && vertex->Append("\n", 1) && fragment->Append("\n", 1);
        if (!fits)
            Log("\n%s: longer than %d characters, shader refused\n", name, SHADER_SOURCE_SIZE - 1);
    }
    SShaderProgram* program = nullptr;
    if (fits)
    {
        bool failed = false;
        const GLcharARB* text = vertex->Text();
        GLhandleARB vs = glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
        glShaderSourceARB(vs, 1, &text, nullptr);
        glCompileShaderARB(vs);
        failed = PrintInfoLog(vs, name);

        text = fragment->Text();
        GLhandleARB fs = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
        glShaderSourceARB(fs, 1, &text, nullptr);
        glCompileShaderARB(fs);
        if (!failed)
            failed = PrintInfoLog(fs, name);

        GLhandleARB handle = glCreateProgramObjectARB();
        glAttachObjectARB(handle, vs);
        glAttachObjectARB(handle, fs);
        glLinkProgramARB(handle);
        if (!failed)
            failed = PrintInfoLog(handle, "Link");

        program = NEW SShaderProgram{uint32_t(handle)};
        if (!failed)
            Log("ok\n");
    }
    delete vertex;
    delete fragment;
    return program;
}

bool COGLDevice::PrintInfoLog(uint32_t object, const char* title)
{
    char text[4096];
    GLsizei length = 0;
    text[0] = 0;
    glGetInfoLogARB(GLhandleARB(object), sizeof text, &length, text);
    if (length <= 0 || !text[0])
        return false;
    text[sizeof text - 1] = 0;
    // The info log may fill the whole buffer, more than one formatted line holds.
    Log("\n%s:\n", title);
    LogText(text);
    LogText("\n");
    return true;
}

CBuffer* COGLDevice::CreateBuffer(const void* data, int size, uint32_t target)
{
    GLuint id = 0;
    glGenBuffersARB(1, &id);
    glBindBufferARB(target, id);
    glBufferDataARB(target, size, data, GL_STATIC_DRAW_ARB);
    return NEW CBuffer{id};
}

void COGLDevice::BindIndexBuffer(const CBuffer* buffer)
{
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, buffer ? buffer->m_Id : 0);
}

void COGLDevice::SetVertexBuffer(const CBuffer* buffer, int components, uint32_t type, int stride,
                                 intptr_t offset)
{
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffer ? buffer->m_Id : 0);
    glVertexPointer(components, type, stride, reinterpret_cast<const void*>(offset));
    glEnableClientState(GL_VERTEX_ARRAY);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
}

void COGLDevice::SetTexCoordBuffer(int unit, const CBuffer* buffer, int components, uint32_t type, int stride,
                                   intptr_t offset)
{
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffer ? buffer->m_Id : 0);
    glClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
    glTexCoordPointer(components, type, stride, reinterpret_cast<const void*>(offset));
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
}

void COGLDevice::ResetClientState()
{
    GLint attributes = 0;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIBS_ARB, &attributes);
    for (GLint i = 0; i < attributes; ++i)
        glDisableVertexAttribArrayARB(GLuint(i));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    for (int unit = 0; unit <= 4; ++unit)
    {
        glClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glClientActiveTextureARB(GL_TEXTURE0_ARB);
    }
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glNormalPointer(GL_FLOAT, 0, nullptr);
    glColorPointer(4, GL_FLOAT, 0, nullptr);
    glTexCoordPointer(2, GL_FLOAT, 0, nullptr);
}

void COGLDevice::ResetState()
{
    m_CurrentShader = nullptr;
    glUseProgramObjectARB(0);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, 1);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDisable(GL_ALPHA_TEST);
    for (int unit = 3; unit >= 0; --unit)
    {
        glActiveTextureARB(GL_TEXTURE0_ARB + unit);
        glDisable(GL_TEXTURE_1D);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_TEXTURE_CUBE_MAP);
    }
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    ResetClientState();
}

void COGLDevice::Begin2D(float width, float height)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, height, 0, 0.1, 10.0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
}

void COGLDevice::End2D()
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
}

void COGLDevice::DrawGrid(int mask)
{
    glUseProgramObjectARB(0);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_LINES);
    for (int i = -100; i < 100; i += 5)
    {
        float f = float(i);
        if (mask & 1)
        {
            float grey = i == 0 ? 0.5f : 0.15f;
            glColor4f(grey, grey, grey, 1);
            glVertex3f(-100, 0, f);
            glVertex3f(100, 0, f);
            glVertex3f(f, 0, -100);
            glVertex3f(f, 0, 100);
        }
        if (mask & 2)
        {
            glColor4f(0.4f, 0.15f, 0.15f, 1);
            glVertex3f(f, -100, 0);
            glVertex3f(f, 100, 0);
            glVertex3f(-100, f, 0);
            glVertex3f(100, f, 0);
        }
        if (mask & 4)
        {
            glColor4f(0.15f, 0.15f, 0.4f, 1);
            glVertex3f(0, f, -100);
            glVertex3f(0, f, 100);
            glVertex3f(0, -100, f);
            glVertex3f(0, 100, f);
        }
    }
    glEnd();
}

void COGLDevice::DrawAxes(const SMatrix& m)
{
    glBegin(GL_LINES);
    const float colors[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int axis = 0; axis < 3; ++axis)
    {
        glColor4f(colors[axis][0], colors[axis][1], colors[axis][2], 1);
        glVertex3f(m[12], m[13], m[14]);
        glVertex3f(m[12] + m[4 * axis], m[13] + m[4 * axis + 1], m[14] + m[4 * axis + 2]);
    }
    glEnd();
}

void COGLDevice::DrawText(const CTexture* font, float x, float y, const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);

    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT);
    BindTexture(0, font);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_QUADS);
    glColor4f(1, 1, 1, 1);
    const float cell = 1.0f / 16;
    for (const char* c = text; *c; ++c)
    {
        // Codes from 128 up have cells of their own (a signed byte would wrap into others).
        int code = static_cast<unsigned char>(*c);
        float u = float(code % 16) / 16;
        float v = float(code / 16) / 16;
        glTexCoord2f(u, v);
        glVertex3f(x, y, -1);
        glTexCoord2f(u + cell, v);
        glVertex3f(x + 16, y, -1);
        glTexCoord2f(u + cell, v + cell);
        glVertex3f(x + 16, y + 16, -1);
        glTexCoord2f(u, v + cell);
        glVertex3f(x, y + 16, -1);
        x += 6;
    }
    glEnd();
    glPopAttrib();
}
