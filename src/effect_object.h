#pragma once
// "object" presents the models of its list one after another; "screen" is a curved patch that
// follows the object effect's turn.
#include "effect.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/string.h"
#include "keth/func/vector.h"
#include "model.h"

#include <cstdint>

class CBuffer;

class CEffect_Object : public CEffect
{
public:
    // The buffers of one model on one device, one pair per mesh.
    struct ClusterContext
    {
        NKeth::TDynamicArray<CBuffer*> m_VertexBuffers;
        NKeth::TDynamicArray<CBuffer*> m_IndexBuffers;
    };

    // One model slot: the mesh list a model effect publishes, borrowed.
    class CVornCluster
    {
    public:
        ~CVornCluster();
        void InitDevice(int deviceIndex);
        void Draw(float fade, const NKeth::CVector4& color);

        NKeth::TDynamicArray<CMesh*>* m_Model = nullptr;
        NKeth::TDynamicArray<ClusterContext*> m_Contexts;
        int m_DeviceNumber = 0;
        CDemoSystem* m_System = nullptr;
    };

    ~CEffect_Object() override;
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;
    void Update(float localtime, float amount) override;
    void Render(float localtime, float amount) override;

    // The next value of the process-wide generator that picks the models: 0..32767. The
    // state starts at 1 and is never reseeded, so every run shows the models in one order.
    static int NextRandom();
    static uint32_t s_RandomState;
    // The cluster of the next sequence: drawn until it differs from the current one.
    static int PickNext(int current, int count);
    // Fade-in and fade-out over fadeTime at both ends of a sequence of length sequenceTime.
    static float Fade(float dt, float sequenceTime, float fadeTime);

    NKeth::CString m_TransformName;
    NKeth::CString m_LightName;
    NKeth::CString m_LightIntensityName;
    float m_LightRange = 5;
    float m_MaxSize = 10;
    float m_SequenceTime = 2;
    float m_SequenceStart = -1;
    float m_Phase = 0;
    float m_FadeTime = 0.1f;
    float m_Fade = 0;
    NKeth::SMatrix m_Transform = NKeth::SMatrix::Identity();
    NKeth::TDynamicArray<CVornCluster*> m_Clusters;
    NKeth::TDynamicArray<NKeth::CVector4> m_Colors;
    NKeth::TDynamicArray<float> m_Sizes;
    int m_CurrentIndex = 0;
    // The progress of the turn about the depth axis, 0..1.
    float m_SecondTurn = 0;
};

class CEffect_Screen : public CEffect
{
public:
    // One vertex of the patch: position and texture coordinate, 20 bytes.
    struct SVertex
    {
        float x, y, z, u, v;
    };

    ~CEffect_Screen() override;
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;
    void Update(float localtime, float amount) override;
    void Render(float localtime, float amount) override;

    // (DV + 1) rows of (DH + 1) vertices on an ellipsoid stretched along z, two triangles a cell.
    void BuildGeometry();
    // The screen rises with the first quarter of the object's turn and is gone by half of it.
    static float AlphaAt(float phase);

    CEffect_Object* m_Objects = nullptr;
    NKeth::TDynamicArray<SVertex> m_Vertices;
    NKeth::TDynamicArray<uint32_t> m_Indices;
    NKeth::TDynamicArray<CBuffer*> m_VertexBuffers;
    NKeth::TDynamicArray<CBuffer*> m_IndexBuffers;
    NKeth::CString m_TransformName;
    NKeth::CString m_TextureName;
    float m_Color[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    float m_AngleHorizontal = 2.3561945f;
    float m_AngleVertical = 1.5707964f;
    float m_Radius = 10;
    int m_DivisionHorizontal = 2;
    int m_DivisionVertical = 2;
    NKeth::SMatrix m_Rotation = NKeth::SMatrix::Identity();
    int m_DeviceNumber = 0;
};
