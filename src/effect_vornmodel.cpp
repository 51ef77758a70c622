#include "effect_vornmodel.h"
#include "demosystem.h"
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/base/sys.h"
#include "keth/ext/loader/dds/dds.h"
#include "keth/ext/loader/tga/tga.h"
#include "keth/func/image.h"

#include <cstring>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
uint32_t U32LE(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A leftover conversion of one fixed file, run when that file exists.
void ConvertDebugTexture()
{
    CFileReader in("e:\\ct2.dds");
    if (!in.IsOpen())
        return;
    CDDSFormat dds;
    CImage image, pixels;
    CString reason;
    if (!TryLoadImage(in, image, reason, &dds))
    {
        if (reason.GetLength() > 0)
            Log("%s\n", reason.GetText());
        return;
    }
    CDDSFormat::Decompress(image, pixels);
    CFileWriter out("e:\\ct2.tga", 0);
    if (out.IsOpen())
        CTGAFormat().Save(out, pixels);
}
} // namespace

CStuffReader* FindStuffReader(CDemoSystem& system, const CString& stuff, CString& path)
{
    path = stuff;
    const CString name = path.Token("|");
    CVariant value;
    if (!system.FindOutput(name.GetText(), &value) || value.m_Type != CVariant::TYPE_POINTER)
        return nullptr;
    path.MakeLower();
    return static_cast<CStuffReader*>(value.ToPointer());
}

CEffect_VornModel::~CEffect_VornModel()
{
    m_Meshes.DeleteAll();
}

void CEffect_VornModel::Read(CContainer& node)
{
    CEffect::Read(node);
    const CString cacheName("vornscr/cache/%s.bin", m_Name.GetText());
    // A cache of a model that could not be built would hide it after the archive is mended.
    if (!ReadModelCache(m_Meshes, cacheName) && LoadFromArchive(node) && HasTriangles(m_Meshes))
        WriteModelCache(m_Meshes, cacheName);
    ApplyMaterials(m_Meshes, node, System());
    ConvertDebugTexture();
    NMemoryManager::CheckMemory(true);
    SetOutput("", CVariant::FromPointer(&m_Meshes));
    MakePassive();
}

bool CEffect_VornModel::LoadFromArchive(CContainer& parameters)
{
    CString stuff;
    parameters.GetString("stuff", &stuff, "");
    if (stuff.GetLength() == 0)
        return false;
    CString path;
    CStuffReader* reader = FindStuffReader(System(), stuff, path);
    if (!reader)
        return false;
    reader->Load();
    if (!path.Contains("."))
        return false;
    CMemoryBlock* block = reader->OpenFile(path);
    const bool read = ReadModelFile(m_Meshes, block);
    delete block;
    return read;
}

bool CEffect_VornModel::ReadModelFile(TDynamicArray<CMesh*>& meshes, CInputStream* in)
{
    if (!in)
        return false;
    CMesh* mesh = NEW CMesh;
    meshes.Add(mesh);
    mesh->m_MaterialName = "default";

    unsigned char header[HEADER_SIZE];
    if (in->Read(header, HEADER_SIZE) != HEADER_SIZE)
    {
        Log("CEffect_VornModel: model file shorter than its header\n");
        return false;
    }
    const uint32_t version = uint32_t(header[0]) | uint32_t(header[1]) << 8;
    const uint32_t vertexCount = U32LE(header + 18);
    const uint32_t recordCount = U32LE(header + 22);
    const uint32_t indexCount = U32LE(header + 26);
    const uint32_t sets = U32LE(header + 70);
    if (version != 0x0401 || vertexCount == 0)
        return false;
    in->Seek(HEADER_SIZE, 0);
    if (sets < 1 || sets > 4)
    {
        Log("Unknown number of texcoords\n");
        return false;
    }
    const int floatsPerVertex = sets == 1 ? 8 : sets == 2 ? 10 : 12;
    const int64_t vertexBytes = int64_t(vertexCount) * floatsPerVertex * 4;
    const int64_t tailBytes = recordCount == 0 ? 0 : int64_t(recordCount) * 24 + int64_t(indexCount) * 2;
    const int64_t size = in->GetSize();
    if (size < 0 || HEADER_SIZE + vertexBytes + tailBytes > size)
    {
        Log("CEffect_VornModel: model file counts exceed its length of %d bytes\n", int(size));
        return false;
    }

    const int v = int(vertexCount);
    std::vector<float> vertices(size_t(vertexCount) * size_t(floatsPerVertex));
    if (in->Read(vertices.data(), int32_t(vertexBytes)) != int32_t(vertexBytes))
        return false;
    mesh->m_Positions.SetCount(v);
    mesh->m_Normals.SetCount(v);
    mesh->m_TexCoords0.SetCount(v);
    if (sets >= 2)
        mesh->m_TexCoords1.SetCount(v);
    if (sets >= 3)
        mesh->m_TexCoords2.SetCount(v);
    for (int i = 0; i < v; ++i)
    {
        const float* f = &vertices[size_t(i) * size_t(floatsPerVertex)];
        mesh->m_Positions[i] = TVector3<float>(f[0], f[1], f[2]);
        mesh->m_Normals[i] = TVector3<float>(f[3], f[4], f[5]);
        mesh->m_TexCoords0[i] = TVector2<float>(f[6], f[7]);
        if (sets >= 2)
            mesh->m_TexCoords1[i] = TVector2<float>(f[8], f[9]);
        if (sets >= 3)
            mesh->m_TexCoords2[i] = TVector2<float>(f[10], f[11]);
    }
    if (recordCount == 0)
        return false;

    std::vector<TriSurface> records(recordCount);
    std::vector<uint16_t> indices(indexCount);
    if (in->Read(records.data(), int32_t(recordCount * 24)) != int32_t(recordCount * 24) ||
        (indexCount > 0 && in->Read(indices.data(), int32_t(indexCount * 2)) != int32_t(indexCount * 2)))
        return false;

    // An index past the vertices would make drawing read outside the vertex arrays.
    bool outOfRange = false;
    if (records[0].m_PrimitiveType == 4)
    {
        if (indexCount > 0)
            mesh->m_Indices.SetCapacity(int(indexCount));
        // Whole triangles, and a trailing part of one, go or stay together.
        for (uint32_t first = 0; first < indexCount; first += 3)
        {
            const uint32_t end = first + 3 < indexCount ? first + 3 : indexCount;
            bool inRange = true;
            for (uint32_t i = first; i < end; ++i)
                inRange = inRange && indices[i] < vertexCount;
            outOfRange = outOfRange || !inRange;
            for (uint32_t i = first; i < end && inRange; ++i)
                mesh->m_Indices.Add(indices[i]);
        }
    }
    else if (records[0].m_PrimitiveType == 5)
    {
        auto range = [&](uint32_t r, uint32_t& first, uint32_t& end)
        {
            first = records[r].m_FirstIndex < indexCount ? records[r].m_FirstIndex : indexCount;
            end = r + 1 < recordCount ? records[r + 1].m_FirstIndex : indexCount;
            end = end < indexCount ? end : indexCount;
            end = end > first ? end : first;
        };
        int64_t triangles = 0;
        for (uint32_t r = 0; r < recordCount; ++r)
        {
            uint32_t first, end;
            range(r, first, end);
            triangles += end - first > 2 ? end - first - 2 : 0;
        }
        if (triangles > 0 && triangles * 3 < INT32_MAX)
            mesh->m_Indices.SetCapacity(int(triangles * 3));
        for (uint32_t r = 0; r < recordCount; ++r)
        {
            uint32_t first, end;
            range(r, first, end);
            for (uint32_t k = first + 2; k < end; ++k)
            {
                const uint32_t a = indices[k - 2], b = indices[k - 1], c = indices[k];
                if (a == b || b == c || a == c)
                    continue;
                if (a >= vertexCount || b >= vertexCount || c >= vertexCount)
                {
                    outOfRange = true;
                    continue;
                }
                if ((k - first) % 2 == 0)
                    AddTriangle(*mesh, a, b, c);
                else
                    AddTriangle(*mesh, c, b, a);
            }
        }
    }
    if (outOfRange)
        Log("CEffect_VornModel: model file indices beyond its %u vertices were dropped\n", vertexCount);
    return true;
}

