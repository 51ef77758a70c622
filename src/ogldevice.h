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
    virtual void ResetMousePosition() = 0;
    virtual bool IsKeyDown(int virtualKey) = 0;

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

// Platform side: monitors, the device factory and the message queue.
void EnumerateMonitors();
int GetMonitorCount();
NKeth::TVector2<int> GetMonitorSize(int index);
COGLDevice* CreateOGLDevice();
// Dispatches every pending window message; returns true once a close request was seen.
bool ProcessMessages();
// From now on a request of the system to end the program (SIGTERM or SIGINT, a console
// break) is a close request.
void CatchStopRequests();
// A window that a screensaver host made, into which the whole show then draws as one device of
// the window's size: the window of windowId (decimal or 0x hexadecimal), else one the host's
// environment names, else with root the root window. False, with a log line, when the window
// asked for can't be used; true without one when none is asked for or the platform has none.
bool SelectHostWindow(const char* windowId, bool root);
// The preview of the system's screensaver dialog: "/p" followed by the handle of the window to
// draw into, as one device of its size until that window goes away; input never ends it. False
// when the platform has no such preview or the window does not exist.
bool SelectPreviewWindow(const char* commandLine);
// The settings of the system's screensaver dialog ("/c"): where the show comes from and how to
// install one. Returns once the user has read it.
void ShowSettings();
// The overlay font of the current device: 256 x 256, character c in the 16 x 16 cell of column
// c mod 16 and row c / 16, white with the glyphs in alpha; none when the system has no font.
CTexture* CreateFontTexture();
