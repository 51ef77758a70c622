// "object" and "screen".
#include "effect_object.h"
#include "demosystem.h"
#include "effect_transform.h"
#include "ogldevice.h"

#include "keth/base/memorymanager.h"
#include "keth/base/sys.h"

#include <GL/glew.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <initializer_list>

using namespace NKeth;

namespace
{
const float PI = 3.14159265f;

// The effect named by the part of key before '.', if any.
CEffect* EffectOfKey(CDemoSystem& system, const char* key)
{
    const char* dot = strchr(key, '.');
    CString name;
    if (dot)
        name.Set(key, int(dot - key));
    else
        name = key;
    const int index = system.FindEffect(name.GetText());
    return index < 0 ? nullptr : system.m_Effects[index];
}

// A mesh list published by a model effect. Other effects publish other kinds of objects, which
// must never be taken for meshes.
TDynamicArray<CMesh*>* FindModel(CDemoSystem& system, const char* key)
{
    CEffect* effect = EffectOfKey(system, key);
    if (!effect ||
        (strcmp(effect->GetKeyword(), "model") != 0 && strcmp(effect->GetKeyword(), "vornmodel") != 0))
        return nullptr;
    CVariant value = system.GetOutputValue(key);
    if (value.m_Type != CVariant::TYPE_POINTER)
        return nullptr;
    return static_cast<TDynamicArray<CMesh*>*>(value.ToPointer());
}

// A pointer output that is a GL object of the given kind, else null.
template <class T> T* FindResource(CDemoSystem& system, const CString& key)
{
    if (key.GetLength() == 0)
        return nullptr;
    CVariant value = system.GetOutputValue(key.GetText());
    return value.m_Type == CVariant::TYPE_POINTER ? static_cast<T*>(value.ToPointer()) : nullptr;
}

} // namespace

// ---------------------------------------------------------------------------------------------

uint32_t CEffect_Object::s_RandomState = 1;

int CEffect_Object::NextRandom()
{
    s_RandomState = s_RandomState * 214013u + 2531011u;
    return int((s_RandomState >> 16) & 0x7FFF);
}

int CEffect_Object::PickNext(int current, int count)
{
    if (count <= 1)
        return current;
    int index = current;
    while (index == current)
        index = int(float(NextRandom()) / 32767.0f * float(count)) % count;
    return index;
}

float CEffect_Object::Fade(float dt, float sequenceTime, float fadeTime)
{
    if (sequenceTime - dt < fadeTime)
        return std::min((sequenceTime - dt) / fadeTime, 1.0f);
    if (dt < fadeTime)
        return dt / fadeTime;
    return 1;
}

CEffect_Object::CVornCluster::~CVornCluster()
{
    for (int i = 0; i < m_Contexts.GetCount(); ++i)
        if (ClusterContext* context = m_Contexts[i])
        {
            context->m_VertexBuffers.DeleteAll();
            context->m_IndexBuffers.DeleteAll();
            delete context;
        }
}

CEffect_Object::~CEffect_Object()
{
    m_Clusters.DeleteAll();
}

void CEffect_Object::Read(CContainer& node)
{
    CEffect::Read(node);
    m_SequenceStart = -1;
    m_Phase = 0;
    m_Fade = 0;
    m_CurrentIndex = 0;
    node.GetString("transform", &m_TransformName, "");
    node.GetString("light", &m_LightName, "");
    node.GetString("lightintensity", &m_LightIntensityName, "");
    node.GetFloat("lightrange", &m_LightRange, 5.0f);
    node.GetFloat("maxsize", &m_MaxSize, 10.0f);
    node.GetFloat("sequencetime", &m_SequenceTime, 2.0f);
    node.GetFloat("fadetime", &m_FadeTime, 0.1f);
    m_LightName = m_LightName + CString(".lightpos");

    CDemoSystem& system = System();
    if (CContainer* objects = node.Find("objects"))
    {
        const int count = objects->m_Children.GetCount();
        m_Clusters.SetCount(count);
        m_Colors.SetCount(count);
        m_Sizes.SetCount(count);
        for (int i = 0; i < count; ++i)
        {
            CVornCluster* cluster = NEW CVornCluster;
            cluster->m_System = &system;
            m_Clusters[i] = cluster;
            m_Colors[i] = CVector4(0, 1, 0, 1);
            m_Sizes[i] = 0;
            CContainer* line = objects->m_Children[i];
            if (line->m_Values.GetCount() < 2)
                continue;
            cluster->m_Model = FindModel(system, line->m_Values[0]->ToString().GetText());
            if (!cluster->m_Model)
                continue;
            TDynamicArray<CMesh*>& meshes = *cluster->m_Model;
            float farthest = 0;
            for (int m = 0; m < meshes.GetCount(); ++m)
            {
                meshes[m]->m_Blend = 1;
                for (int v = 0; v < meshes[m]->m_Positions.GetCount(); ++v)
                    farthest = std::max(farthest, meshes[m]->m_Positions[v].Length());
            }
            // A model of no extent is drawn as it is rather than with an infinite scale.
            m_Sizes[i] = farthest > 0 ? m_MaxSize / farthest : 1.0f;
            m_Colors[i] = system.GetColor(line->m_Values[1]->ToString(), 0, 1, 0, 1);
        }
    }
    SetOutput("", CVariant::FromPointer(this));
}

