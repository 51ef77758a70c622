// "texture", "cubemap", "generatedcubemap" and "breltexture".
#include "effect_texture.h"
#include "effect_transform.h"
#include "ogldevice.h"

#include "keth/base/log.h"
#include "keth/func/exception.h"
#include "keth/func/stream.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>

using namespace NKeth;

namespace
{
CVariant PointerValue(const void* pointer)
{
    return CVariant::FromPointer(const_cast<void*>(pointer));
}
} // namespace

// ---------------------------------------------------------------------------------------------
// The records are the effects'; the GL names they hold live until the contexts go away.

CEffect_Texture::~CEffect_Texture()
{
    for (int i = 0; i < m_Textures.GetCount(); ++i)
        delete m_Textures[i];
}

CDeviceTextures::~CDeviceTextures()
{
    for (int i = 0; i < m_Copies.GetCount(); ++i)
        if (m_Copies[i] != m_ReadTime)
            delete m_Copies[i];
    delete m_ReadTime;
}

CTexture* CDeviceTextures::KeepReadTime(CTexture* texture)
{
    m_ReadDevice = GetCurrentDevice();
    return m_ReadTime = texture;
}

void CDeviceTextures::InitDevice(int deviceIndex, const std::function<CTexture*()>& make)
{
    if (deviceIndex < 0)
        return;
    GrowTo(m_Copies, deviceIndex + 1);
    COGLDevice* device = GetCurrentDevice();
    m_Copies[deviceIndex] = device && device == m_ReadDevice ? m_ReadTime : make();
}

bool CDeviceTextures::Find(int deviceIndex, CTexture*& texture) const
{
    if (deviceIndex < 0 || deviceIndex >= m_Copies.GetCount())
        return false;
    texture = m_Copies[deviceIndex];
    return true;
}

void CEffect_Texture::Read(CContainer& node)
{
    CEffect::Read(node);
    MakePassive();
    node.GetString("texturefile", &m_FileName, "");
}

// Each device's context owns the texture made for it.
void CEffect_Texture::InitDevice(int deviceIndex)
{
    if (m_FileName.GetLength() == 0 || deviceIndex < 0)
        return;
    GrowTo(m_Textures, deviceIndex + 1);
    COGLDevice* device = GetCurrentDevice();
    m_Textures[deviceIndex] = device ? device->CreateTexture(m_FileName.GetText()) : nullptr;
}

void CEffect_Texture::PrepareDevice(int deviceIndex)
{
    if (deviceIndex >= 0 && deviceIndex < m_Textures.GetCount())
        SetOutput("", PointerValue(m_Textures[deviceIndex]));
}

// ---------------------------------------------------------------------------------------------

void CEffect_CubeMap::Read(CContainer& node)
{
    CEffect::Read(node);
    MakePassive();
    static const char* const keys[6] = {"posx", "negx", "posy", "negy", "posz", "negz"};
    for (int i = 0; i < 6; ++i)
        node.GetString(keys[i], &m_FileNames[i], "");
    m_CubeMap = m_DeviceCubeMaps.KeepReadTime(Load());
    SetOutput("", PointerValue(m_CubeMap));
}

CTexture* CEffect_CubeMap::Load()
{
    COGLDevice* device = GetCurrentDevice();
    if (!device)
        return nullptr;
    CString paths[6];
    for (int i = 0; i < 6; ++i)
        paths[i] = CString("data/%s", m_FileNames[i].GetText());
    return device->CreateCubeMap(paths[0].GetText(), paths[1].GetText(), paths[2].GetText(),
                                 paths[3].GetText(), paths[4].GetText(), paths[5].GetText());
}

void CEffect_CubeMap::InitDevice(int deviceIndex)
{
    m_DeviceCubeMaps.InitDevice(deviceIndex, [this] { return Load(); });
}

void CEffect_CubeMap::PrepareDevice(int deviceIndex)
{
    if (m_DeviceCubeMaps.Find(deviceIndex, m_CubeMap))
        SetOutput("", PointerValue(m_CubeMap));
}

// ---------------------------------------------------------------------------------------------

void CEffect_BrelTexture::Read(CContainer& node)
{
    CEffect::Read(node);
    MakePassive();
    node.GetString("texturefile", &m_FileName, "");

    CFileReader reader(m_FileName.GetText());
    if (reader.IsOpen())
    {
        m_Loaded = LoadImageOrLog(reader, m_Image);
        m_Texture = m_DeviceTextures.KeepReadTime(MakeTexture());
    }
    SetOutput("", PointerValue(m_Texture));
    SetOutput("image", PointerValue(&m_Image));
}

// ---------------------------------------------------------------------------------------------

void CEffect_GeneratedCubeMap::Read(CContainer& node)
{
    CEffect_Group::Read(node);
    // Read for scripts that give it; the faces always have the same size.
    node.GetInt("texturesize", &m_TextureSize, 0);
    const bool hasNear = node.GetFloat("nearplane", &m_NearPlane, 0);
    const bool hasFar = node.GetFloat("farplane", &m_FarPlane, 0);
    node.GetString("transform", &m_TransformSource, "");
    // A near plane of 0 fills every face matrix with 0/0, and equal planes divide by zero.
    if (!hasNear || !hasFar || !(m_NearPlane > 0 && m_FarPlane > m_NearPlane))
    {
        Log("SCRIPT: generatedcubemap %s: nearplane %g and farplane %g make no projection, using %g and %g\n",
            m_Name.GetText(), double(m_NearPlane), double(m_FarPlane), double(DEFAULT_NEAR_PLANE),
            double(DEFAULT_FAR_PLANE));
        m_NearPlane = DEFAULT_NEAR_PLANE;
        m_FarPlane = DEFAULT_FAR_PLANE;
    }

    m_CubeMap = m_DeviceCubeMaps.KeepReadTime(MakePlaceholder());
    SetOutput("", PointerValue(m_CubeMap));
}

