#include "content.h"
#include "demosystem.h"
#include "effect_vornmodel.h"
#include "logcapture.h"
#include "modelfiles.h"
#include "scripttest.h"
#include "tempdir.h"
#include "testsupport.h"

#include "testplatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace NKeth;
using namespace NModelFiles;

namespace
{
struct SRead
{
    explicit SRead(const TBytes& bytes, bool withStream = true)
    {
        NKeth::CMemoryReader in(bytes.data(), int32_t(bytes.size()));
        CLogCapture capture;
        m_Result = CEffect_VornModel::ReadModelFile(m_Meshes, withStream ? &in : nullptr);
        m_Log = capture.Text();
    }
    ~SRead() { m_Meshes.DeleteAll(); }
    std::vector<uint32_t> Indices() const
    {
        const auto& indices = m_Meshes[0]->m_Indices;
        return std::vector<uint32_t>(indices.m_Data, indices.m_Data + indices.GetCount());
    }

    TDynamicArray<CMesh*> m_Meshes;
    bool m_Result;
    std::string m_Log;
};

} // namespace

TEST(ModelFile, StripsAlternateWindingAndSkipDegenerates)
{
    // A record ends where the next starts, nothing when that is before its own start; starts and
    // ends past the indices stop at their end. Other primitives give no triangles.
    const struct
    {
        uint32_t m_Primitive;
        std::vector<uint32_t> m_Firsts;
        std::vector<uint16_t> m_Indices;
        std::vector<uint32_t> m_Expected;
    } cases[] = {
        {5, {0}, {0, 1, 2, 3}, {0, 1, 2, 3, 2, 1}},
        {5, {0}, {0, 1, 1, 2}, {}},
        {5, {0}, {0, 1, 0}, {}},
        {5, {0, 4}, {0, 1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 2, 1, 4, 5, 6}},
        {5, {4, 2, 99}, {0, 1, 2, 3, 4, 5}, {2, 3, 4, 5, 4, 3}},
        {6, {0}, {0, 1, 2}, {}},
    };
    for (const auto& c : cases)
    {
        SRead read(ModelFile(8, c.m_Indices, c.m_Primitive, c.m_Firsts));
        EXPECT_TRUE(read.m_Result);
        EXPECT_EQ(read.m_Meshes[0]->m_Positions.GetCount(), 8);
        EXPECT_EQ(read.Indices(), c.m_Expected) << c.m_Primitive << " " << c.m_Indices.size();
    }
}

TEST(ModelFile, VerticesOfOneToFourCoordinateSets)
{
    // One set makes 32-byte vertices, two 40-byte ones, three and four 48-byte ones.
    for (uint32_t sets : {1u, 2u, 3u, 4u})
    {
        SCOPED_TRACE(sets);
        SRead read(ModelFile(3, {0, 1, 2}, 4, {0}, sets));
        EXPECT_TRUE(read.m_Result);
        ASSERT_EQ(read.m_Meshes.GetCount(), 1);
        const CMesh& mesh = *read.m_Meshes[0];
        EXPECT_STREQ(mesh.m_MaterialName.GetText(), "default");
        ASSERT_EQ(mesh.m_Positions.GetCount(), 3);
        EXPECT_EQ(mesh.m_Positions[2], TVector3<float>(200, 201, 202));
        EXPECT_EQ(mesh.m_Normals[1], TVector3<float>(103, 104, 105));
        EXPECT_EQ(mesh.m_TexCoords0[2], TVector2<float>(206, 207));
        EXPECT_EQ(mesh.m_TexCoords1.GetCount() == 3 && mesh.m_TexCoords1[2] == TVector2<float>(208, 209),
                  sets > 1);
        EXPECT_EQ(mesh.m_TexCoords2.GetCount() == 3 && mesh.m_TexCoords2[1] == TVector2<float>(110, 111),
                  sets > 2);
        EXPECT_EQ(read.Indices(), (std::vector<uint32_t>{0, 1, 2}));
    }
    EXPECT_EQ(ModelFile().size(), 212u);
    SRead null(ModelFile(), false);
    EXPECT_FALSE(null.m_Result);
    EXPECT_EQ(null.m_Meshes.GetCount(), 0);
    SRead five(ModelFile(3, {0, 1, 2}, 4, {0}, 5));
    EXPECT_FALSE(five.m_Result);
    EXPECT_EQ(five.m_Log, "Unknown number of texcoords\n");
    EXPECT_EQ(five.m_Meshes[0]->m_Positions.GetCount(), 0);
    EXPECT_EQ(five.m_Meshes[0]->m_Indices.GetCount(), 0);
}

