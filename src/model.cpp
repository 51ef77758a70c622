#include "model.h"
#include "demosystem.h"
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/ext/loader/lwo/lwo.h"
#include "keth/func/stream.h"

#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

using namespace NKeth;
using NKeth::NLWO::CLWO_Block;
using NKeth::NLWO::CLWO_FaceBuildData;
using NKeth::NLWO::CLWO_Object;

SMaterial::SMaterial() : m_Color{0.5f, 0.5f, 0.5f, 1.0f}, m_Blend(0), m_ZWrite(1) {}

namespace
{
// a lies strictly within the tolerance around b, computed in 32-bit floats. From 32 on, b plus
// or minus the tolerance rounds back to b and the window is empty, so equal values are matched
// explicitly: otherwise no vertex of a large model would ever be shared.
inline bool Near(float a, float b)
{
    return a == b || (b - WELD_TOLERANCE < a && a < b + WELD_TOLERANCE);
}

inline bool SameVertex(const CMesh& mesh, int i, const TVector3<float>& p, const TVector3<float>& n,
                       const TVector2<float>& t)
{
    const TVector3<float>& q = mesh.m_Positions[i];
    if (!Near(q.x, p.x) || !Near(q.y, p.y) || !Near(q.z, p.z))
        return false;
    const TVector2<float>& s = mesh.m_TexCoords0[i];
    if (!Near(s.x, t.x) || !Near(s.y, t.y))
        return false;
    const TVector3<float>& m = mesh.m_Normals[i];
    return Near(m.x, n.x) && Near(m.y, n.y) && Near(m.z, n.z);
}

uint32_t AppendVertex(CMesh& mesh, const TVector3<float>& p, const TVector3<float>& n,
                      const TVector2<float>& t)
{
    mesh.m_Positions.Add(p);
    mesh.m_Normals.Add(n);
    mesh.m_TexCoords0.Add(t);
    return uint32_t(mesh.m_Positions.GetCount() - 1);
}
} // namespace

uint32_t AddVertex(CMesh& mesh, const TVector3<float>& position, const TVector3<float>& normal,
                   const TVector2<float>& texCoord, bool noWelding)
{
    if (!noWelding)
    {
        const int count = mesh.m_Positions.GetCount();
        if (mesh.m_Normals.GetCount() >= count && mesh.m_TexCoords0.GetCount() >= count)
            for (int i = 0; i < count; ++i)
                if (SameVertex(mesh, i, position, normal, texCoord))
                    return uint32_t(i);
    }
    return AppendVertex(mesh, position, normal, texCoord);
}

void AddTriangle(CMesh& mesh, uint32_t a, uint32_t b, uint32_t c)
{
    mesh.m_Indices.Add(a);
    mesh.m_Indices.Add(b);
    mesh.m_Indices.Add(c);
}

// Cells are far wider than the tolerance, so a match lies in the vertex's own cell unless the
// vertex is near a cell face; only then is the neighbour across that face searched too.
struct CVertexWelder::SImpl
{
    static constexpr double CELL = 1.0 / 65536;
    // Any accepted pair differs by less than 1.5e-6 per component once float rounding of the
    // bounds is counted; the margin covers that with room.
    static constexpr double MARGIN = 2e-6 / CELL;
    static constexpr double LIMIT = 1e12;

    std::unordered_map<uint64_t, int32_t> m_Heads;
    std::vector<int32_t> m_Next;

    static void Cell(float value, int64_t& cell, int& low, int& high)
    {
        double q = double(value) / CELL;
        if (!(q > -LIMIT && q < LIMIT))
            q = q > 0 ? LIMIT : -LIMIT; // NaN and the far range share the edge cells
        const double floor = std::floor(q);
        const double fraction = q - floor;
        cell = int64_t(floor);
        low = fraction < MARGIN ? -1 : 0;
        high = fraction > 1 - MARGIN ? 1 : 0;
    }

