#pragma once
// Effects that make GPU resources and publish them under the empty output name.
#include "effect.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/image.h"
#include "keth/func/string.h"
#include "keth/func/vector.h"

#include <functional>

class COGLDevice;
class CTexture;
struct SShaderProgram;

// The texture records of one block, one per device: the one made when the block was read
// belongs to the device current then, and every other device, whose context cannot use it,
// gets its own. The records are owned here; the GL names they hold live until the contexts go.
class CDeviceTextures
{
public:
    CDeviceTextures() = default;
    ~CDeviceTextures();
    CDeviceTextures(const CDeviceTextures&) = delete;
    CDeviceTextures& operator=(const CDeviceTextures&) = delete;

    // Keeps the texture made when read, for the current device; returns it.
    CTexture* KeepReadTime(CTexture* texture);
    // Gives the device being initialised its texture: the read-time one on its own device, else
    // one that make creates with the current device.
    void InitDevice(int deviceIndex, const std::function<CTexture*()>& make);
    // False when the device was never initialised.
    bool Find(int deviceIndex, CTexture*& texture) const;

private:
    COGLDevice* m_ReadDevice = nullptr;
    CTexture* m_ReadTime = nullptr;
    NKeth::TDynamicArray<CTexture*> m_Copies;
};

// "texture": one 2D texture per device, each published before its device draws.
class CEffect_Texture : public CEffect
{
public:
    ~CEffect_Texture() override;
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;

    NKeth::TDynamicArray<CTexture*> m_Textures;
    NKeth::CString m_FileName;
};

// "cubemap": six face images below data/, made when read on the device current then and in
// InitDevice for every other device, whose context cannot use that one.
class CEffect_CubeMap : public CEffect
{
public:
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;

    CTexture* m_CubeMap = nullptr;
    NKeth::CString m_FileNames[6];
    CDeviceTextures m_DeviceCubeMaps;

private:
    CTexture* Load();
};

// "breltexture": a nearest-filtered texture whose decoded image stays readable on the CPU; one
// texture per device, as for "cubemap".
class CEffect_BrelTexture : public CEffect
{
public:
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;

    CTexture* m_Texture = nullptr;
    NKeth::CImage m_Image;
    NKeth::CString m_FileName;
    bool m_Loaded = false;
    CDeviceTextures m_DeviceTextures;

private:
    CTexture* MakeTexture();
};

// "shader": a program built from a file below data/, one per device, each published before its
// device draws.
class CEffect_Shader : public CEffect
{
public:
    ~CEffect_Shader() override;
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;

    NKeth::CString m_FileName;
    // Built when read, for the device current then; contexts share no programs, so every
    // other device builds its own.
    SShaderProgram* m_ShaderProgram = nullptr;
    COGLDevice* m_ReadDevice = nullptr;
    NKeth::TDynamicArray<SShaderProgram*> m_DevicePrograms;
};

// "generatedcubemap": a group whose children are drawn into the six faces of a cube map seen
// from a point above the source transform, and nowhere else.
class CEffect_GeneratedCubeMap : public CEffect_Group
{
public:
    static constexpr int FACE_SIZE = 512;
    // Used when the script leaves the planes out or gives ones that make no projection.
    static constexpr float DEFAULT_NEAR_PLANE = 0.1f;
    static constexpr float DEFAULT_FAR_PLANE = 100.0f;

    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;
    void Update(float localtime, float amount) override;
    void Render(float localtime, float amount) override;

    // The side of the square faces on a device of that size: the faces are copied from the
    // frame buffer, so never more than it holds.
    static int FaceSize(const NKeth::TVector2<int>& deviceSize);
    // The view from eye towards centre with the given up direction.
    static NKeth::SMatrix LookAt(const NKeth::CVector3& eye, const NKeth::CVector3& centre,
                                 const NKeth::CVector3& up);
    // A cube map of 4 x 4 faces with nearest filtering, made with the current device.
    static CTexture* MakePlaceholder();

    // The cube map of the device being drawn. Contexts share no names, so every device gets one
    // of its own; the one made when read belongs to the device current then.
    CTexture* m_CubeMap = nullptr;
    CDeviceTextures m_DeviceCubeMaps;
    int m_TextureSize = 0;
    float m_NearPlane = 0;
    float m_FarPlane = 0;
    NKeth::SMatrix m_SourceMatrix = NKeth::SMatrix::Identity();
    NKeth::CString m_TransformSource;
};
