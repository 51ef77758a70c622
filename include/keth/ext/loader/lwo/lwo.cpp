#include "keth/ext/loader/lwo/lwo.h"
#include "keth/func/byteorder.h"
#include "keth/base/memorymanager.h"

#include <cstring>
#include <vector>

namespace NKeth
{
namespace NLWO
{
namespace
{
constexpr uint32_t Id(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

const uint32_t ID_FORM = Id("FORM"), ID_LWO2 = Id("LWO2"), ID_PNTS = Id("PNTS"), ID_POLS = Id("POLS"),
               ID_VMAP = Id("VMAP"), ID_VMAD = Id("VMAD"), ID_PTAG = Id("PTAG"), ID_TAGS = Id("TAGS"),
               ID_SURF = Id("SURF"), ID_BLOK = Id("BLOK"), ID_FACE = Id("FACE"), ID_TXUV = Id("TXUV"),
               ID_MORF = Id("MORF");

float F32(const unsigned char* p)
{
    const uint32_t bits = ReadBE32(p);
    float value;
    memcpy(&value, &bits, 4);
    return value;
}

// The variable-length index: FF and three bytes, or two bytes. False when it does not fit.
bool ReadVX(const unsigned char*& p, const unsigned char* end, uint32_t& out)
{
    if (end - p < 2)
        return false;
    if (p[0] == 0xFF)
    {
        if (end - p < 4)
            return false;
        out = uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
        p += 4;
        return true;
    }
    out = ReadBE16(p);
    p += 2;
    return true;
}

// A zero-terminated string inside [p, end): its length, or -1 when it has no terminator.
int64_t TerminatedLength(const unsigned char* p, const unsigned char* end)
{
    if (p >= end)
        return -1;
    const void* zero = memchr(p, 0, size_t(end - p));
    return zero ? static_cast<const unsigned char*>(zero) - p : -1;
}

// Strings take their length plus one, rounded up to even.
int64_t PaddedSize(int64_t length)
{
    return (length + 2) & ~int64_t(1);
}

void CopyName(char* to, const unsigned char* from, int64_t length)
{
    if (length > CLWO_SurfaceData::NAME_SIZE - 1)
        length = CLWO_SurfaceData::NAME_SIZE - 1;
    memcpy(to, from, size_t(length));
    to[length] = 0;
}

bool IsRecorded(uint32_t id, uint32_t size, uint32_t type)
{
    if (id == ID_PNTS)
        return true;
    if (size < 4)
        return false;
    return id == ID_POLS || (id == ID_VMAP && (type == ID_TXUV || type == ID_MORF)) ||
           (id == ID_VMAD && type == ID_TXUV) || (id == ID_PTAG && type == ID_SURF);
}
} // namespace

CLWO_FaceBuildData::CLWO_FaceBuildData()
    : m_Points{}, m_IsTriangle(false), m_Surface(0), m_CornerCount(0), m_Usable(false)
{
}

CLWO_Block::CLWO_Block()
    : m_Object(nullptr), m_FaceCount(0), m_PointCount(0), m_PointInfos(nullptr), m_Built(false)
{
}

CLWO_Block::~CLWO_Block()
{
    m_Faces.DeleteAll();
    m_Chunks.DeleteAll();
    delete[] m_PointInfos;
}

void CLWO_Block::Build()
{
    if (m_Built)
        return;
    m_Built = true;
    int32_t pointLimit = 0;
    for (int i = 0; i < m_Chunks.GetCount(); ++i)
        if (m_Chunks[i]->m_Id == ID_PNTS)
        {
            pointLimit = int32_t(m_Chunks[i]->m_Size / 12);
            break;
        }
    for (int i = 0; i < m_Chunks.GetCount(); ++i)
        if (m_Chunks[i]->m_Id == ID_POLS && m_Chunks[i]->m_Type == ID_FACE)
            ReadPolygons(*m_Chunks[i], pointLimit);
    for (int i = 0; i < m_Chunks.GetCount(); ++i)
        if (m_Chunks[i]->m_Id == ID_PNTS)
            ReadPoints(*m_Chunks[i]);
    for (int i = 0; i < m_Chunks.GetCount(); ++i)
        if (m_Chunks[i]->m_Id == ID_PTAG)
            ReadTags(*m_Chunks[i]);
    for (int i = 0; i < m_Chunks.GetCount(); ++i)
        if (m_Chunks[i]->m_Id == ID_VMAP && m_Chunks[i]->m_Type == ID_TXUV)
            ReadTexCoords(*m_Chunks[i], false);
    for (int i = 0; i < m_Chunks.GetCount(); ++i)
        if (m_Chunks[i]->m_Id == ID_VMAD)
            ReadTexCoords(*m_Chunks[i], true);
    ComputeNormals();
}

void CLWO_Block::ReadPolygons(const CLWO_Chunk& chunk, int32_t pointLimit)
{
    m_FaceCount = 0;
    const unsigned char* end = chunk.m_Data + chunk.m_Size;

    // Count first: the face list then grows once instead of once per polygon.
    int64_t count = 0;
    for (const unsigned char* p = chunk.m_Data + 4; end - p >= 2; ++count)
    {
        const uint32_t n = ReadBE16(p) & 0x3FF;
        p += 2;
        uint32_t index;
        uint32_t k = 0;
        while (k < n && ReadVX(p, end, index))
            ++k;
        if (k < n)
            break;
    }
    if (count > 0 && int64_t(m_Faces.GetCount()) + count < INT32_MAX)
        m_Faces.SetCapacity(m_Faces.GetCount() + int(count));

    const unsigned char* p = chunk.m_Data + 4;
    while (end - p >= 2)
    {
        const uint32_t n = ReadBE16(p) & 0x3FF;
        p += 2;
        uint32_t points[CLWO_FaceBuildData::MAX_CORNERS] = {};
        bool inRange = true;
        uint32_t k = 0;
        for (uint32_t index; k < n && ReadVX(p, end, index); ++k)
        {
            if (k < uint32_t(CLWO_FaceBuildData::MAX_CORNERS))
                points[k] = index;
            if (index >= uint32_t(pointLimit))
                inRange = false;
        }
        if (k < n)
            break;

        CLWO_FaceBuildData* face = NEW CLWO_FaceBuildData;
        face->m_CornerCount = int32_t(n);
        face->m_Usable = n >= 3 && n <= uint32_t(CLWO_FaceBuildData::MAX_CORNERS) && inRange;
        face->m_IsTriangle = face->m_Usable && n == 3;
        if (face->m_Usable)
        {
            memcpy(face->m_Points, points, sizeof points);
            face->m_Positions.SetCount(int(n));
            face->m_TexCoords.SetCount(int(n));
            face->m_Normals.SetCount(int(n));
        }
        m_Faces.Add(face);
        ++m_FaceCount;
    }
}

void CLWO_Block::ReadPoints(const CLWO_Chunk& chunk)
{
    delete[] m_PointInfos;
    m_PointInfos = nullptr;
    m_PointCount = int32_t(chunk.m_Size / 12);
    if (m_PointCount < 1)
        return;
    m_PointInfos = NEW TDynamicArray<SLWO_PointInfo>[m_PointCount];

    std::vector<int32_t> uses(size_t(m_PointCount), 0);
    for (int f = 0; f < m_Faces.GetCount(); ++f)
    {
        const CLWO_FaceBuildData* face = m_Faces[f];
        if (face->m_Usable)
            for (int c = 0; c < face->m_CornerCount; ++c)
                ++uses[face->m_Points[c]];
    }
    for (int32_t i = 0; i < m_PointCount; ++i)
        if (uses[size_t(i)] > 1)
            m_PointInfos[i].SetCapacity(uses[size_t(i)]);
    for (int f = 0; f < m_Faces.GetCount(); ++f)
    {
        const CLWO_FaceBuildData* face = m_Faces[f];
        if (face->m_Usable)
            for (int c = 0; c < face->m_CornerCount; ++c)
                m_PointInfos[face->m_Points[c]].Add(SLWO_PointInfo{f, c});
    }

    for (int32_t i = 0; i < m_PointCount; ++i)
    {
        const unsigned char* p = chunk.m_Data + size_t(i) * 12;
        const TVector3<float> position(F32(p), F32(p + 4), -F32(p + 8));
        const TDynamicArray<SLWO_PointInfo>& infos = m_PointInfos[i];
        for (int k = 0; k < infos.GetCount(); ++k)
            m_Faces[infos[k].m_Polygon]->m_Positions[infos[k].m_Corner] = position;
    }
}

void CLWO_Block::ReadTags(const CLWO_Chunk& chunk)
{
    const unsigned char* end = chunk.m_Data + chunk.m_Size;
    const unsigned char* p = chunk.m_Data + 4;
    uint32_t polygon;
    while (end - p >= 2 && ReadVX(p, end, polygon))
    {
        if (end - p < 2)
            break;
        const int32_t tag = int32_t(ReadBE16(p));
        p += 2;
        if (polygon < uint32_t(m_Faces.GetCount()) && m_Object && m_Object->HasSurfaceTag(tag))
            m_Faces[int(polygon)]->m_Surface = tag;
    }
}

void CLWO_Block::ReadTexCoords(const CLWO_Chunk& chunk, bool perPolygon)
{
    const unsigned char* end = chunk.m_Data + chunk.m_Size;
    const unsigned char* p = chunk.m_Data + 4;
    if (end - p < 2)
        return;
    p += 2;
    const int64_t nameLength = TerminatedLength(p, end);
    if (nameLength < 0 || PaddedSize(nameLength) > end - p)
        return;
    p += PaddedSize(nameLength);

    while (end - p >= (perPolygon ? 1 : 2))
    {
        uint32_t point, polygon = 0;
        if (!ReadVX(p, end, point) || (perPolygon && !ReadVX(p, end, polygon)) || end - p < 8)
            break;
        const TVector2<float> uv(F32(p), 1.0f - F32(p + 4));
        p += 8;
        if (perPolygon)
        {
            if (polygon >= uint32_t(m_Faces.GetCount()))
                continue;
            CLWO_FaceBuildData* face = m_Faces[int(polygon)];
            if (!face->m_Usable)
                continue;
            for (int c = 0; c < 3; ++c)
                if (face->m_Points[c] == point)
                    face->m_TexCoords[c] = uv;
        }
        else if (point < uint32_t(m_PointCount) && m_PointInfos)
        {
            // The corners that use the point are listed with it: no search of every polygon.
            const TDynamicArray<SLWO_PointInfo>& infos = m_PointInfos[point];
            for (int k = 0; k < infos.GetCount(); ++k)
                if (infos[k].m_Corner < 3)
                    m_Faces[infos[k].m_Polygon]->m_TexCoords[infos[k].m_Corner] = uv;
        }
    }
}

void CLWO_Block::ComputeNormals()
{
    if (!m_PointInfos)
        return;
    std::vector<TVector3<float>> faceNormals(size_t(m_Faces.GetCount()));
    for (int f = 0; f < m_Faces.GetCount(); ++f)
    {
        const CLWO_FaceBuildData* face = m_Faces[f];
        if (!face->m_Usable)
            continue;
        const TVector3<float>& p0 = face->m_Positions[0];
        const TVector3<float> cross = (face->m_Positions[1] - p0).Cross(face->m_Positions[2] - p0);
        faceNormals[size_t(f)] = TVector3<float>(-cross.x, -cross.y, -cross.z);
    }
    for (int32_t i = 0; i < m_PointCount; ++i)
    {
        const TDynamicArray<SLWO_PointInfo>& infos = m_PointInfos[i];
        if (infos.GetCount() == 0)
            continue;
        TVector3<float> sum;
        for (int k = 0; k < infos.GetCount(); ++k)
            sum = sum + faceNormals[size_t(infos[k].m_Polygon)];
        const float count = float(infos.GetCount());
        sum = TVector3<float>(sum.x / count, sum.y / count, sum.z / count);
        float length = sum.Length();
        if (length == 0)
            length = 1;
        const TVector3<float> normal(sum.x / length, sum.y / length, sum.z / length);
        for (int k = 0; k < infos.GetCount(); ++k)
            m_Faces[infos[k].m_Polygon]->m_Normals[infos[k].m_Corner] = normal;
    }
}

CLWO_Object::CLWO_Object() = default;

CLWO_Object::~CLWO_Object()
{
    Clear();
}

void CLWO_Object::Clear()
{
    m_Blocks.DeleteAll();
    m_Surfaces.DeleteAll();
    m_Tags.Clear();
}

bool CLWO_Object::HasSurfaceTag(int32_t tag) const
{
    for (int i = 0; i < m_Surfaces.GetCount(); ++i)
        if (m_Surfaces[i]->m_TagIndex == tag)
            return true;
    return false;
}

void CLWO_Object::Parse(const void* data, int32_t size)
{
    Clear();
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (!bytes || size < 12 || ReadBE32(bytes) != ID_FORM || ReadBE32(bytes + 4) != uint32_t(size - 8) ||
        ReadBE32(bytes + 8) != ID_LWO2)
        return;

    CLWO_Block* current = nullptr;
    int64_t offset = 12;
    while (offset + 8 <= size)
    {
        const uint32_t id = ReadBE32(bytes + offset);
        const uint32_t length = ReadBE32(bytes + offset + 4);
        if (int64_t(length) > size - offset - 8)
            break;
        const unsigned char* chunkData = bytes + offset + 8;
        if (id == ID_PNTS)
        {
            current = NEW CLWO_Block;
            current->m_Object = this;
            m_Blocks.Add(current);
        }
        const uint32_t type = length >= 4 ? ReadBE32(chunkData) : 0;
        if (current && IsRecorded(id, length, type))
        {
            CLWO_Chunk* chunk = NEW CLWO_Chunk;
            chunk->m_Size = length;
            chunk->m_Id = id;
            chunk->m_Type = type;
            chunk->m_Data = chunkData;
            chunk->m_Block = current;
            current->m_Chunks.Add(chunk);
        }
        if (id == ID_TAGS)
            ReadTagList(chunkData, length);
        else if (id == ID_SURF)
            ReadSurface(chunkData, length);
        offset += 8 + int64_t(length) + (length & 1);
    }
}

void CLWO_Object::Build()
{
    for (int i = 0; i < m_Blocks.GetCount(); ++i)
        m_Blocks[i]->Build();
}

void CLWO_Object::ReadTagList(const unsigned char* data, uint32_t size)
{
    m_Tags.Clear();
    const unsigned char* end = data + size;
    const unsigned char* p = data;
    while (p < end)
    {
        // A string without its terminator inside the chunk ends the list.
        const int64_t length = TerminatedLength(p, end);
        if (length < 0)
            break;
        m_Tags.Add(reinterpret_cast<char*>(const_cast<unsigned char*>(p)));
        if (PaddedSize(length) >= end - p)
            break;
        p += PaddedSize(length);
    }
}

void CLWO_Object::ReadSurface(const unsigned char* data, uint32_t size)
{
    const unsigned char* end = data + size;
    const int64_t nameLength = TerminatedLength(data, end);
    if (nameLength <= 0)
        return;
    CLWO_SurfaceData* surface = NEW CLWO_SurfaceData;
    CopyName(surface->m_Name, data, nameLength);
    surface->m_Source[0] = 0;
    surface->m_UVMap[0] = 0;
    surface->m_TagIndex = CLWO_SurfaceData::NO_TAG;
    m_Surfaces.Add(surface);

    const unsigned char* p = data + PaddedSize(nameLength);
    if (p < end)
    {
        const int64_t sourceLength = TerminatedLength(p, end);
        if (sourceLength >= 0)
        {
            CopyName(surface->m_Source, p, sourceLength);
            p = PaddedSize(sourceLength) < end - p ? p + PaddedSize(sourceLength) : end;
        }
        else
            p = end;
    }

    // Sub-chunks: id, 16-bit length, data; the scan never leaves the chunk.
    const unsigned char* limit = end;
    while (p < limit && limit - p >= 6)
    {
        const uint32_t id = ReadBE32(p);
        const uint32_t length = ReadBE16(p + 4);
        const unsigned char* subData = p + 6;
        const unsigned char* subEnd = int64_t(length) <= limit - subData ? subData + length : limit;
        if (id == ID_BLOK)
        {
            limit = subEnd;
            p = subData;
            continue;
        }
        if (id == ID_VMAP)
        {
            int64_t mapLength = TerminatedLength(subData, subEnd);
            if (mapLength < 0)
                mapLength = subEnd - subData;
            CopyName(surface->m_UVMap, subData, mapLength);
            break;
        }
        if (int64_t(length) + (length & 1) >= limit - subData)
            break;
        p = subData + length + (length & 1);
    }

    for (int i = 0; i < m_Tags.GetCount(); ++i)
        if (strcmp(m_Tags[i], surface->m_Name) == 0)
            surface->m_TagIndex = i;
}
} // namespace NLWO
} // namespace NKeth
