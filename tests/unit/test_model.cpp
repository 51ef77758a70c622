#include "demosystem.h"
#include "logcapture.h"
#include "model.h"
#include "modelfiles.h"
#include "scripttest.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

using namespace NKeth;
using namespace NModelFiles;

namespace
{
CMesh* RockMesh()
{
    CMesh* mesh = NEW CMesh;
    mesh->m_MaterialName = "rock";
    for (int i = 0; i < 3; ++i)
    {
        mesh->m_Positions.Add(TVector3<float>(float(i), 2.0f * i, -1.0f));
        mesh->m_TexCoords0.Add(TVector2<float>(0.5f * i, 0.25f));
        mesh->m_Normals.Add(TVector3<float>(0, 0, -1));
        mesh->m_Indices.Add(uint32_t(2 - i));
    }
    return mesh;
}

// A mesh list that deletes its meshes.
struct SMeshes
{
    ~SMeshes() { m_List.DeleteAll(); }
    TDynamicArray<CMesh*> m_List;
};
} // namespace

TEST(ModelCache, ByteLayoutAndRoundTripKeepArraysAndNameOnly)
{
    CTempDir dir;
    const std::string name = dir / "model.bin";
    SMeshes written;
    written.m_List.Add(RockMesh());
    CMesh* bare = NEW CMesh;
    bare->m_MaterialName = "bare";
    bare->m_TexCoords1.Add(TVector2<float>(1, 1));
    bare->m_Texture = "tex";
    written.m_List.Add(bare);
    ASSERT_TRUE(WriteModelCache(written.m_List, name.c_str()));
    TBytes expected;
    auto words = [&](std::initializer_list<float> floats, uint32_t count)
    {
        expected += LE(count);
        for (float f : floats)
            expected += LE(Bits(f));
    };
    // Count, then per mesh positions, texture coordinates, normals; the indices; the name.
    expected += LE(2);
    words({0, 0, -1, 1, 2, -1, 2, 4, -1}, 3);
    words({0, 0.25f, 0.5f, 0.25f, 1, 0.25f}, 3);
    words({0, 0, -1, 0, 0, -1, 0, 0, -1}, 3);
    expected += LE(3) + LE(2) + LE(1) + LE(0) + std::string("\0\4rock", 6);
    expected += LE(0) + LE(0) + LE(0) + LE(0) + std::string("\0\4bare", 6);
    EXPECT_EQ(ReadBytes(name), expected);

    SMeshes read;
    ASSERT_TRUE(ReadModelCache(read.m_List, name.c_str()));
    ASSERT_EQ(read.m_List.GetCount(), 2);
    const CMesh& rock = *read.m_List[0];
    EXPECT_STREQ(rock.m_MaterialName.GetText(), "rock");
    ASSERT_EQ(rock.m_Positions.GetCount(), 3);
    EXPECT_EQ(rock.m_Positions[2], TVector3<float>(2, 4, -1));
    EXPECT_EQ(rock.m_TexCoords0[1], TVector2<float>(0.5f, 0.25f));
    EXPECT_EQ(rock.m_Normals[1], TVector3<float>(0, 0, -1));
    EXPECT_EQ(rock.m_Indices[0], 2u);
    EXPECT_EQ(rock.m_Color[0], 0.5f);
    const CMesh& empty = *read.m_List[1];
    EXPECT_STREQ(empty.m_MaterialName.GetText(), "bare");
    EXPECT_EQ(empty.m_TexCoords0.GetCount() + empty.m_TexCoords1.GetCount(), 0);
    EXPECT_STREQ(empty.m_Texture.GetText(), "");

    EXPECT_FALSE(ReadModelCache(read.m_List, (dir / "missing.bin").c_str()));
    EXPECT_FALSE(WriteModelCache(read.m_List, (dir / "no/such/dir.bin").c_str()));
    EXPECT_EQ(read.m_List.GetCount(), 2);
}

TEST(ModelCache, FilesThatDoNotFitTheirCountsAreRefused)
{
    CTempDir dir;
    SMeshes source;
    source.m_List.Add(RockMesh());
    const std::string good = dir / "good.bin";
    ASSERT_TRUE(WriteModelCache(source.m_List, good.c_str()));
    const std::string bytes = ReadBytes(good);

    const std::string cases[] = {
        Patched(bytes, 4 + 4 + 36 + 4 + 24 + 4 + 36 + 4, 3), // first index = vertex count
        Patched(bytes, 4 + 4 + 36 + 4 + 24, 2),              // fewer normals than positions
        bytes.substr(0, bytes.size() - 1),
        bytes + "x",
        std::string("\xFF\xFF\xFF\x7F", 4),
        bytes.substr(0, 2),
    };
    for (const std::string& c : cases)
    {
        const std::string name = dir / "bad.bin";
        WriteBytes(name, c);
        SMeshes meshes;
        CLogCapture log;
        EXPECT_FALSE(ReadModelCache(meshes.m_List, name.c_str()));
        EXPECT_EQ(meshes.m_List.GetCount(), 0);
        EXPECT_EQ(log.Text(),
                  "ReadModelCache: " + name + " does not match its size; the model is built again\n");
    }
    WriteBytes(dir / "empty.bin", std::string(4, '\0'));
    SMeshes none;
    EXPECT_TRUE(ReadModelCache(none.m_List, (dir / "empty.bin").c_str()));
    EXPECT_EQ(none.m_List.GetCount(), 0);
}

