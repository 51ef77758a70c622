#pragma once
// Effects that make GPU resources and publish them under the empty output name.
#include "effect.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/image.h"
#include "keth/func/string.h"
#include "keth/func/vector.h"

class COGLDevice;
class CTexture;
struct SShaderProgram;

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
    ~CEffect_CubeMap() override;
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;

    CTexture* m_CubeMap = nullptr;
    NKeth::CString m_FileNames[6];
    COGLDevice* m_ReadDevice = nullptr;
    CTexture* m_ReadCubeMap = nullptr;
    NKeth::TDynamicArray<CTexture*> m_DeviceCubeMaps;

private:
    CTexture* Load();
};

// "breltexture": a nearest-filtered texture whose decoded image stays readable on the CPU; one
// texture per device, as for "cubemap".
class CEffect_BrelTexture : public CEffect
{
public:
    ~CEffect_BrelTexture() override;
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;

    CTexture* m_Texture = nullptr;
    NKeth::CImage m_Image;
    NKeth::CString m_FileName;
    bool m_Loaded = false;
    COGLDevice* m_ReadDevice = nullptr;
    CTexture* m_ReadTexture = nullptr;
    NKeth::TDynamicArray<CTexture*> m_DeviceTextures;

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

    ~CEffect_GeneratedCubeMap() override;
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
    NKeth::TDynamicArray<CTexture*> m_DeviceCubeMaps;
    CTexture* m_ReadCubeMap = nullptr;
    COGLDevice* m_ReadDevice = nullptr;
    int m_TextureSize = 0;
    float m_NearPlane = 0;
    float m_FarPlane = 0;
    NKeth::SMatrix m_SourceMatrix = NKeth::SMatrix::Identity();
    NKeth::CString m_TransformSource;
};
