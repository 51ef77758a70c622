// "camera": an alias of its source that adds the lens values.
#include "effect_transform.h"

using namespace NKeth;

void CEffect_Camera::Read(CContainer& node)
{
    CEffect::Read(node);
    node.GetString("transform", &m_TransformSource, "");
    node.GetFloat("nearplane", &m_NearPlane, 1);
    node.GetFloat("farplane", &m_FarPlane, 100);
    node.GetFloat("fov", &m_Fov, 90);
}

// No base update: a camera publishes no clock of its own.
void CEffect_Camera::Update(float, float)
{
    SetOutput("nearplane", CVariant::FromFloat(m_NearPlane));
    SetOutput("farplane", CVariant::FromFloat(m_FarPlane));
    SetOutput("fov", CVariant::FromFloat(m_Fov));

    CDemoSystem& system = System();
    CString key("%s.transform", m_TransformSource.GetText());
    SetOutput("transform", CVariant(MatrixOf(system.GetOutputValue(key.GetText())).m));

    // Only cameras publish a position, so a chain of cameras passes it along.
    CString posKey("%s.pos", m_TransformSource.GetText());
    CVariant pos = system.GetOutputValue(posKey.GetText());
    if (pos.m_Type == CVariant::TYPE_VECTOR3)
        SetOutput("pos", pos);
    else
        SetOutput("pos", CVariant(0.0f, 0.0f, 0.0f));
}

KETH_REGISTER_CLASS(CEffect_Camera, "camera");