TEST(ModelFile, RefusedFilesLeaveOneEmptyMesh)
{
    const TBytes good = ModelFile();
    for (const TBytes& file : {Patched(good, VERSION, 0x0104), ModelFile(0), Patched(good, INDICES, 4),
                               Patched(good, VERTICES, 0x10000003), good.substr(0, 85)})
    {
        SRead read(file);
        EXPECT_FALSE(read.m_Result);
        ASSERT_EQ(read.m_Meshes.GetCount(), 1);
        EXPECT_STREQ(read.m_Meshes[0]->m_MaterialName.GetText(), "default");
        EXPECT_EQ(read.m_Meshes[0]->m_Positions.GetCount(), 0);
    }
    SRead counts(Patched(good, INDICES, 4));
    EXPECT_EQ(counts.m_Log, "CEffect_VornModel: model file counts exceed its length of 212 bytes\n");

    SRead keeps(Patched(good, RECORDS, 0));
    EXPECT_FALSE(keeps.m_Result);
    EXPECT_EQ(keeps.m_Meshes[0]->m_Positions.GetCount(), 3);
    EXPECT_EQ(keeps.m_Meshes[0]->m_Indices.GetCount(), 0);

    // Only the triangles that use a bad index are dropped.
    for (uint32_t type : {4u, 5u})
    {
        SRead outside(ModelFile(3, {0, 1, 9}, type));
        EXPECT_TRUE(outside.Indices().empty());
        EXPECT_NE(outside.m_Log.find("beyond its 3 vertices"), std::string::npos);
    }
    SRead list(ModelFile(3, {0, 9, 1, 2, 1, 0, 1}));
    EXPECT_EQ(list.Indices(), std::vector<uint32_t>({2, 1, 0, 1}));
}

namespace
{
// A show read inside the directory, and what it logged.
class CShowInDir : private CWorkingDirectory, public CLogCapture, public CTestShow
{
public:
    CShowInDir(const CTempDir& dir, const std::string& script)
        : CWorkingDirectory(dir.Path()), CTestShow(script)
    {
    }
    TDynamicArray<CMesh*>* Meshes(const char* name)
    {
        return static_cast<TDynamicArray<CMesh*>*>(m_System.GetOutputValue(name).ToPointer());
    }
    std::string Log() const { return WithoutTimings(Text()); }
};

const char* VORN_SCRIPT = "stufffile {\n name arc\n filename \"data/models.stuff\"\n}\n"
                          "vornmodel {\n name rock\n stuff \"arc|Models\\Rock.mdl\"\n"
                          " materials {\n default {\n texture stone\n }\n }\n}\n";
} // namespace

TEST(VornModelEffect, ReadsTheArchiveOnceAndThenTheCacheButNoBrokenOne)
{
    CTempDir dir;
    std::filesystem::create_directories(dir / "vornscr/cache");
    // A truncated archive leaves no cache, so that the mended one is read.
    WriteBytes(dir / "data/models.stuff", Archive({{"models\\rock.mdl", ModelFile()}}).substr(0, 30));
    EXPECT_EQ(CShowInDir(dir, VORN_SCRIPT).Meshes("rock")->GetCount(), 0);
    WriteBytes(dir / "data/models.stuff", Archive({{"models\\rock.mdl", ModelFile()}}));
    // The second time the archive is gone: the cache alone is read.
    for (int pass = 0; pass < 2; ++pass)
    {
        SCOPED_TRACE(pass);
        // Removed only between shows: an open archive cannot be removed on every system.
        if (pass == 1)
            std::filesystem::remove(dir / "data/models.stuff");
        CShowInDir show(dir, VORN_SCRIPT);
        TDynamicArray<CMesh*>* meshes = show.Meshes("rock");
        ASSERT_NE(meshes, nullptr);
        ASSERT_EQ(meshes->GetCount(), 1);
        EXPECT_EQ((*meshes)[0]->m_Indices.GetCount(), 3);
        EXPECT_STREQ((*meshes)[0]->m_Texture.GetText(), "stone");
        EXPECT_EQ(show.Effect("rock")->m_EndTime, -1.0f);
        EXPECT_EQ(ReadBytes(dir / "vornscr/cache/rock.bin").size(),
                  4 + 4 + 36 + 4 + 24 + 4 + 36 + 4 + 12 + 2 + 7u);
    }
}

