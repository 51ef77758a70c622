#include "demosystem.h"
#include "effect.h"
#include "framecost.h"
#include "keth/func/classregistry.h"

using namespace NKeth;

KETH_REGISTER_CLASS(CEffect_Group, "group");

namespace
{
// Groups made outside a show (as some tests make them) are not measured.
CFrameCost* CostOf(const CEffect& group)
{
    return group.m_Owner ? group.m_Owner->m_FrameCost : nullptr;
}
} // namespace

CEffect_Group::~CEffect_Group() = default;

void CEffect_Group::DebugPrint(float* y, float x)
{
    CEffect::DebugPrint(y, x);
    for (int i = 0; i < m_Active.GetCount(); ++i)
        m_Active[i]->DebugPrint(y, x + 32);
}

void CEffect_Group::Read(CContainer& node)
{
    CEffect::Read(node);

    // Only lines that opened a block with at least one line in it are effects.
    int blocks = 0;
    for (int i = 0; i < node.m_Children.GetCount(); ++i)
        if (node.m_Children[i]->m_Children.GetCount() > 0)
            ++blocks;
    if (blocks > m_Children.GetCapacity())
        m_Children.SetCapacity(blocks);

    for (int i = 0; i < node.m_Children.GetCount(); ++i)
    {
        CContainer* line = node.m_Children[i];
        if (line->m_Children.GetCount() == 0 || line->m_Values.GetCount() == 0)
            continue;
        CString keyword = line->m_Values[0]->ToString();
        if (CEffect* effect = System().CreateEffect(keyword.GetText(), line))
            m_Children.Add(effect);
    }
}

void CEffect_Group::InitDevice(int deviceIndex)
{
    for (int i = 0; i < m_Children.GetCount(); ++i)
        m_Children[i]->InitDevice(deviceIndex);
}

void CEffect_Group::PrepareDevice(int deviceIndex)
{
    for (int i = 0; i < m_Children.GetCount(); ++i)
        m_Children[i]->PrepareDevice(deviceIndex);
}

void CEffect_Group::Update(float localtime, float amount)
{
    CEffect::Update(localtime, amount);

    // Rebuilt every frame; the room of earlier frames is kept.
    m_Active.SetCount(0);
    for (int i = 0; i < m_Children.GetCount(); ++i)
    {
        CEffect* child = m_Children[i];
        if (!child->IsActiveAt(localtime))
            continue;
        child->m_LocalTime = localtime - child->m_StartTime;
        child->m_Amount = child->m_LocalTime / child->m_Duration;

        // Before the first entry of a greater priority: ascending priority, ties in order.
        const int count = m_Active.GetCount();
        int at = count;
        for (int j = 0; j < count; ++j)
            if (m_Active[j]->m_Prio > child->m_Prio)
            {
                at = j;
                break;
            }
        m_Active.Add(child);
        for (int j = count; j > at; --j)
            m_Active[j] = m_Active[j - 1];
        m_Active[at] = child;
    }

    for (int i = 0; i < m_Active.GetCount(); ++i)
    {
        CEffect* child = m_Active[i];
        CFrameCost::CScope cost(CostOf(*this), child, CFrameCost::UPDATE, -1);
        child->Update(child->m_LocalTime, child->m_Amount);
    }
}

void CEffect_Group::Render(float, float)
{
    for (int i = 0; i < m_Active.GetCount(); ++i)
    {
        CEffect* child = m_Active[i];
        CFrameCost::CScope cost(CostOf(*this), child, CFrameCost::RENDER,
                                m_Owner ? m_Owner->m_CurrentDevice : -1);
        child->Render(child->m_LocalTime, child->m_Amount);
    }
}