void CEffect_Object::CVornCluster::InitDevice(int deviceIndex)
{
    COGLDevice* device = GetCurrentDevice();
    if (!m_Model || !device || deviceIndex < 0)
        return;
    GrowTo(m_Contexts, deviceIndex + 1);
    if (!m_Contexts[deviceIndex])
        m_Contexts[deviceIndex] = NEW ClusterContext;
    ClusterContext& context = *m_Contexts[deviceIndex];
    const int meshes = m_Model->GetCount();
    context.m_VertexBuffers.DeleteAll();
    context.m_IndexBuffers.DeleteAll();
    context.m_VertexBuffers.SetCount(meshes);
    context.m_IndexBuffers.SetCount(meshes);
    for (int i = 0; i < meshes; ++i)
    {
        const CMesh& mesh = *(*m_Model)[i];
        context.m_VertexBuffers[i] = device->CreateBuffer(
            mesh.m_Positions.m_Data, mesh.m_Positions.GetCount() * 12, GL_ARRAY_BUFFER_ARB);
        context.m_IndexBuffers[i] = device->CreateBuffer(mesh.m_Indices.m_Data, mesh.m_Indices.GetCount() * 4,
                                                         GL_ELEMENT_ARRAY_BUFFER_ARB);
        glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    }
}

void CEffect_Object::InitDevice(int deviceIndex)
{
    for (int i = 0; i < m_Clusters.GetCount(); ++i)
        m_Clusters[i]->InitDevice(deviceIndex);
}

void CEffect_Object::PrepareDevice(int deviceIndex)
{
    for (int i = 0; i < m_Clusters.GetCount(); ++i)
        m_Clusters[i]->m_DeviceNumber = deviceIndex;
}

void CEffect_Object::Update(float localtime, float)
{
    const float t = localtime;
    if (m_SequenceStart == -1 || t - m_SequenceStart > m_SequenceTime)
    {
        m_CurrentIndex = PickNext(m_CurrentIndex, m_Clusters.GetCount());
        m_SequenceStart = t;
    }
    const float dt = t - m_SequenceStart;
    const float S = m_SequenceTime;
    m_Phase = std::min(dt / (4 * S / 7), 1.0f);
    m_SecondTurn = std::min(std::max((dt - 3 * S / 7) / (4 * S / 7), 0.0f), 1.0f);
    m_Transform = SMatrix::RotY(-2 * PI * m_Phase) * SMatrix::RotZ(-2 * PI * m_SecondTurn);
    if (m_CurrentIndex >= 0 && m_CurrentIndex < m_Sizes.GetCount() && m_Sizes[m_CurrentIndex] > 0)
    {
        const float s = m_Sizes[m_CurrentIndex];
        m_Transform = SMatrix::Scale(s, s, s) * m_Transform;
    }
    m_Fade = Fade(dt, S, m_FadeTime);
}

