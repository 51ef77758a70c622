// "light": publishes where its transform places the light.
#include "effect_transform.h"

using namespace NKeth;

void CEffect_Light::Read(CContainer& node)
{
    CEffect::Read(node);
    node.GetString("transform", &m_TransformSource, "");
}

void CEffect_Light::Update(float, float)
{
    SMatrix transform = MatrixOf(System().GetOutputValue(m_TransformSource.GetText()));
    m_LightPos = transform.GetTranslation();
    SetOutput("lightpos", CVariant(m_LightPos.x, m_LightPos.y, m_LightPos.z));
}

KETH_REGISTER_CLASS(CEffect_Light, "light");