TEST(VornModelEffect, FailedLoadsLeaveNoCache)
{
    const std::pair<const char*, int> cases[] = {
        {"", 0},           {"nobody|models\\rock.mdl", 0}, {"arc|models\\missing.mdl", 0},
        {"arc|models", 0}, {"arc|models\\bad.mdl", 1},     {"arc|models\\flat.mdl", 1}};
    for (const auto& [stuff, count] : cases)
    {
        SCOPED_TRACE(stuff);
        CTempDir dir;
        // A readable file of no triangles is not cached either.
        WriteBytes(dir / "data/models.stuff",
                   Archive({{"models\\bad.mdl", Patched(ModelFile(), VERSION, 0x0104)},
                            {"models\\flat.mdl", ModelFile(3, {0, 1, 2}, 6)}}));
        std::filesystem::create_directories(dir / "vornscr/cache");
        CShowInDir show(dir, std::string("stufffile {\n name arc\n filename \"data/models.stuff\"\n}\n"
                                         "vornmodel {\n name m\n stuff \"") +
                                 stuff + "\"\n}\n");
        EXPECT_EQ(show.Meshes("m")->GetCount(), count);
        EXPECT_FALSE(std::filesystem::exists(dir / "vornscr/cache/m.bin"));
    }
    CTempDir noCacheDir;
    CShowInDir show(noCacheDir, "vornmodel {\n name m\n}\n");
    EXPECT_FALSE(std::filesystem::exists(noCacheDir / "vornscr/cache/m.bin"));
}

TEST(ModelEffect, BuildsOnceWritesTheCacheAndThenReadsOnlyIt)
{
    CTempDir dir;
    NContent::SLightWaveObject rock;
    rock.m_Surfaces = {"rock"};
    rock.m_Points = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    rock.m_Triangles = {{{0, 1, 2}, 0}};
    WriteBytes(dir / "data/rock.lwo", NContent::WriteLightWaveObject(rock));
    {
        CShowInDir show(
            dir, "model {\n name m\n modelfile \"rock.lwo\"\n materials {\n rock {\n blend 1\n }\n }\n}\n");
        EXPECT_EQ(show.Log(), "Material: rock (0, 0)\n");
        TDynamicArray<CMesh*>* meshes = show.Meshes("m");
        ASSERT_EQ(meshes->GetCount(), 1);
        EXPECT_EQ((*meshes)[0]->m_Indices.GetCount(), 3);
        EXPECT_EQ((*meshes)[0]->m_Blend, 1);
    }

    // The cache wins even over a different object.
    WriteBytes(dir / "data/rock.lwo", "not an object");
    {
        CShowInDir show(dir, "model {\n name m\n modelfile \"rock.lwo\"\n}\n");
        EXPECT_EQ(show.Log(), "");
        EXPECT_EQ(show.Meshes("m")->GetCount(), 1);
    }

    // No object, or one without triangles: no cache is written.
    WriteBytes(dir / "data/quads.lwo",
               Form(Tags({"q"}) + Surface("q") + Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}) +
                    Polygons({{0, 1, 2, 3}})));
    CShowInDir show(dir, "model {\n name none\n modelfile \"gone.lwo\"\n}\nmodel {\n name empty\n}\n"
                         "model {\n name quads\n modelfile \"quads.lwo\"\n}\n");
    EXPECT_EQ(show.Meshes("none")->GetCount(), 0);
    EXPECT_EQ(show.Meshes("empty")->GetCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "data/gone.lwo.bin"));
    EXPECT_FALSE(std::filesystem::exists(dir / "data/quads.lwo.bin"));
}