void CEffect_Object::CVornCluster::Draw(float fade, const CVector4& color)
{
    COGLDevice* device = GetCurrentDevice();
    if (!m_Model || !device || m_DeviceNumber < 0 || m_DeviceNumber >= m_Contexts.GetCount() ||
        !m_Contexts[m_DeviceNumber])
        return;
    ClusterContext& context = *m_Contexts[m_DeviceNumber];
    const bool multisample = device->m_Multisample;
    const int meshes = std::min(m_Model->GetCount(), context.m_VertexBuffers.GetCount());
    for (int i = 0; i < meshes; ++i)
    {
        const CMesh& mesh = *(*m_Model)[i];
        device->ResetClientState();
        if (mesh.m_Positions.GetCount() > 0)
            device->SetVertexBuffer(context.m_VertexBuffers[i], 3, GL_FLOAT, 12, 0);
        glColor4f(mesh.m_Color[0], mesh.m_Color[1], mesh.m_Color[2], mesh.m_Color[3] * fade);
        if (mesh.m_Blend != 0)
            device->SetBlend(true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        else
            device->SetBlend(false, 0xFFFFFFFF, 0xFFFFFFFF);
        glDepthMask(mesh.m_ZWrite != 0 ? GL_TRUE : GL_FALSE);

        device->BindTexture(0, nullptr);
        if (CTexture* texture = FindResource<CTexture>(*m_System, mesh.m_Texture))
            device->BindTexture(0, texture);
        // The shader effect publishes the program of the device being drawn.
        SShaderProgram* shader = FindResource<SShaderProgram>(*m_System, mesh.m_Shader);
        device->m_CurrentShader = shader;
        glUseProgramObjectARB(shader ? GLhandleARB(shader->m_Program) : 0);

        device->BindIndexBuffer(context.m_IndexBuffers[i]);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        const int count = mesh.m_Indices.GetCount();
        // Positions drawn through indices past their end would read outside the buffer.
        if (count > 0 && mesh.m_Positions.GetCount() > 0)
        {
            glColor4f(mesh.m_Color[0], mesh.m_Color[1], mesh.m_Color[2], mesh.m_Color[3] * fade);
            glEnable(GL_POLYGON_OFFSET_FILL);
            glPolygonOffset(1, 1);
            glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT, nullptr);
            glPolygonOffset(0, 0);
            glDisable(GL_POLYGON_OFFSET_FILL);

            if (multisample)
                glEnable(GL_MULTISAMPLE_ARB);
            glLineWidth(1.25f);
            glColor4f(color.x, color.y, color.z, color.w * fade);
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT, nullptr);
            glLineWidth(1.0f);
            if (multisample)
                glDisable(GL_MULTISAMPLE_ARB);
        }
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
}

void CEffect_Object::Render(float, float)
{
    COGLDevice* device = GetCurrentDevice();
    if (!device)
        return;
    device->ResetState();
    if (m_Clusters.GetCount() == 0)
        return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glMultMatrixf(m_Transform.m);
    glEnable(GL_DEPTH_TEST);
    if (m_CurrentIndex >= 0 && m_CurrentIndex < m_Clusters.GetCount())
        m_Clusters[m_CurrentIndex]->Draw(m_Fade, m_Colors[m_CurrentIndex]);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    device->m_CurrentShader = nullptr;
    glUseProgramObjectARB(0);
}

// ---------------------------------------------------------------------------------------------

CEffect_Screen::~CEffect_Screen()
{
    m_VertexBuffers.DeleteAll();
    m_IndexBuffers.DeleteAll();
}

void CEffect_Screen::Read(CContainer& node)
{
    CEffect::Read(node);
    m_Objects = nullptr;
    m_DeviceNumber = 0;
    node.GetFloat("anglehorizontal", &m_AngleHorizontal, 2.3561945f);
    node.GetFloat("anglevertical", &m_AngleVertical, 1.5707964f);
    node.GetFloat("radius", &m_Radius, 10.0f);
    node.GetInt("divisionhorizontal", &m_DivisionHorizontal, 2);
    node.GetInt("divisionvertical", &m_DivisionVertical, 2);
    node.GetString("transform", &m_TransformName, "");
    node.GetString("texture", &m_TextureName, "");
    CString objects;
    node.GetString("objects", &objects, "");
    // Only an object effect is followed; other published objects are not effects at all.
    if (objects.GetLength() > 0)
        if (CEffect* effect = EffectOfKey(System(), objects.GetText()))
        {
            CVariant value = System().GetOutputValue(objects.GetText());
            if (value.m_Type == CVariant::TYPE_POINTER && value.ToPointer() == effect)
                m_Objects = dynamic_cast<CEffect_Object*>(effect);
        }
    BuildGeometry();
}

