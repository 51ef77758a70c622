#include "effect.h"
#include "demosystem.h"
#include "keth/base/log.h"

using namespace NKeth;

CEffect::CEffect()
    : m_LocalTime(0), m_Amount(0), m_Owner(nullptr), m_Prio(100), m_StartTime(0), m_EndTime(100000),
      m_Duration(100000)
{
}

CEffect::~CEffect() = default;

const char* CEffect::GetKeyword() const
{
    return m_Handle ? m_Handle->m_Keyword : "";
}

CString CEffect::FormatDebugLine() const
{
    return CString("%3.2f %3.2f %-8s   %s\n", double(m_LocalTime), double(m_Amount), GetKeyword(),
                   m_Name.GetText());
}

void CEffect::DebugPrint(float* y, float x)
{
    CString line = FormatDebugLine();
    if (m_Owner)
        m_Owner->DrawDebugText(x, *y, line.GetText());
    *y += 8;
}

void CEffect::SetOutput(const char* name, CVariant value)
{
    for (int i = 0; i < m_Outputs.GetCount(); ++i)
        if (m_Outputs[i].m_Name == name)
        {
            m_Outputs[i].m_Value = value;
            return;
        }
    COutput output;
    output.m_Name = name;
    output.m_Value = value;
    m_Outputs.Add(output);
}

bool CEffect::GetOutput(const char* name, CVariant* out)
{
    for (int i = 0; i < m_Outputs.GetCount(); ++i)
        if (m_Outputs[i].m_Name == name)
        {
            *out = m_Outputs[i].m_Value;
            return true;
        }
    return false;
}

void CEffect::Read(CContainer& node)
{
    node.GetInt("prio", &m_Prio, 100);
    node.GetFloat("starttime", &m_StartTime, -1);
    node.GetFloat("duration", &m_Duration, -1);
    node.GetFloat("endtime", &m_EndTime, -1);
    node.GetString("name", &m_Name, "");

    // A negative time counts as not given.
    const bool hasStart = m_StartTime >= 0;
    const bool hasEnd = m_EndTime >= 0;
    const bool hasDuration = m_Duration >= 0;
    if (hasStart && hasEnd)
    {
        if (hasDuration)
            Log("SCRIPT: Start, end and duration specified. Using start and end times\n");
        if (m_StartTime > m_EndTime)
            Log("SCRIPT: End time is smaller then start time\n");
        m_Duration = m_EndTime - m_StartTime;
    }
    else if (hasStart)
    {
        if (hasDuration)
        {
            m_EndTime = m_StartTime + m_Duration;
            m_Duration = m_EndTime - m_StartTime;
        }
        else
        {
            m_Duration = 100000;
            m_EndTime = m_StartTime + 100000;
        }
    }
    else if (hasEnd)
    {
        if (hasDuration)
        {
            m_StartTime = m_EndTime - m_Duration;
        }
        else
        {
            m_StartTime = 0;
            m_Duration = m_EndTime;
        }
    }
    else
    {
        m_StartTime = 0;
        m_Duration = 100000;
        m_EndTime = 100000;
    }

    if (node.Find("passive"))
        MakePassive();
}

void CEffect::MakePassive()
{
    m_StartTime = -1;
    m_EndTime = -1;
    m_Duration = 0;
}

void CEffect::InitDevice(int) {}
void CEffect::PrepareDevice(int) {}
void CEffect::Reserved7() {}
void CEffect::Reserved8() {}
void CEffect::Reserved9() {}

void CEffect::Update(float localtime, float amount)
{
    SetOutput("localtime", CVariant::FromFloat(localtime));
    SetOutput("amount", CVariant::FromFloat(amount));
}

void CEffect::Render(float, float) {}
