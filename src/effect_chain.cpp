#include "effect.h"
#include "keth/base/log.h"
#include "keth/func/classregistry.h"

using namespace NKeth;

KETH_REGISTER_CLASS(CEffect_Chain, "chain");
KETH_REGISTER_CLASS(CEffect_TimedChain, "timedchain");

void CEffect_Chain::Read(CContainer& node)
{
    CEffect_Group::Read(node);
    // Each child ends where the next one starts; the last keeps its own times.
    for (int i = 0; i + 1 < m_Children.GetCount(); ++i)
    {
        CEffect* child = m_Children[i];
        child->m_EndTime = m_Children[i + 1]->m_StartTime;
        child->m_Duration = child->m_EndTime - child->m_StartTime;
    }
}

void CEffect_TimedChain::Read(CContainer& node)
{
    CEffect_Group::Read(node);
    CEffect* previous = nullptr;
    for (int i = 0; i < node.m_Children.GetCount(); ++i)
    {
        CContainer* line = node.m_Children[i];
        if (line->m_Children.GetCount() > 0 || line->m_Values.GetCount() == 0)
            continue;
        const CVariant& key = *line->m_Values[0];
        if (key.m_Type == CVariant::TYPE_STRING ? key.m_Text != "part" : key.ToString() != "part")
            continue;
        CString name;
        float time = 0, x = 0, y = 0; // x and y are part of the line and not used
        if (line->m_Values.GetCount() < 5)
        {
            Log("SCRIPT: part line needs a name, a time and two numbers; ignored\n");
            continue;
        }
        CContainer::ReadVars(line, "sfff", &name, &time, &x, &y);
        CEffect* child = nullptr;
        for (int j = 0; j < m_Children.GetCount() && !child; ++j)
            if (m_Children[j]->m_Name == name.GetText())
                child = m_Children[j];
        if (!child)
            continue;
        child->m_StartTime = time;
        child->m_Duration = 1.0f;
        child->m_EndTime = time + 1.0f;
        if (previous)
        {
            previous->m_EndTime = time;
            previous->m_Duration = time - previous->m_StartTime;
        }
        previous = child;
    }
}