void CEffect_Screen::BuildGeometry()
{
    m_Vertices.Clear();
    m_Indices.Clear();
    const int DH = m_DivisionHorizontal, DV = m_DivisionVertical;
    // Negative counts and ones whose grid would not fit an index make no patch at all.
    if (DH < 0 || DV < 0 || int64_t(DH + 1) * int64_t(DV + 1) > (1 << 24))
        return;
    m_Vertices.SetCount((DV + 1) * (DH + 1));
    m_Indices.SetCapacity(DV * DH * 6 > 0 ? DV * DH * 6 : 1);
    const float H = m_AngleHorizontal, V = m_AngleVertical, R = m_Radius;
    const float dTheta = H / float(DH + 1), dPhi = V / float(DV + 1);
    const float du = DH > 0 ? 1.0f / float(DH) : 0.0f, dv = DV > 0 ? 1.0f / float(DV) : 0.0f;
    for (int j = 0; j <= DV; ++j)
    {
        const float phi = PI / 2 - V / 2 + float(j) * dPhi;
        for (int i = 0; i <= DH; ++i)
        {
            const float theta = -H / 2 + float(i) * dTheta;
            SVertex& vertex = m_Vertices[j * (DH + 1) + i];
            vertex.x = R * Sin(phi) * Cos(theta);
            vertex.y = R * Cos(phi);
            vertex.z = 1.3f * R * Sin(phi) * Sin(theta);
            vertex.u = 1 - float(i) * du;
            vertex.v = float(j) * dv;
            if (i > 0 && j > 0)
            {
                const uint32_t a = uint32_t((j - 1) * (DH + 1) + i - 1), b = a + 1;
                const uint32_t c = uint32_t(j * (DH + 1) + i), d = c - 1;
                for (uint32_t index : {a, b, c, c, d, a})
                    m_Indices.Add(index);
            }
        }
    }
}

void CEffect_Screen::InitDevice(int deviceIndex)
{
    COGLDevice* device = GetCurrentDevice();
    if (!device || deviceIndex < 0)
        return;
    GrowTo(m_VertexBuffers, deviceIndex + 1);
    GrowTo(m_IndexBuffers, deviceIndex + 1);
    delete m_VertexBuffers[deviceIndex];
    delete m_IndexBuffers[deviceIndex];
    m_VertexBuffers[deviceIndex] = device->CreateBuffer(
        m_Vertices.m_Data, m_Vertices.GetCount() * int(sizeof(SVertex)), GL_ARRAY_BUFFER_ARB);
    m_IndexBuffers[deviceIndex] =
        device->CreateBuffer(m_Indices.m_Data, m_Indices.GetCount() * 4, GL_ELEMENT_ARRAY_BUFFER_ARB);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
}

void CEffect_Screen::PrepareDevice(int deviceIndex)
{
    m_DeviceNumber = deviceIndex;
}

void CEffect_Screen::Update(float localtime, float)
{
    const float p = m_Objects ? m_Objects->m_Phase : localtime;
    m_Rotation = SMatrix::RotY(-PI / 2 - 2 * PI * p);
}

float CEffect_Screen::AlphaAt(float phase)
{
    float x = phase <= 0.25f ? phase : 0.5f - phase;
    x = std::min(std::max(x, 0.0f), 0.25f);
    return 0.75f * (4 * x) * (4 * x);
}

void CEffect_Screen::Render(float, float)
{
    COGLDevice* device = GetCurrentDevice();
    if (!device)
        return;
    device->ResetState();
    if (m_DeviceNumber < 0 || m_DeviceNumber >= m_VertexBuffers.GetCount() ||
        !m_VertexBuffers[m_DeviceNumber])
        return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glMultMatrixf(m_Rotation.m);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    device->ResetClientState();
    device->SetVertexBuffer(m_VertexBuffers[m_DeviceNumber], 3, GL_FLOAT, 20, 0);
    device->SetTexCoordBuffer(0, m_VertexBuffers[m_DeviceNumber], 2, GL_FLOAT, 20, 12);
    device->SetBlend(true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    device->BindTexture(0, nullptr);
    if (CTexture* texture = FindResource<CTexture>(System(), m_TextureName))
        device->BindTexture(0, texture);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    device->BindIndexBuffer(m_IndexBuffers[m_DeviceNumber]);
    const float alpha = m_Objects ? AlphaAt(m_Objects->m_Phase) : 0.0f;
    glColor4f(m_Color[0], m_Color[1], m_Color[2], alpha);
    if (m_Indices.GetCount() > 0)
        glDrawElements(GL_TRIANGLES, m_Indices.GetCount(), GL_UNSIGNED_INT, nullptr);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    device->m_CurrentShader = nullptr;
    glUseProgramObjectARB(0);
}

KETH_REGISTER_CLASS(CEffect_Object, "object");
KETH_REGISTER_CLASS(CEffect_Screen, "screen");
