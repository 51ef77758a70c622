#pragma once
#include "keth/func/stream.h"
#include "keth/func/vector.h"

#include <cstdint>

namespace NKeth
{
class CImage;
}

// One GL texture and the sampling state applied each time it is bound. Never deleted: GL names
// live until the context goes away.
class CTexture
{
public:
    uint32_t m_Id;
    uint32_t m_MinFilter;
    uint32_t m_MagFilter;
    uint32_t m_WrapS;
    uint32_t m_WrapT;
    int32_t m_Width;
    int32_t m_Height;
    uint32_t m_Target;
};

// One GL buffer object: vertex data or 32-bit indices.
class CBuffer
{
public:
    uint32_t m_Id;
};

struct SShaderProgram
{
    uint32_t m_Program;
};

// Keys the program asks about; each platform maps them to its own codes.
enum class EKey
{
    Escape,
};

// The rendering device: the window and input side comes from the platform, the GL operations
// act on the context that is current.
class COGLDevice
{
public:
    virtual ~COGLDevice() = default;
    virtual bool Create(int width, int height, bool fullscreen, int monitor) = 0;
    virtual void Present() = 0;
    virtual void Destroy() = 0;
    virtual NKeth::TVector2<int> GetSize() = 0;
    virtual void SetTitle(const char*) {}
    virtual void MakeCurrent() = 0;
    virtual bool ChooseMultisampleFormat() { return false; }
    virtual NKeth::TVector2<float> GetMousePosition() = 0;
    virtual bool IsKeyDown(EKey key) = 0;

    // Textures. Creation from a stream or file logs an image error and returns none.
    CTexture* CreateTexture(const NKeth::CImage& image);
    CTexture* CreateTexture(NKeth::CInputStream& in);
    CTexture* CreateTexture(const char* fileName);
    CTexture* CreateCubeMap(const NKeth::CImage& posX, const NKeth::CImage& negX, const NKeth::CImage& posY,
                            const NKeth::CImage& negY, const NKeth::CImage& posZ, const NKeth::CImage& negZ);
    CTexture* CreateCubeMap(NKeth::CInputStream& posX, NKeth::CInputStream& negX, NKeth::CInputStream& posY,
                            NKeth::CInputStream& negY, NKeth::CInputStream& posZ, NKeth::CInputStream& negZ);
    CTexture* CreateCubeMap(const char* posX, const char* negX, const char* posY, const char* negY,
                            const char* posZ, const char* negZ);
    void BindTexture(int unit, const CTexture* texture);
    void SetBlend(bool enable, unsigned source, unsigned dest);

    // Shaders and buffers.
    SShaderProgram* LoadShader(const char* fileName);
    SShaderProgram* BuildShader(NKeth::CInputStream& in, const char* name);
    bool PrintInfoLog(uint32_t object, const char* title);
    CBuffer* CreateBuffer(const void* data, int size, uint32_t target);
    void BindIndexBuffer(const CBuffer* buffer);
    void SetVertexBuffer(const CBuffer* buffer, int components, uint32_t type, int stride, intptr_t offset);
    void SetTexCoordBuffer(int unit, const CBuffer* buffer, int components, uint32_t type, int stride,
                           intptr_t offset);

    // State and immediate-mode helpers.
    void ResetClientState();
    void ResetState();
    void Begin2D(float width, float height);
    void End2D();
    void DrawGrid(int mask);
    void DrawAxes(const NKeth::SMatrix& matrix);
    void DrawText(const CTexture* font, float x, float y, const char* format, ...)
        __attribute__((format(printf, 5, 6)));

    SShaderProgram* m_CurrentShader = nullptr;
    // Set once ChooseMultisampleFormat found a multisample format for the window.
    bool m_Multisample = false;
};

// The device that was made current last (or created last); every effect draws through it.
COGLDevice* GetCurrentDevice();
void SetCurrentDevice(COGLDevice* device);
