#include "content.h"
#include "keth/ext/loader/lwo/lwo.h"
#include "logcapture.h"
#include "model.h"
#include "modelfiles.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

using namespace NKeth;
using namespace NKeth::NLWO;
using namespace NModelFiles;

namespace
{
const std::vector<TPoint> TRIANGLE = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

// Parses and builds; the buffer lives as long as the object is used.
struct SLoaded
{
    explicit SLoaded(const TBytes& bytes) : m_Bytes(bytes)
    {
        m_Object.Parse(m_Bytes.data(), int32_t(m_Bytes.size()));
        m_Object.Build();
    }
    CLWO_FaceBuildData& Face(int i) { return *m_Object.m_Blocks[0]->m_Faces[i]; }

    TBytes m_Bytes;
    CLWO_Object m_Object;
};

TBytes OneSurface(const TBytes& geometry)
{
    return Form(Tags({"skin"}) + Surface("skin") + geometry);
}
} // namespace

TEST(LightWave, TrianglePositionsAndNormals)
{
    SLoaded flat(OneSurface(Points(TRIANGLE) + Polygons({{0, 1, 2}})));
    ASSERT_EQ(flat.m_Object.m_Blocks.GetCount(), 1);
    CLWO_FaceBuildData& face = flat.Face(0);
    EXPECT_TRUE(face.m_IsTriangle);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(face.m_Normals[c], TVector3<float>(0, 0, -1));

    // A shared point gets the normalised average of both faces' normals.
    SLoaded folded(
        OneSurface(Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}) + Polygons({{0, 1, 2}, {0, 3, 1}})));
    const TVector3<float> n = folded.Face(0).m_Normals[0];
    EXPECT_NEAR((n - TVector3<float>(0, 0.70710678f, -0.70710678f)).Length(), 0, 1e-6);
    EXPECT_EQ(folded.Face(1).m_Normals[0], n);
    EXPECT_EQ(folded.Face(0).m_Normals[2], TVector3<float>(0, 0, -1));
}

TEST(LightWave, TextureCoordinatesFlipVAndPerPolygonOverrides)
{
    // From the tools' writer, the per-polygon map moved in front of the shared one.
    NContent::SLightWaveObject object;
    object.m_Surfaces = {"left", "right"};
    object.m_Points = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    object.m_PointUVs = {0, 0, 0.25f, 0.75f, 0, 0.5f, 0.5f, 0.5f};
    object.m_Triangles = {{{0, 1, 2}, 0}, {{1, 3, 2}, 1}};
    object.m_CornerUVs = {{3, 1, 1, 0.25f}};
    TBytes file = NContent::WriteLightWaveObject(object);
    const size_t vmad = file.find("VMAD"), end = file.find("SURF", vmad);
    const TBytes corners = file.substr(vmad, end - vmad);
    file.erase(vmad, end - vmad).insert(file.find("VMAP"), corners);
    SLoaded uv(file);
    ASSERT_EQ(uv.m_Object.m_Surfaces.GetCount(), 2);
    EXPECT_STREQ(uv.m_Object.m_Surfaces[1]->m_Name, "right");
    EXPECT_EQ(uv.Face(0).m_Surface, 0);
    EXPECT_EQ(uv.Face(1).m_Surface, 1);
    EXPECT_EQ(uv.Face(0).m_TexCoords[0], TVector2<float>(0, 1));
    EXPECT_EQ(uv.Face(0).m_TexCoords[1], TVector2<float>(0.25f, 0.25f));
    // The per-polygon entry runs after the shared map, though it comes first in the file.
    EXPECT_EQ(uv.Face(1).m_TexCoords[1], TVector2<float>(1, 0.75f));
}