// A placeholder until the first render replaces the faces. Nearest filtering samples only level
// 0, so the cube stays complete when that level alone is replaced by one of another size.
CTexture* CEffect_GeneratedCubeMap::MakePlaceholder()
{
    COGLDevice* device = GetCurrentDevice();
    if (!device)
        return nullptr;
    CImage faces[6];
    CImage::CFormat format(CImage::CFormat::PRESET_RGBA8, 4, 4);
    for (CImage& face : faces)
    {
        if (!face.Create(format) || !face.m_Data)
            return nullptr;
        memset(face.m_Data, 0, 4 * 4 * 4);
    }
    CTexture* cube = device->CreateCubeMap(faces[0], faces[1], faces[2], faces[3], faces[4], faces[5]);
    if (cube)
    {
        cube->m_MinFilter = GL_NEAREST;
        cube->m_MagFilter = GL_NEAREST;
    }
    return cube;
}

void CEffect_GeneratedCubeMap::InitDevice(int deviceIndex)
{
    CEffect_Group::InitDevice(deviceIndex);
    m_DeviceCubeMaps.InitDevice(deviceIndex, MakePlaceholder);
}

void CEffect_GeneratedCubeMap::PrepareDevice(int deviceIndex)
{
    CEffect_Group::PrepareDevice(deviceIndex);
    if (m_DeviceCubeMaps.Find(deviceIndex, m_CubeMap))
        SetOutput("", PointerValue(m_CubeMap));
}

void CEffect_GeneratedCubeMap::Update(float localtime, float amount)
{
    CEffect_Group::Update(localtime, amount);
    m_SourceMatrix = MatrixOf(System().GetOutputValue(m_TransformSource.GetText()));
}

int CEffect_GeneratedCubeMap::FaceSize(const TVector2<int>& deviceSize)
{
    return std::max(0, std::min(FACE_SIZE, std::min(deviceSize.x, deviceSize.y)));
}

SMatrix CEffect_GeneratedCubeMap::LookAt(const CVector3& eye, const CVector3& centre, const CVector3& up)
{
    CVector3 f = centre - eye;
    f = f * (1.0f / f.Length());
    const CVector3 u = up * (1.0f / up.Length());
    const CVector3 s = f.Cross(u);
    const CVector3 v = s.Cross(f);
    SMatrix r = SMatrix::Identity();
    r[0] = s.x, r[4] = s.y, r[8] = s.z;
    r[1] = v.x, r[5] = v.y, r[9] = v.z;
    r[2] = -f.x, r[6] = -f.y, r[10] = -f.z;
    return r * SMatrix::Translation(-eye.x, -eye.y, -eye.z);
}

// Replaces the group's drawing: the children appear only in the cube map.
void CEffect_GeneratedCubeMap::Render(float localtime, float amount)
{
    COGLDevice* device = GetCurrentDevice();
    if (!device || !m_CubeMap)
        return;
    // A device smaller than the faces gets smaller faces rather than reads past its frame
    // buffer; faces of a cube map must be square.
    const int size = FaceSize(device->GetSize());
    if (size <= 0)
        return;

    device->ResetState();
    const CVector3 eye(m_SourceMatrix[12], m_SourceMatrix[13] + 5, m_SourceMatrix[14]);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);

    const float n = m_NearPlane;
    SMatrix projection = SMatrix::Frustum(n, m_FarPlane, n, -n, n, -n);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMultMatrixf(projection.m);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glViewport(0, 0, size, size);

    static const float faces[6][2][3] = {
        {{1, 0, 0}, {0, -1, 0}},  {{-1, 0, 0}, {0, -1, 0}}, {{0, 1, 0}, {0, 0, 1}},
        {{0, -1, 0}, {0, 0, -1}}, {{0, 0, 1}, {0, -1, 0}},  {{0, 0, -1}, {0, -1, 0}},
    };
    for (int i = 0; i < 6; ++i)
    {
        device->ResetState();
        const CVector3 direction(faces[i][0][0], faces[i][0][1], faces[i][0][2]);
        const CVector3 up(faces[i][1][0], faces[i][1][1], faces[i][1][2]);
        SMatrix view = LookAt(eye, eye + direction, up);
        // Children may leave another matrix selected.
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(view.m);
        CEffect_Group::Render(localtime, amount);
        device->BindTexture(0, m_CubeMap);
        glCopyTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, GL_RGBA, 0, 0, size, size, 0);
    }

    device->ResetState();
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

KETH_REGISTER_CLASS(CEffect_Texture, "texture");
KETH_REGISTER_CLASS(CEffect_CubeMap, "cubemap");
KETH_REGISTER_CLASS(CEffect_GeneratedCubeMap, "generatedcubemap");
KETH_REGISTER_CLASS(CEffect_BrelTexture, "breltexture");

CTexture* CEffect_BrelTexture::MakeTexture()
{
    COGLDevice* device = GetCurrentDevice();
    CTexture* texture = m_Loaded && device ? device->CreateTexture(m_Image) : nullptr;
    // Texels are meant to be seen one by one, as the CPU copy reads them.
    if (texture)
    {
        texture->m_MinFilter = GL_NEAREST;
        texture->m_MagFilter = GL_NEAREST;
    }
    return texture;
}

void CEffect_BrelTexture::InitDevice(int deviceIndex)
{
    m_DeviceTextures.InitDevice(deviceIndex, [this] { return MakeTexture(); });
}

void CEffect_BrelTexture::PrepareDevice(int deviceIndex)
{
    if (m_DeviceTextures.Find(deviceIndex, m_Texture))
        SetOutput("", PointerValue(m_Texture));
}
