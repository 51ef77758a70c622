// "rotate", and the transform helpers every effect shares.
#include "effect_transform.h"

using namespace NKeth;

SMatrix MatrixOf(const CVariant& value)
{
    SMatrix matrix = SMatrix::Identity();
    if (value.m_Type == CVariant::TYPE_MATRIX)
        for (int i = 0; i < 16; ++i)
            matrix[i] = value.m_Data[i];
    return matrix;
}

void CEffect_Rotate::Read(CContainer& node)
{
    CEffect::Read(node);
    node.GetFloat("timescale", &m_Timescale, 1);
    node.GetFloat("timeoffset", &m_Timeoffset, 0);
    node.GetFloat("scale", &m_Scale, 1);
    float position[3];
    node.GetVector3("position", position, 0, 0, 0);
    m_Position = CVector3(position[0], position[1], position[2]);
    // Consumers read while the tree is built may look the transform up before the first frame.
    CEffect_Rotate::Update(0, 0);
}

void CEffect_Rotate::Update(float localtime, float amount)
{
    CEffect::Update(localtime, amount);
    const float angle = (m_Timeoffset + localtime) * m_Timescale;
    SMatrix transform = SMatrix::RotY(angle) * SMatrix::Scale(m_Scale, m_Scale, m_Scale) *
                        SMatrix::Translation(m_Position.x, m_Position.y, m_Position.z);
    SetOutput("transform", CVariant(transform.m));
}

KETH_REGISTER_CLASS(CEffect_Rotate, "rotate");
