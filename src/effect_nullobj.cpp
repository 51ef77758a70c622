// "nullobj": shows a transform as its three axes.
#include "effect_transform.h"
#include "ogldevice.h"

using namespace NKeth;

void CEffect_NullObj::Read(CContainer& node)
{
    CEffect::Read(node);
    node.GetString("transform", &m_TransformSource, "");
}

void CEffect_NullObj::Update(float, float) {}

// Drawn in whatever state is current, so the axes follow the scene's own transforms.
void CEffect_NullObj::Render(float, float)
{
    CVariant value;
    if (!System().FindOutput(m_TransformSource.GetText(), &value))
        return;
    if (COGLDevice* device = GetCurrentDevice())
        device->DrawAxes(MatrixOf(value));
}

KETH_REGISTER_CLASS(CEffect_NullObj, "nullobj");
