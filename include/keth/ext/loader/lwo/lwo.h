#pragma once
#include "keth/func/dynamicarray.h"
#include "keth/func/vector.h"

#include <cstdint>

namespace NKeth
{
// LightWave objects (LWO2): the subset that turns into per-polygon build data. Every read is
// bounded by its chunk and by the buffer; malformed parts are skipped.
namespace NLWO
{
class CLWO_Object;
class CLWO_Block;

struct SLWO_PointInfo
{
    int32_t m_Polygon;
    int32_t m_Corner;
};

class CLWO_Chunk
{
public:
    uint32_t m_Size;
    uint32_t m_Id;
    uint32_t m_Type;
    const unsigned char* m_Data;
    CLWO_Block* m_Block;
};

class CLWO_FaceBuildData
{
public:
    static constexpr int MAX_CORNERS = 6;

    CLWO_FaceBuildData();
    // Polygons of three to six corners whose points all exist; the others take part in nothing
    // but keep their place in the polygon numbering.
    bool IsUsable() const { return m_Usable; }

    uint32_t m_Points[MAX_CORNERS];
    TDynamicArray<TVector3<float>> m_Positions;
    TDynamicArray<TVector2<float>> m_TexCoords;
    TDynamicArray<TVector3<float>> m_Normals;
    bool m_IsTriangle;
    int32_t m_Surface;
    int32_t m_CornerCount;
    bool m_Usable;
};

class CLWO_SurfaceData
{
public:
    static constexpr int NAME_SIZE = 512;
    // Matches no polygon tag.
    static constexpr int32_t NO_TAG = -1;

    char m_Name[NAME_SIZE];
    char m_Source[NAME_SIZE];
    char m_UVMap[NAME_SIZE];
    int32_t m_TagIndex;
};

class CLWO_Block
{
public:
    CLWO_Block();
    ~CLWO_Block();
    CLWO_Block(const CLWO_Block&) = delete;
    CLWO_Block& operator=(const CLWO_Block&) = delete;

    void Build();

    TDynamicArray<CLWO_FaceBuildData*> m_Faces;
    TDynamicArray<CLWO_Chunk*> m_Chunks;
    CLWO_Object* m_Object;
    int32_t m_FaceCount;
    int32_t m_PointCount;
    TDynamicArray<SLWO_PointInfo>* m_PointInfos;

private:
    bool m_Built;

    void ReadPolygons(const CLWO_Chunk& chunk, int32_t pointLimit);
    void ReadPoints(const CLWO_Chunk& chunk);
    void ReadTags(const CLWO_Chunk& chunk);
    void ReadTexCoords(const CLWO_Chunk& chunk, bool perPolygon);
    void ComputeNormals();
};

class CLWO_Object
{
public:
    CLWO_Object();
    ~CLWO_Object();
    CLWO_Object(const CLWO_Object&) = delete;
    CLWO_Object& operator=(const CLWO_Object&) = delete;

    // The buffer must stay valid until Build has run. A buffer that is not one whole
    // FORM/LWO2 leaves the object empty.
    void Parse(const void* data, int32_t size);
    void Build();
    void Clear();

    bool HasSurfaceTag(int32_t tag) const;

    TDynamicArray<CLWO_SurfaceData*> m_Surfaces;
    TDynamicArray<CLWO_Block*> m_Blocks;
    TDynamicArray<char*> m_Tags;

private:
    void ReadSurface(const unsigned char* data, uint32_t size);
    void ReadTagList(const unsigned char* data, uint32_t size);
};
} // namespace NLWO
} // namespace NKeth