TEST(VornTexturesEffect, ExportsEveryDDSBelowTheDirectory)
{
    CTempDir dir;
    const TBytes dds = NContent::WriteDDS(NContent::SPixels(4, 4), true);
    WriteBytes(dir / "data/tex.stuff", Archive({{"textures\\crate.dds", dds},
                                                {"textures\\props\\lamp.dds", dds},
                                                {"textures\\a.dds.bak", dds},
                                                {"textures\\broken.dds", "not a texture"},
                                                {"other\\x.dds", dds},
                                                {"root.dds", dds}}));
    const std::string archive = "stufffile {\n name arc\n filename \"data/tex.stuff\"\n}\n";
    EXPECT_EQ(CShowInDir(dir, archive + "vorntextures {\n outputdir out\n stuff \"arc|Textures\"\n}\n").Log(),
              "Converting texture: out\\textures\\crate.tga\n"
              "Converting texture: out\\textures\\props\\lamp.tga\n"
              "Converting texture: out\\textures\\a.dds.tga\n");
    const std::string lamp = ReadBytes(dir / "out/textures/props/lamp.tga");
    EXPECT_EQ(lamp.size(), 18u + 4 * 4 * 4);
    EXPECT_TRUE(std::filesystem::exists(dir / "out/textures/a.dds.tga"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out/other"));

    // An empty path exports the whole archive; an existing file is overwritten.
    WriteBytes(dir / "all/textures/crate.tga", "old");
    CShowInDir(dir, archive + "vorntextures {\n outputdir all\n stuff arc\n}\n");
    EXPECT_EQ(ReadBytes(dir / "all/textures/crate.tga").size(), lamp.size());
    EXPECT_TRUE(std::filesystem::exists(dir / "all/x.tga") || std::filesystem::exists(dir / "all/root.tga"));
    EXPECT_TRUE(std::filesystem::exists(dir / "all/other/x.tga"));
    CShowInDir(dir, archive + "vorntextures {\n outputdir \"slash/deep\"\n stuff \"arc|\"\n}\n"
                              "vorntextures {\n outputdir none\n stuff \"arc|textures\\crate.dds\"\n}\n"
                              "vorntextures {\n outputdir none\n stuff \"arc|nothing\"\n}\n"
                              "vorntextures {\n stuff arc\n}\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "slash/deep/root.tga"));
    EXPECT_FALSE(std::filesystem::exists(dir / "none"));
}

#ifdef VORNSCR_TOOL
TEST(Tool, PackListExtractAndModel)
{
    if (!NTestPlatform::RunsShellCommands())
        GTEST_SKIP() << "the tool is started through the POSIX shell";
    CTempDir dir;
    WriteBytes(dir / "in/Models/rock.mdl", ModelFile());
    WriteBytes(dir / "in/a.txt", "abc");
    std::string out;
    ASSERT_EQ(RunTool("pack " + (dir / "x.stuff") + " " + (dir / "in"), out), 0) << out;
    EXPECT_EQ(ReadBytes(dir / "x.stuff"), Archive({{"Models\\rock.mdl", ModelFile()}, {"a.txt", "abc"}}));
    ASSERT_EQ(RunTool("list " + (dir / "x.stuff"), out), 0);
    EXPECT_EQ(out, "       212         42 models\\rock.mdl\n         3        254 a.txt\n");
    ASSERT_EQ(RunTool("extract " + (dir / "x.stuff") + " models/ROCK.mdl " + (dir / "rock.mdl"), out), 0)
        << out;
    ASSERT_EQ(RunTool("model " + (dir / "rock.mdl"), out), 0) << out;
    EXPECT_NE(out.find("mesh 0 \"default\": 3 vertices, 1 triangles, 3 indices, box (0 1 2) - (200 201 202)"),
              std::string::npos)
        << out;

    EXPECT_EQ(RunTool("extract " + (dir / "x.stuff") + " missing " + (dir / "o"), out), 1);
    EXPECT_EQ(out, "vornscr-tool: no file missing in " + (dir / "x.stuff") + "\n");
    EXPECT_EQ(RunTool("list " + (dir / "in/a.txt"), out), 1);
    EXPECT_EQ(out, "vornscr-tool: " + (dir / "in/a.txt") + ": truncated directory\n");
    EXPECT_EQ(RunTool("model " + (dir / "in/a.txt"), out), 1);
    EXPECT_EQ(RunTool("pack " + (dir / "y.stuff") + " " + (dir / "none"), out), 1);
    EXPECT_EQ(RunTool("list", out), 1);
}
#endif