void CEffect_VornTextures::Read(CContainer& node)
{
    CEffect::Read(node);
    CString outputDir, stuff;
    node.GetString("outputdir", &outputDir, "");
    node.GetString("stuff", &stuff, "");
    if (stuff.GetLength() > 0)
    {
        CString path;
        if (CStuffReader* reader = FindStuffReader(System(), stuff, path))
        {
            reader->Load();
            if (!path.Contains("."))
            {
                CContainer* directory = reader->FindDirectory(path);
                if (directory && outputDir.GetLength() > 0)
                    ExportTextures(*reader, directory, outputDir);
            }
        }
    }
    NMemoryManager::CheckMemory(true);
    MakePassive();
}

namespace
{
bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Creates every directory level of the file's path, one after the other.
void CreateDirectoriesFor(const CString& target)
{
    int end = target.GetLength();
    if (end > 0 && IsSeparator(target.GetText()[end - 1]))
        --end;
    while (end > 0 && !IsSeparator(target.GetText()[end - 1]))
        --end;
    if (end <= 0)
        return;
    const char* text = target.GetText();
    std::string sofar;
    int start = 0;
    for (int i = 0; i < end; ++i)
        if (IsSeparator(text[i]))
        {
            sofar.append(text + start, size_t(i - start));
            sofar += '\\';
            MakeDirectory(sofar.c_str());
            start = i + 1;
        }
}

// A file that is not a readable DDS is skipped without a word.
bool Decode(CInputStream& in, CImage& pixels)
{
    CDDSFormat dds;
    CImage image;
    CString reason;
    return TryLoadImage(in, image, reason, &dds) && CDDSFormat::Decompress(image, pixels);
}
} // namespace

int CEffect_VornTextures::ExportTextures(CStuffReader& reader, CContainer* directory, const char* outputDir)
{
    TDynamicArray<CContainer*> files;
    reader.FindFiles(".dds", files, directory);
    int written = 0;
    for (int i = 0; i < files.GetCount(); ++i)
    {
        CContainer* node = files[i];
        CMemoryBlock* block = reader.OpenNode(node);
        if (!block)
            continue;
        CString directoryPath;
        reader.GetDirectoryPath(node, directoryPath);
        CString name = node->m_Values[CStuffReader::VALUE_NAME]->ToString();
        const int length = name.GetLength();
        if (length >= 5 && name.GetText()[length - 4] == '.')
            name = name.Remove(length - 3, 3) + CString("tga");

        CImage pixels;
        const bool decoded = Decode(*block, pixels);
        delete block;
        if (!decoded)
            continue;
        const CString target("%s\\%s%s", outputDir, directoryPath.GetText(), name.GetText());
        Log("Converting texture: %s\n", target.GetText());
        CFileWriter writer;
        if (!writer.Open(target, 0))
        {
            CreateDirectoriesFor(target);
            writer.Open(target, 0);
        }
        if (writer.IsOpen() && CTGAFormat().Save(writer, pixels) && writer.Flush())
            ++written;
        writer.Close();
    }
    return written;
}

KETH_REGISTER_CLASS(CEffect_VornModel, "vornmodel");
KETH_REGISTER_CLASS(CEffect_VornTextures, "vorntextures");
