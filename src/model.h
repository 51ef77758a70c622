#pragma once
#include "container.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/string.h"
#include "keth/func/vector.h"

#include <cstdint>

class CDemoSystem;

namespace NKeth
{
namespace NLWO
{
class CLWO_Object;
}
} // namespace NKeth

// How a mesh is drawn; matched by name against the script's material containers.
struct SMaterial
{
    SMaterial();

    NKeth::CString m_MaterialName;
    NKeth::CString m_Texture;
    NKeth::CString m_Shader;
    float m_Color[4];
    int32_t m_Blend;
    int32_t m_ZWrite;
};

// One material's indexed triangles.
class CMesh : public SMaterial
{
public:
    NKeth::TDynamicArray<NKeth::TVector3<float>> m_Positions;
    NKeth::TDynamicArray<NKeth::TVector2<float>> m_TexCoords0;
    NKeth::TDynamicArray<NKeth::TVector2<float>> m_TexCoords1;
    NKeth::TDynamicArray<NKeth::TVector2<float>> m_TexCoords2;
    NKeth::TDynamicArray<NKeth::TVector3<float>> m_Normals;
    NKeth::TDynamicArray<uint32_t> m_Indices;
};

// Welding tolerance per component, taken as a 32-bit float.
const float WELD_TOLERANCE = 1e-6f;

// Appends the cached meshes to the list. False, with the list unchanged, when the file does
// not open or its counts do not fit its size (logged): the model is then built again.
bool ReadModelCache(NKeth::TDynamicArray<CMesh*>& meshes, const char* fileName);
bool WriteModelCache(const NKeth::TDynamicArray<CMesh*>& meshes, const char* fileName);
// One mesh per surface of the object, built from the triangles of its first point list; false
// when the file does not open. Larger polygons are skipped with one log line.
bool BuildModelFromLightWave(NKeth::TDynamicArray<CMesh*>& meshes, const char* fileName);
bool HasTriangles(const NKeth::TDynamicArray<CMesh*>& meshes);
// The meshes of an object that is parsed and built. With linearSearch the vertices are welded
// by the plain scan without reserving room (the reference the fast way must equal).
void BuildModelFromObject(NKeth::TDynamicArray<CMesh*>& meshes, NKeth::NLWO::CLWO_Object& object,
                          bool linearSearch = false);

// The first existing vertex that matches within the tolerance in position, first texture
// coordinate and normal, else a new one; returns its index. Searches every vertex.
uint32_t AddVertex(CMesh& mesh, const NKeth::TVector3<float>& position, const NKeth::TVector3<float>& normal,
                   const NKeth::TVector2<float>& texCoord, bool noWelding);
void AddTriangle(CMesh& mesh, uint32_t a, uint32_t b, uint32_t c);
// Assigns all five material fields, defaults included; the colour is a palette name of system.
void ReadMaterial(SMaterial& material, CContainer& parameters, CDemoSystem& system);
// Applies each material container of the node's "materials" line to the meshes of its name.
void ApplyMaterials(NKeth::TDynamicArray<CMesh*>& meshes, CContainer& node, CDemoSystem& system);

// Welds vertices into one mesh with the same result as AddVertex, finding candidates through
// a hash of quantised positions instead of scanning every vertex.
class CVertexWelder
{
public:
    explicit CVertexWelder(CMesh& mesh);
    ~CVertexWelder();
    CVertexWelder(const CVertexWelder&) = delete;
    CVertexWelder& operator=(const CVertexWelder&) = delete;

    uint32_t Add(const NKeth::TVector3<float>& position, const NKeth::TVector3<float>& normal,
                 const NKeth::TVector2<float>& texCoord);

private:
    struct SImpl;
    CMesh& m_Mesh;
    SImpl* m_Impl;
};