    static uint64_t Key(int64_t x, int64_t y, int64_t z)
    {
        uint64_t h = uint64_t(x) * 0x9E3779B97F4A7C15ull;
        h ^= uint64_t(y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
        h ^= uint64_t(z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
        return h;
    }
};

CVertexWelder::CVertexWelder(CMesh& mesh) : m_Mesh(mesh), m_Impl(NEW SImpl)
{
    const int count = mesh.m_Positions.GetCount();
    m_Impl->m_Heads.reserve(size_t(mesh.m_Positions.GetCapacity()));
    m_Impl->m_Next.reserve(size_t(mesh.m_Positions.GetCapacity()));
    // Vertices already in the mesh take part like the ones added later.
    for (int i = 0; i < count; ++i)
    {
        const TVector3<float>& p = mesh.m_Positions[i];
        int64_t x, y, z;
        int lo, hi;
        SImpl::Cell(p.x, x, lo, hi);
        SImpl::Cell(p.y, y, lo, hi);
        SImpl::Cell(p.z, z, lo, hi);
        int32_t& head = m_Impl->m_Heads.try_emplace(SImpl::Key(x, y, z), -1).first->second;
        m_Impl->m_Next.push_back(head);
        head = i;
    }
}

CVertexWelder::~CVertexWelder()
{
    delete m_Impl;
}

uint32_t CVertexWelder::Add(const TVector3<float>& position, const TVector3<float>& normal,
                            const TVector2<float>& texCoord)
{
    int64_t cx, cy, cz;
    int lx, hx, ly, hy, lz, hz;
    SImpl::Cell(position.x, cx, lx, hx);
    SImpl::Cell(position.y, cy, ly, hy);
    SImpl::Cell(position.z, cz, lz, hz);

    // The smallest matching index, as the scan in index order would find.
    int32_t best = -1;
    for (int dx = lx; dx <= hx; ++dx)
        for (int dy = ly; dy <= hy; ++dy)
            for (int dz = lz; dz <= hz; ++dz)
            {
                auto found = m_Impl->m_Heads.find(SImpl::Key(cx + dx, cy + dy, cz + dz));
                if (found == m_Impl->m_Heads.end())
                    continue;
                for (int32_t i = found->second; i >= 0; i = m_Impl->m_Next[size_t(i)])
                    if ((best < 0 || i < best) && SameVertex(m_Mesh, i, position, normal, texCoord))
                        best = i;
            }
    if (best >= 0)
        return uint32_t(best);

    const uint32_t index = AppendVertex(m_Mesh, position, normal, texCoord);
    int32_t& head = m_Impl->m_Heads.try_emplace(SImpl::Key(cx, cy, cz), -1).first->second;
    m_Impl->m_Next.push_back(head);
    head = int32_t(index);
    return index;
}

void BuildModelFromObject(TDynamicArray<CMesh*>& meshes, CLWO_Object& object, bool linearSearch)
{
    const int first = meshes.GetCount();
    std::unordered_map<int32_t, int> meshOfTag;
    for (int s = 0; s < object.m_Surfaces.GetCount(); ++s)
    {
        const NLWO::CLWO_SurfaceData* surface = object.m_Surfaces[s];
        CMesh* mesh = NEW CMesh;
        mesh->m_MaterialName = surface->m_Name;
        meshes.Add(mesh);
        Log("Material: %s (%d, %d)\n", surface->m_Name, surface->m_TagIndex, 0);
        meshOfTag.try_emplace(surface->m_TagIndex, meshes.GetCount() - 1);
    }
    if (object.m_Blocks.GetCount() == 0)
        return;
    const CLWO_Block& block = *object.m_Blocks[0];
    const int meshCount = meshes.GetCount() - first;

    // Which mesh takes each triangle, and how many each takes, so that the arrays are sized once.
    std::vector<int> target(size_t(block.m_Faces.GetCount()), -1);
    std::vector<int64_t> triangles(size_t(meshCount), 0);
    for (int f = 0; f < block.m_Faces.GetCount(); ++f)
    {
        const CLWO_FaceBuildData* face = block.m_Faces[f];
        if (!face->m_IsTriangle || !face->IsUsable())
            continue;
        auto found = meshOfTag.find(face->m_Surface);
        if (found == meshOfTag.end() || found->second < first)
            continue;
        target[size_t(f)] = found->second;
        ++triangles[size_t(found->second - first)];
    }

    std::vector<CVertexWelder*> welders(size_t(meshCount), nullptr);
    if (!linearSearch)
        for (int m = 0; m < meshCount; ++m)
        {
            const int64_t corners = triangles[size_t(m)] * 3;
            if (corners == 0 || corners > INT32_MAX / 16)
                continue;
            CMesh& mesh = *meshes[first + m];
            mesh.m_Positions.SetCapacity(int(corners));
            mesh.m_Normals.SetCapacity(int(corners));
            mesh.m_TexCoords0.SetCapacity(int(corners));
            mesh.m_Indices.SetCapacity(int(corners));
            welders[size_t(m)] = NEW CVertexWelder(mesh);
        }

    for (int f = 0; f < block.m_Faces.GetCount(); ++f)
    {
        if (target[size_t(f)] < 0)
            continue;
        const CLWO_FaceBuildData* face = block.m_Faces[f];
        CMesh& mesh = *meshes[target[size_t(f)]];
        CVertexWelder* welder = welders[size_t(target[size_t(f)] - first)];
        uint32_t index[3];
        for (int c = 0; c < 3; ++c)
            index[c] = welder ? welder->Add(face->m_Positions[c], face->m_Normals[c], face->m_TexCoords[c])
                              : AddVertex(mesh, face->m_Positions[c], face->m_Normals[c],
                                          face->m_TexCoords[c], false);
        AddTriangle(mesh, index[0], index[1], index[2]);
    }

    for (int m = 0; m < meshCount; ++m)
    {
        if (!welders[size_t(m)])
            continue;
        delete welders[size_t(m)];
        // Give back the room that welding saved.
        CMesh& mesh = *meshes[first + m];
        const int count = mesh.m_Positions.GetCount();
        if (count > 0 && count < mesh.m_Positions.GetCapacity())
        {
            mesh.m_Positions.SetCapacity(count);
            mesh.m_Normals.SetCapacity(count);
            mesh.m_TexCoords0.SetCapacity(count);
        }
    }
}

bool BuildModelFromLightWave(TDynamicArray<CMesh*>& meshes, const char* fileName)
{
    CFileReader in(fileName);
    if (!in.IsOpen())
        return false;
    const int32_t size = in.GetSize();
    std::vector<unsigned char> buffer(size_t(size > 0 ? size : 0));
    const int32_t got = size > 0 ? in.Read(buffer.data(), size) : 0;
    CLWO_Object object;
    object.Parse(buffer.data(), got);
    object.Build();
    BuildModelFromObject(meshes, object);
    int larger = 0;
    if (object.m_Blocks.GetCount() > 0)
        for (int f = 0; f < object.m_Blocks[0]->m_Faces.GetCount(); ++f)
            larger += object.m_Blocks[0]->m_Faces[f]->m_CornerCount > 3 ? 1 : 0;
    if (larger > 0)
        Log("LightWave object %s: %d polygons with more than three corners skipped; "
            "vornscr-tool import triangulates them\n",
            fileName, larger);
    return true;
}

bool HasTriangles(const TDynamicArray<CMesh*>& meshes)
{
    for (int i = 0; i < meshes.GetCount(); ++i)
        if (meshes[i]->m_Indices.GetCount() >= 3)
            return true;
    return false;
}

namespace
{
// Reads the cache from a file of known size; every count is checked against what is left.
class CCacheReader
{
public:
    CCacheReader(CInputStream& in, int64_t size) : m_In(in), m_Left(size) {}

    bool Fits(int64_t bytes) const { return bytes >= 0 && bytes <= m_Left; }

    bool ReadBytes(void* buffer, int64_t bytes)
    {
        if (!Fits(bytes))
            return false;
        if (bytes > 0 && m_In.Read(buffer, int32_t(bytes)) != int32_t(bytes))
            return false;
        m_Left -= bytes;
        return true;
    }

    bool ReadCount(int32_t& count, int64_t elementSize)
    {
        return ReadBytes(&count, 4) && count >= 0 && Fits(int64_t(count) * elementSize);
    }

    template <class T> bool ReadArray(TDynamicArray<T>& array)
    {
        int32_t count;
        if (!ReadCount(count, int64_t(sizeof(T))) || !array.SetCount(count))
            return false;
        return ReadBytes(array.GetData(), int64_t(count) * int64_t(sizeof(T)));
    }

    CInputStream& m_In;
    int64_t m_Left;
};

bool ReadMeshRecord(CCacheReader& reader, CMesh& mesh)
{
    if (!reader.ReadArray(mesh.m_Positions) || !reader.ReadArray(mesh.m_TexCoords0) ||
        !reader.ReadArray(mesh.m_Normals) || !reader.ReadArray(mesh.m_Indices))
        return false;
    unsigned char length[2];
    if (!reader.ReadBytes(length, 2))
        return false;
    const int n = length[0] << 8 | length[1];
    std::vector<char> name(size_t(n) + 1, 0);
    if (!reader.ReadBytes(name.data(), n))
        return false;
    mesh.m_MaterialName.Set(name.data(), n);

    // Nothing drawn from the mesh may read past its vertices.
    const int vertices = mesh.m_Positions.GetCount();
    if (mesh.m_Normals.GetCount() != vertices ||
        (mesh.m_TexCoords0.GetCount() != 0 && mesh.m_TexCoords0.GetCount() != vertices))
        return false;
    for (int i = 0; i < mesh.m_Indices.GetCount(); ++i)
        if (mesh.m_Indices[i] >= uint32_t(vertices))
            return false;
    return true;
}
} // namespace

bool ReadModelCache(TDynamicArray<CMesh*>& meshes, const char* fileName)
{
    CFileReader in(fileName);
    if (!in.IsOpen())
        return false;
    CCacheReader reader(in, in.GetSize());
    TDynamicArray<CMesh*> read;
    int32_t count = 0;
    // The smallest mesh record is four counts and an empty name.
    bool ok = reader.ReadCount(count, 18) && (count == 0 || read.SetCapacity(count));
    for (int i = 0; ok && i < count; ++i)
    {
        CMesh* mesh = NEW CMesh;
        read.Add(mesh);
        ok = ReadMeshRecord(reader, *mesh);
    }
    if (!ok || reader.m_Left != 0)
    {
        Log("ReadModelCache: %s does not match its size; the model is built again\n", fileName);
        read.DeleteAll();
        return false;
    }
    for (int i = 0; i < read.GetCount(); ++i)
        meshes.Add(read[i]);
    return true;
}

bool WriteModelCache(const TDynamicArray<CMesh*>& meshes, const char* fileName)
{
    CFileWriter out(fileName, 0);
    if (!out.IsOpen())
        return false;
    bool ok = true;
    auto write = [&](const void* data, int64_t bytes)
    {
        if (bytes > 0 && ok)
            ok = bytes <= INT32_MAX && out.Write(data, int32_t(bytes)) == int32_t(bytes);
    };
    auto writeArray = [&](const auto& array)
    {
        const int32_t count = array.GetCount();
        write(&count, 4);
        write(array.GetData(), int64_t(count) * int64_t(sizeof(array[0])));
    };
    const int32_t count = meshes.GetCount();
    write(&count, 4);
    for (int i = 0; i < count; ++i)
    {
        const CMesh& mesh = *meshes[i];
        writeArray(mesh.m_Positions);
        writeArray(mesh.m_TexCoords0);
        writeArray(mesh.m_Normals);
        writeArray(mesh.m_Indices);
        if (ok)
            WriteString(out, mesh.m_MaterialName);
    }
    return ok && out.Flush();
}

void ReadMaterial(SMaterial& material, CContainer& parameters, CDemoSystem& system)
{
    const CVector4 color = system.GetColor("color", &parameters, 0, 1, 0, 1);
    material.m_Color[0] = color.x;
    material.m_Color[1] = color.y;
    material.m_Color[2] = color.z;
    material.m_Color[3] = color.w;
    parameters.GetString("texture", &material.m_Texture, "");
    parameters.GetString("shader", &material.m_Shader, "");
    parameters.GetInt("blend", &material.m_Blend, 0);
    parameters.GetInt("zwrite", &material.m_ZWrite, 1);
}

void ApplyMaterials(TDynamicArray<CMesh*>& meshes, CContainer& node, CDemoSystem& system)
{
    CContainer* materials = node.Find("materials");
    if (!materials)
        return;
    for (int i = 0; i < materials->m_Children.GetCount(); ++i)
    {
        CContainer* material = materials->m_Children[i];
        if (material->m_Values.GetCount() < 1)
            continue;
        const CString name = material->m_Values[0]->ToString();
        for (int m = 0; m < meshes.GetCount(); ++m)
            if (StrCmp(name.GetText(), meshes[m]->m_MaterialName.GetText()) == 0)
                ReadMaterial(*meshes[m], *material, system);
    }
}
