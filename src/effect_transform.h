#pragma once
// Effects that publish or show transforms, and the helpers the effects share to read them.
#include "demosystem.h"
#include "effect.h"
#include "keth/func/string.h"
#include "keth/func/vector.h"

// A looked-up output as a matrix: the identity when it is missing or holds another kind.
NKeth::SMatrix MatrixOf(const CVariant& value);

// "rotate": a turn about the world Y axis of an object moved by "position" and scaled.
class CEffect_Rotate : public CEffect
{
public:
    void Read(CContainer& node) override;
    void Update(float localtime, float amount) override;

    float m_Timescale = 1;
    float m_Timeoffset = 0;
    float m_Scale = 1;
    NKeth::CVector3 m_Position;
};

// "camera": its source's transform under the camera's own name, with the lens values.
class CEffect_Camera : public CEffect
{
public:
    void Read(CContainer& node) override;
    void Update(float localtime, float amount) override;

    NKeth::CString m_TransformSource;
    float m_NearPlane = 1;
    float m_FarPlane = 100;
    float m_Fov = 90;
};

// "light": the position of a transform, as "lightpos".
class CEffect_Light : public CEffect
{
public:
    void Read(CContainer& node) override;
    void Update(float localtime, float amount) override;

    NKeth::CString m_TransformSource;
    NKeth::CVector3 m_LightPos;
};

// "nullobj": draws the axes of a transform.
class CEffect_NullObj : public CEffect
{
public:
    void Read(CContainer& node) override;
    void Update(float localtime, float amount) override;
    void Render(float localtime, float amount) override;

    NKeth::CString m_TransformSource;
};