TEST(LightWave, PolygonHeadersAndVariableIndices)
{
    SLoaded flagged(OneSurface(Points(TRIANGLE) + Polygons({{0, 1, 2}}, 0x8000)));
    ASSERT_EQ(flagged.m_Object.m_Blocks[0]->m_Faces.GetCount(), 1);
    EXPECT_TRUE(flagged.Face(0).m_IsTriangle && flagged.Face(0).m_CornerCount == 3);

    // FF 01 02 03 is point 0x010203 in four bytes; 01 02 is point 0x0102.
    std::vector<TPoint> many(0x010204, TPoint{1, 2, 3});
    SLoaded wide(OneSurface(Points(many) + Polygons({{0x010203, 0x0102, 0}})));
    CLWO_FaceBuildData& face = wide.Face(0);
    EXPECT_EQ(std::vector<uint32_t>(face.m_Points, face.m_Points + 3),
              (std::vector<uint32_t>{0x010203, 0x0102, 0}));
    EXPECT_EQ(face.m_Positions[0], TVector3<float>(1, 2, -3));

    // Too few or too many corners, or a point that does not exist: kept in the numbering but
    // used nowhere.
    SLoaded odd(OneSurface(Points(TRIANGLE) +
                           Polygons({{0, 1}, {0, 1, 2, 0, 1, 2, 0}, {0, 1, 3}, {2, 1, 0}}) +
                           TexCoordMap({{0, 1, 1}})));
    ASSERT_EQ(odd.m_Object.m_Blocks[0]->m_Faces.GetCount(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(odd.Face(i).IsUsable() || odd.Face(i).m_IsTriangle) << i;
    EXPECT_EQ(odd.m_Object.m_Blocks[0]->m_PointInfos[0].GetCount(), 1);
    EXPECT_EQ(odd.Face(3).m_Positions[0], TVector3<float>(0, 1, 0));
}

TEST(LightWave, MalformedBuffersGiveAnEmptyObject)
{
    const TBytes good = OneSurface(Points(TRIANGLE) + Polygons({{0, 1, 2}}));
    TBytes wrongType = good;
    wrongType[11] = '3';
    for (const TBytes& bad : {good + '\0', good.substr(0, good.size() - 1), wrongType, good.substr(0, 11)})
    {
        CLWO_Object object;
        object.Parse(bad.data(), int32_t(bad.size()));
        object.Build();
        EXPECT_EQ(object.m_Blocks.GetCount() + object.m_Surfaces.GetCount(), 0);
    }
    // A chunk whose length runs past the buffer ends the walk; what came before stays.
    SLoaded cut(Form(Tags({"skin"}) + Surface("skin") + Points(TRIANGLE) + "POLS" + BE(1000) + "FACE"));
    EXPECT_EQ(cut.m_Object.m_Surfaces.GetCount(), 1);
    ASSERT_EQ(cut.m_Object.m_Blocks.GetCount(), 1);
    EXPECT_EQ(cut.m_Object.m_Blocks[0]->m_Faces.GetCount(), 0);
}

TEST(LightWave, SurfacesTagsAndNames)
{
    const TBytes inner = "IMAP" + BE(2, 2) + PaddedString("") + "VMAP" + BE(6, 2) + PaddedString("bumps");
    const TBytes blok = "BLOK" + BE(uint32_t(inner.size()), 2) + inner;
    const std::string longName(600, 'L');
    SLoaded loaded(Form(Tags({"a", "b", "a"}) + Surface("a", blok) + Surface("b") + Surface("") +
                        Surface("stray") + Surface(longName)));
    const auto& surfaces = loaded.m_Object.m_Surfaces;
    ASSERT_EQ(surfaces.GetCount(), 4);
    EXPECT_EQ(surfaces[0]->m_TagIndex, 2); // the last equal tag wins
    EXPECT_STREQ(surfaces[0]->m_UVMap, "bumps");
    EXPECT_EQ(surfaces[1]->m_TagIndex, 1);
    EXPECT_EQ(surfaces[2]->m_TagIndex, CLWO_SurfaceData::NO_TAG);
    EXPECT_EQ(strlen(surfaces[3]->m_Name), 511u);
}

TEST(LightWaveModel, OneMeshPerSurfaceFromTrianglesOnly)
{
    CTempDir dir;
    WriteBytes(dir / "obj.lwo",
               Form(Tags({"red", "blue"}) + Surface("red") + Surface("blue") + Surface("ghost") +
                    Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}) +
                    Polygons({{0, 1, 2}, {1, 3, 2}, {0, 1, 3, 2}, {2, 1, 0}}) +
                    PolygonTags({{0, 1}, {2, 1}, {3, 7}}) + Points(TRIANGLE) + Polygons({{0, 1, 2}})));
    TDynamicArray<CMesh*> meshes;
    CLogCapture log;
    ASSERT_TRUE(BuildModelFromLightWave(meshes, (dir / "obj.lwo").c_str()));
    EXPECT_EQ(log.Text(), "Material: red (0, 0)\nMaterial: blue (1, 0)\nMaterial: ghost (-1, 0)\n"
                          "LightWave object " +
                              (dir / "obj.lwo") +
                              ": 1 polygons with more than three corners skipped; vornscr-tool import "
                              "triangulates them\n");
    ASSERT_EQ(meshes.GetCount(), 3);
    // Polygon 0 is blue; polygons 1 and 3 keep surface 0 (red; tag 7 names no surface); the
    // quad and the second point list add nothing.
    EXPECT_EQ(meshes[1]->m_Indices.GetCount(), 3);
    EXPECT_EQ(meshes[0]->m_Indices.GetCount(), 6);
    EXPECT_EQ(meshes[0]->m_Positions.GetCount(), 4);
    EXPECT_EQ(meshes[0]->m_Indices[3], 2u); // (2, 1, 0) after (1, 3, 2): welded corners
    EXPECT_EQ(meshes[2]->m_Indices.GetCount(), 0);
    EXPECT_STREQ(meshes[2]->m_MaterialName.GetText(), "ghost");

    meshes.DeleteAll();
}

