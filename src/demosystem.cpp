#include "demosystem.h"
#include "framecost.h"
#include "ogldevice.h"
#include "keth/base/log.h"
#include "keth/base/sys.h"
#include "keth/func/classregistry.h"

#include <climits>
#include <cstring>

using namespace NKeth;

// ---------------------------------------------------------------------------------------------
// The only places where the demo system talks to the rendering device.

namespace
{
// Test trees may hold null devices; they are skipped.
void MakeDeviceCurrent(COGLDevice* device)
{
    if (device)
        device->MakeCurrent();
}

// The end of every device pass leaves the reset state, with depth testing and face culling
// switched off by the 2D projection.
void FinishDevicePass()
{
    COGLDevice* device = GetCurrentDevice();
    if (!device)
        return;
    device->ResetState();
    device->Begin2D(640, 480);
    device->End2D();
}

void DrawDeviceText(CTexture* font, float x, float y, const char* text)
{
    if (COGLDevice* device = GetCurrentDevice())
        device->DrawText(font, x, y, "%s", text);
}
} // namespace

// ---------------------------------------------------------------------------------------------

CDemoSystem::CDemoSystem()
    : m_Root(nullptr), m_TimerStarted(false), m_StartTicks(0), m_Time(0), m_CurrentDevice(0), m_Depth(0)
{
}

CDemoSystem::~CDemoSystem() = default;

void CDemoSystem::Init(CContainer& root)
{
    const int devices = m_Devices.GetCount();
    m_DeviceFonts.SetCount(devices);
    for (int i = 0; i < devices; ++i)
        m_DeviceFonts[i] = nullptr;

    m_Root = CreateEffect("group", &root);
    // Room grew by doubling while the tree was built; keep exactly what is used.
    if (m_Effects.GetCount() > 0)
        m_Effects.SetCapacity(m_Effects.GetCount());

    for (int i = 0; i < devices; ++i)
    {
        MakeDeviceCurrent(m_Devices[i]);
        if (m_Root)
            m_Root->InitDevice(i);
    }
    m_TimerStarted = false;
}

CEffect* CDemoSystem::CreateEffect(const char* keyword, CContainer* node)
{
    if (m_Depth >= MAX_EFFECT_DEPTH)
    {
        Log("[DEMOSYS] effects nested deeper than %d levels, %s skipped\n", MAX_EFFECT_DEPTH, keyword);
        return nullptr;
    }
    const int64_t start = GetTicks();
    NClassRegistry::CClass* object = NClassRegistry::Create(keyword);
    if (!object)
        return nullptr;
    // Other kinds of registered classes (image formats) are not blocks of the show.
    CEffect* effect = dynamic_cast<CEffect*>(object);
    if (!effect)
    {
        delete object;
        return nullptr;
    }
    effect->m_Owner = this;
    CContainer empty;
    ++m_Depth;
    try
    {
        effect->Read(node ? *node : empty);
    }
    catch (...)
    {
        --m_Depth;
        delete effect;
        throw;
    }
    --m_Depth;
    Log("[DEMOSYS] %f ms for %s\n", double(GetTicks() - start) / double(GetTickFrequency()) * 1000.0,
        keyword);

    // Many effects may be made in a row: grow the room by doubling, not by one.
    if (m_Effects.GetCount() == m_Effects.GetCapacity() && m_Effects.GetCapacity() < INT_MAX / 16)
        m_Effects.SetCapacity(m_Effects.GetCapacity() * 2);
    m_Effects.Add(effect);
    return effect;
}

void CDemoSystem::Update()
{
    const int64_t now = GetTicks();
    if (!m_TimerStarted)
    {
        m_StartTicks = now;
        m_TimerStarted = true;
    }
    UpdateAt(float(double(now - m_StartTicks) / double(GetTickFrequency())));
}

void CDemoSystem::UpdateAt(float time)
{
    m_Time = time;
    if (!m_Root)
        return;
    // The root runs whatever its own start and end times say.
    m_Root->m_LocalTime = time;
    m_Root->m_Amount = 0;
    if (m_FrameCost)
        m_FrameCost->BeginFrame();
    CFrameCost::CScope cost(m_FrameCost, m_Root, CFrameCost::UPDATE, -1);
    m_Root->Update(m_Root->m_LocalTime, m_Root->m_Amount);
}

void CDemoSystem::Render()
{
    if (m_Root)
    {
        CFrameCost::CScope cost(m_FrameCost, m_Root, CFrameCost::RENDER, m_CurrentDevice);
        m_Root->Render(m_Root->m_LocalTime, m_Root->m_Amount);
    }
    FinishDevicePass();
}

int CDemoSystem::FindEffect(const char* name)
{
    if (!name)
        return -1;
    for (int i = 0; i < m_Effects.GetCount(); ++i)
        if (m_Effects[i]->m_Name == name)
            return i;
    return -1;
}

bool CDemoSystem::FindOutput(const char* key, CVariant* out)
{
    if (!key)
        return false;
    CString effectName;
    const char* output = "";
    if (const char* dot = strchr(key, '.'))
    {
        effectName.Set(key, int(dot - key));
        output = dot + 1;
    }
    else
    {
        effectName = key;
    }
    int index = FindEffect(effectName.GetText());
    if (index < 0)
        return false;
    return m_Effects[index]->GetOutput(output, out);
}

CVariant CDemoSystem::GetOutputValue(const char* key)
{
    CVariant value;
    FindOutput(key, &value);
    return value;
}

void CDemoSystem::AddColor(const char* name, float r, float g, float b, float a)
{
    SColor color;
    color.m_Name = name;
    color.m_R = r;
    color.m_G = g;
    color.m_B = b;
    color.m_A = a;
    m_Palette.Add(color);
}

CVector4 CDemoSystem::GetColor(const char* key, CContainer* node, float r, float g, float b, float a)
{
    CString name;
    if (node)
        node->GetString(key, &name, "");
    else
        name = key;
    return GetColor(name, r, g, b, a);
}

CVector4 CDemoSystem::GetColor(const CString& name, float r, float g, float b, float a)
{
    for (int i = 0; i < m_Palette.GetCount(); ++i)
        if (m_Palette[i].m_Name == name.GetText())
        {
            const SColor& color = m_Palette[i];
            return CVector4(color.m_R, color.m_G, color.m_B, color.m_A);
        }
    return CVector4(r, g, b, a);
}

void CDemoSystem::DrawDebugText(float x, float y, const char* text)
{
    CTexture* font = nullptr;
    if (m_CurrentDevice >= 0 && m_CurrentDevice < m_DeviceFonts.GetCount())
        font = m_DeviceFonts[m_CurrentDevice];
    DrawDeviceText(font, x, y, text);
}