TEST(Welding, StrictToleranceAndFirstMatchInIndexOrder)
{
    CMesh mesh;
    const TVector3<float> n(0, 0, 1);
    const TVector2<float> t(0.5f, 0.5f);
    EXPECT_EQ(AddVertex(mesh, TVector3<float>(1, 1, 1), n, t, false), 0u);
    EXPECT_EQ(AddVertex(mesh, TVector3<float>(1 + 5e-7f, 1, 1), n, t, false), 0u);
    EXPECT_EQ(AddVertex(mesh, TVector3<float>(1, 1 + 2e-6f, 1), n, t, false), 1u);
    EXPECT_EQ(AddVertex(mesh, TVector3<float>(1, 1, 1), TVector3<float>(0, 2e-6f, 1), t, false), 2u);
    EXPECT_EQ(AddVertex(mesh, TVector3<float>(1, 1, 1), n, TVector2<float>(0.5f, 0.5f + 2e-6f), false), 3u);
    EXPECT_EQ(AddVertex(mesh, TVector3<float>(1, 1, 1), n, t, true), 4u);
    EXPECT_EQ(AddVertex(mesh, TVector3<float>(1, 1, 1), n, t, false), 0u);
    EXPECT_TRUE(mesh.m_Positions.GetCount() == 5 && mesh.m_Normals.GetCount() == 5 &&
                mesh.m_TexCoords0.GetCount() == 5);
    AddTriangle(mesh, 4, 0, 2);
    EXPECT_EQ(std::vector<uint32_t>(mesh.m_Indices.m_Data, mesh.m_Indices.m_Data + mesh.m_Indices.GetCount()),
              (std::vector<uint32_t>{4, 0, 2}));

    // Far from the origin the window rounds away; equal vertices are still shared.
    CMesh far;
    const TVector3<float> big(100, 1000, -5000);
    EXPECT_EQ(AddVertex(far, big, n, t, false), 0u);
    EXPECT_EQ(AddVertex(far, big, n, t, false), 0u);
    EXPECT_EQ(AddVertex(far, TVector3<float>(std::nextafter(100.0f, 200.0f), 1000, -5000), n, t, false), 1u);
    // Exactly the tolerance away is outside.
    EXPECT_EQ(AddVertex(far, TVector3<float>(0, 0, 0), n, t, false), 2u);
    EXPECT_EQ(AddVertex(far, TVector3<float>(WELD_TOLERANCE, 0, 0), n, t, false), 3u);
}

TEST(Welding, HashedWeldingEqualsTheLinearScan)
{
    // Clusters of near points straddling cell faces, repeated normals and coordinates, and
    // values that never match (NaN, huge).
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, 40);
    std::uniform_real_distribution<float> jitter(-1.6e-6f, 1.6e-6f);
    const float bases[] = {0.0f, 1.0f / 65536, -1.0f / 65536, 0.25f, 3.0f, -7.5f, 1e6f, 1e30f};
    CMesh linear, hashed;
    CVertexWelder welder(hashed);
    for (int i = 0; i < 8000; ++i)
    {
        auto coordinate = [&]
        { return bases[pick(random) % 8] + (pick(random) < 20 ? jitter(random) : 0.0f); };
        TVector3<float> p(coordinate(), coordinate(), coordinate());
        if (pick(random) == 0)
            p.y = std::numeric_limits<float>::quiet_NaN();
        const TVector3<float> n(0, float(pick(random) % 2), 1);
        const TVector2<float> t(float(pick(random) % 2), 0.5f + (pick(random) < 5 ? jitter(random) : 0.0f));
        ASSERT_EQ(welder.Add(p, n, t), AddVertex(linear, p, n, t, false)) << i;
    }
    ASSERT_EQ(hashed.m_Positions.GetCount(), linear.m_Positions.GetCount());
    EXPECT_LT(linear.m_Positions.GetCount(), 8000);
}

TEST(Materials, AllFiveFieldsAreAssignedAndMatchedByName)
{
    CDemoSystem system;
    system.AddColor("sky", 0.1f, 0.2f, 0.3f, 0.4f);
    CContainer node;
    ReadScript(node, "materials {\n rock {\n color sky\n texture stone\n blend 1\n }\n"
                     " rock {\n shader glow\n }\n other {\n zwrite 0\n }\n}\n");
    SMeshes meshes;
    for (const char* name : {"rock", "Rock", "other"})
    {
        CMesh* mesh = NEW CMesh;
        mesh->m_MaterialName = name;
        meshes.m_List.Add(mesh);
    }
    ApplyMaterials(meshes.m_List, node, system);
    const CMesh& rock = *meshes.m_List[0];
    // The later container wins for every field, defaults included.
    EXPECT_EQ(rock.m_Color[1], 1.0f);
    EXPECT_EQ(rock.m_Color[0], 0.0f);
    EXPECT_STREQ(rock.m_Texture.GetText(), "");
    EXPECT_STREQ(rock.m_Shader.GetText(), "glow");
    EXPECT_EQ(rock.m_Blend, 0);
    EXPECT_EQ(meshes.m_List[1]->m_Color[0], 0.5f); // names match by case
    EXPECT_EQ(meshes.m_List[2]->m_ZWrite, 0);

    SMaterial material;
    ReadMaterial(material, *node.Find("materials")->m_Children[0], system);
    EXPECT_EQ(CVector4(material.m_Color[0], material.m_Color[1], material.m_Color[2], material.m_Color[3]),
              CVector4(0.1f, 0.2f, 0.3f, 0.4f));
    EXPECT_STREQ(material.m_Texture.GetText(), "stone");
    EXPECT_TRUE(material.m_Blend == 1 && material.m_ZWrite == 1);
}
