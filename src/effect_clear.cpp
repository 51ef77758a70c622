// "clear" fills the frame with a palette colour; "palette" defines those colours.
#include "demosystem.h"
#include "effect.h"

#include <GL/glew.h>

using namespace NKeth;

class CEffect_Clear : public CEffect
{
public:
    // The colour is looked up once, so later palette changes leave this effect as it was.
    void Read(CContainer& node) override
    {
        CEffect::Read(node);
        CVector4 color = System().GetColor("color", &node, 0, 1, 0, 1);
        m_Color[0] = color.x;
        m_Color[1] = color.y;
        m_Color[2] = color.z;
        m_Color[3] = color.w;
    }

    void Render(float, float) override
    {
        glClearColor(m_Color[0], m_Color[1], m_Color[2], m_Color[3]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    float m_Color[4] = {0, 1, 0, 1};
};

class CEffect_Palette : public CEffect
{
public:
    // Every line of the block is a colour, the base parameters included; nothing is replaced,
    // so the first definition of a name wins at lookup.
    void Read(CContainer& node) override
    {
        CEffect::Read(node);
        for (int i = 0; i < node.m_Children.GetCount(); ++i)
        {
            CContainer* line = node.m_Children[i];
            if (line->m_Values.GetCount() < 1)
                continue;
            CString name = line->m_Values[0]->ToString();
            float rgba[4] = {0, 0, 0, 0};
            if (line->m_Values.GetCount() > 1 && line->m_Values[1]->m_Type == CVariant::TYPE_VECTOR4)
                for (int c = 0; c < 4; ++c)
                    rgba[c] = line->m_Values[1]->m_Data[c];
            System().AddColor(name.GetText(), rgba[0], rgba[1], rgba[2], rgba[3]);
        }
    }
};

KETH_REGISTER_CLASS(CEffect_Clear, "clear");
KETH_REGISTER_CLASS(CEffect_Palette, "palette");