namespace
{
typedef std::array<float, 3> TCorner;
typedef std::array<TCorner, 3> TTriangle;

// Corners sorted, so that winding and starting corner do not matter.
TTriangle Canonical(TTriangle t)
{
    std::sort(t.begin(), t.end());
    return t;
}

// The triangles of an OBJ file written by the reference tool (polygons of other sizes are
// left out, as the mesh builder leaves them out). The reference negates z on import as the
// loader does, so its positions compare as they are.
std::vector<TTriangle> ReferenceTriangles(const std::string& objPath)
{
    std::ifstream in(objPath);
    std::vector<TCorner> positions;
    std::vector<TTriangle> triangles;
    for (std::string line; std::getline(in, line);)
    {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        TCorner p;
        if (kind == "v" && words >> p[0] >> p[1] >> p[2])
            positions.push_back(p);
        std::vector<TCorner> corners;
        for (std::string corner; kind == "f" && words >> corner;)
            corners.push_back(positions[size_t(std::stoi(corner) - 1)]); // "v/vt/vn" reads as v
        if (corners.size() == 3)
            triangles.push_back(Canonical({corners[0], corners[1], corners[2]}));
    }
    std::sort(triangles.begin(), triangles.end());
    return triangles;
}

std::vector<TTriangle> OurTriangles(const TDynamicArray<CMesh*>& meshes)
{
    std::vector<TTriangle> triangles;
    for (int m = 0; m < meshes.GetCount(); ++m)
        for (int i = 0; i + 2 < meshes[m]->m_Indices.GetCount(); i += 3)
        {
            TTriangle t;
            for (int c = 0; c < 3; ++c)
            {
                const TVector3<float>& p = meshes[m]->m_Positions[int(meshes[m]->m_Indices[i + c])];
                t[size_t(c)] = {p.x, p.y, p.z};
            }
            triangles.push_back(Canonical(t));
        }
    std::sort(triangles.begin(), triangles.end());
    return triangles;
}

bool Near(const TTriangle& x, const TTriangle& y)
{
    for (size_t c = 0; c < 9; ++c)
        if (std::fabs(x[c / 3][c % 3] - y[c / 3][c % 3]) > 1e-5f * std::max(1.0f, std::fabs(x[c / 3][c % 3])))
            return false;
    return true;
}
} // namespace

// Real objects against the reference importer: every triangle of a single-layer object lands
// in a mesh with the same corner positions once z is negated.
TEST(LightWaveDifferential, TrianglesMatchTheReferenceImporter)
{
    if (system("command -v assimp >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "assimp is not installed";
    const std::string corpus = std::string(CORPUS_DIR) + "/lwo";
    if (!std::filesystem::exists(corpus))
        GTEST_SKIP() << "no LightWave corpus";
    CTempDir dir;
    int compared = 0, agreed = 0, layered = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus))
    {
        if (entry.path().extension() != ".lwo")
            continue;
        const std::string path = entry.path().string();
        const std::string obj = dir / (entry.path().stem().string() + ".obj");
        if (system(("assimp export '" + path + "' '" + obj + "' >/dev/null 2>&1").c_str()) != 0)
            continue; // the reference refuses it too
        TDynamicArray<CMesh*> meshes;
        CLogCapture quiet;
        ASSERT_TRUE(BuildModelFromLightWave(meshes, path.c_str()));
        const std::vector<TTriangle> ours = OurTriangles(meshes);
        const std::vector<TTriangle> reference = ReferenceTriangles(obj);
        meshes.DeleteAll();
        ++compared;
        const bool same = std::equal(ours.begin(), ours.end(), reference.begin(), reference.end(), Near);
        agreed += same;
        if (SLoaded(ReadBytes(path)).m_Object.m_Blocks.GetCount() > 1)
        {
            // Only the first layer is built; it is part of what the reference has.
            ++layered;
            EXPECT_LE(ours.size(), reference.size()) << path;
            continue;
        }
        EXPECT_TRUE(same) << path << ": " << ours.size() << " triangles, reference " << reference.size();
    }
    printf("LightWave differential: %d objects compared, %d agree exactly, %d with several layers\n",
           compared, agreed, layered);
    EXPECT_GE(compared, 30);
}
