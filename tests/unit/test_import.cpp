// Model import and show building, run through the tool and read back by the program's loaders;
// the import library itself is the reference for what each model file holds.
#ifdef VORNSCR_IMPORT
#include "container.h"
#include "keth/func/stream.h"
#include "model.h"
#include "scripttest.h"
#include "tempdir.h"
#include "testsupport.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace fs = std::filesystem;

namespace
{
struct SModelSummary
{
    uint64_t m_Triangles = 0;
    float m_Low[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float m_High[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};

    template <class V> void Add(const V& v)
    {
        const float p[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k)
        {
            m_Low[k] = std::min(m_Low[k], p[k]);
            m_High[k] = std::max(m_High[k], p[k]);
        }
    }
};

// What the library itself finds: triangles with an area, the node hierarchy applied.
SModelSummary Reference(const std::string& path)
{
    Assimp::Importer importer;
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    importer.SetPropertyBool(AI_CONFIG_PP_FD_REMOVE, true);
    SModelSummary summary;
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_PreTransformVertices |
                                                       aiProcess_FindDegenerates | aiProcess_SortByPType);
    for (unsigned m = 0; scene && m < scene->mNumMeshes; ++m)
    {
        const aiMesh* mesh = scene->mMeshes[m];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f)
            summary.m_Triangles += mesh->mFaces[f].mNumIndices == 3;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v)
            summary.Add(mesh->mVertices[v]);
    }
    return summary;
}

SModelSummary Summarise(NKeth::TDynamicArray<CMesh*>& meshes)
{
    SModelSummary summary;
    for (int m = 0; m < meshes.GetCount(); ++m)
    {
        summary.m_Triangles += uint64_t(meshes[m]->m_Indices.GetCount() / 3);
        for (int i = 0; i < meshes[m]->m_Positions.GetCount(); ++i)
            summary.Add(meshes[m]->m_Positions[i]);
    }
    meshes.DeleteAll();
    return summary;
}

void ExpectSame(const SModelSummary& a, const SModelSummary& b, const std::string& what)
{
    EXPECT_EQ(a.m_Triangles, b.m_Triangles) << what;
    for (int k = 0; k < 3; ++k)
    {
        const float tolerance = 1e-5f * std::max(1.0f, std::fabs(a.m_High[k]) + std::fabs(a.m_Low[k]));
        EXPECT_NEAR(a.m_Low[k], b.m_Low[k], tolerance) << what << " axis " << k;
        EXPECT_NEAR(a.m_High[k], b.m_High[k], tolerance) << what << " axis " << k;
    }
}
} // namespace

TEST(Import, EveryTestModelMatchesTheLibraryOrIsRefusedWithOneLine)
{
    CTempDir dir;
    int imported = 0;
    std::vector<std::string> refused;
    for (const auto& entry : fs::recursive_directory_iterator(MODELS_DIR))
    {
        const std::string path = entry.path().string(), ext = entry.path().extension().string();
        if (!entry.is_regular_file() || ext.empty() ||
            std::string(".obj.stl.STL.ply.gltf.glb.").find(ext + ".") == std::string::npos)
            continue;
        const std::string out = dir / (entry.path().stem().string() + ".lwo");
        std::string output;
        const int status = RunTool("import --keep-origin '" + path + "' '" + out + "'", output);
        if (status != 0)
        {
            EXPECT_EQ(status, 1) << output;
            EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
            EXPECT_NE(output.find(path), std::string::npos) << output;
            EXPECT_FALSE(fs::exists(out)) << path;
            refused.push_back(entry.path().filename().string());
            continue;
        }
        // The object as the show's first start reads it, and its cache as later starts do.
        const SModelSummary reference = Reference(path);
        NKeth::TDynamicArray<CMesh*> meshes;
        EXPECT_TRUE(BuildModelFromLightWave(meshes, out.c_str())) << path;
        ExpectSame(reference, Summarise(meshes), path);
        EXPECT_TRUE(ReadModelCache(meshes, (out + ".bin").c_str())) << path;
        ExpectSame(reference, Summarise(meshes), path);
        ++imported;
    }
    EXPECT_GE(imported, 30);
    // The folder's files that are broken on purpose.
    for (const char* broken :
         {"box_UTF16BE.obj", "point_cloud.obj", "testline.obj", "testpoints.obj", "points.ply",
          "BoxTextured.gltf", "RecursiveNodes.gltf", "AllIndicesOutOfRange.gltf"})
        EXPECT_NE(std::find(refused.begin(), refused.end(), broken), refused.end()) << broken;
}

TEST(Import, BrokenFilesAreRefusedWithTheirReason)
{
    CTempDir dir;
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    const std::string gltf =
        R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],NODES,
"meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],"buffers":[{"uri":"URI","byteLength":42}],
"bufferViews":[{"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":6}],
"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},
{"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"}]})";
    auto glTF = [&](const std::string& nodes, const std::string& uri)
    {
        std::string text = gltf;
        text.replace(text.find("NODES"), 5, nodes);
        return text.replace(text.find("URI"), 3, uri);
    };
    const std::string buffer = "data:application/octet-stream;base64,"
                               "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAAAAABAAIA";
    struct SCase
    {
        const char* m_Name;
        std::string m_Text;
        const char* m_Reason; // part of the one line
    } cases[] = {
        {"index.obj", triangle + "f 1 2 9\n", "index"},
        {"index.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n", "out of range"},
        {"nan.obj", "v nan 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", ""},
        {"huge.obj", "v 1e20 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "beyond"},
        {"far.obj", "v 10000000 0 0\nv 10000001 0 0\nv 10000000 1 0\nf 1 2 3\n", "too far"},
        {"lines.obj", triangle + "l 1 2 3\n", "no triangles"},
        {"points.ply",
         "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
         "end_header\n0 0 0\n1 0 0\n0 1 0\n",
         "no triangles"},
        {"empty.stl", "", ""},
        {"noise.glb", std::string(3000, '\x9c'), ""},
        {"buffer.gltf", glTF(R"("nodes":[{"mesh":0}])", "nothere.bin"), "nothere.bin"},
        {"cycle.gltf", glTF(R"("nodes":[{"mesh":0,"children":[1]},{"children":[0]}])", buffer), "recursive"},
        {"missing.obj", "", "cannot open"},
    };
    for (const SCase& c : cases)
    {
        const std::string in = dir / c.m_Name, out = dir / "out.lwo";
        if (std::string(c.m_Name) != "missing.obj")
            WriteBytes(in, c.m_Text);
        std::string output;
        EXPECT_EQ(RunTool("import '" + in + "' '" + out + "'", output), 1) << c.m_Name;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        EXPECT_NE(output.find(in + ": "), std::string::npos) << output;
        EXPECT_NE(output.find(c.m_Reason), std::string::npos) << output;
        EXPECT_FALSE(fs::exists(out) || fs::exists(out + ".bin")) << c.m_Name;
    }
    // The same graph without its cycle imports.
    WriteBytes(dir / "fine.gltf", glTF(R"("nodes":[{"mesh":0,"children":[1]},{}])", buffer));
    std::string output;
    EXPECT_EQ(RunTool("import '" + dir / "fine.gltf" + "' '" + dir / "fine.lwo" + "'", output), 0) << output;
}

TEST(Import, PlacementAndMaterials)
{
    CTempDir dir;
    // A box from (0 0 0) to (2 4 6) in two materials.
    WriteBytes(dir / "box.mtl", "newmtl red paint\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n");
    WriteBytes(dir / "box.obj",
               "mtllib box.mtl\nv 0 0 0\nv 2 0 0\nv 2 4 0\nv 0 4 0\nv 0 0 6\nv 2 0 6\nv 2 4 6\n"
               "v 0 4 6\nusemtl red paint\nf 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nusemtl blue\n"
               "f 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n");
    const std::pair<std::string, SModelSummary> rows[] = {
        {"", {12, {-1, -2, -3}, {1, 2, 3}}},
        {"--keep-origin", {12, {0, 0, 0}, {2, 4, 6}}},
        {"--keep-origin --up z", {12, {0, 0, -4}, {2, 6, 0}}},
    };
    for (const auto& [options, expected] : rows)
    {
        std::string output;
        ASSERT_EQ(RunTool("import " + options + " " + dir / "box.obj " + dir / "box.lwo", output), 0)
            << output;
        NKeth::TDynamicArray<CMesh*> meshes;
        ASSERT_TRUE(BuildModelFromLightWave(meshes, (dir / "box.lwo").c_str()));
        ASSERT_EQ(meshes.GetCount(), 2);
        EXPECT_STREQ(meshes[0]->m_MaterialName.GetText(), "red_paint");
        EXPECT_STREQ(meshes[1]->m_MaterialName.GetText(), "blue");
        ExpectSame(expected, Summarise(meshes), options);
    }
    std::string output;
    EXPECT_EQ(RunTool("import " + dir / "box.obj " + dir / "box.obj", output), 2);
    EXPECT_EQ(RunTool("import --up x " + dir / "box.obj " + dir / "b.lwo", output), 2);
}

TEST(Show, BuildsReplacesAndKeepsTheUsersFiles)
{
    CTempDir dir;
    const std::string box = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n";
    WriteBytes(dir / "in/a/box.obj", box);
    WriteBytes(dir / "in/b/box.obj", box);
    WriteBytes(dir / "in/b/my model.v2.obj", box);
    WriteBytes(dir / "in/b/notes.txt", "not a model");
    WriteBytes(dir / "in/b/bad.stl", "solid x\nendsolid x\n");
    const std::string show = dir / "show";
    std::string output;

    EXPECT_EQ(RunTool("show " + dir / "no/show " + dir / "in", output), 1) << output;
    EXPECT_FALSE(fs::exists(dir / "no"));
    WriteBytes(show + "/mine.txt", "the user's");
    EXPECT_EQ(RunTool("show " + show + " " + dir / "in", output), 1) << output;
    EXPECT_FALSE(fs::exists(show + "/vornscr"));
    ASSERT_EQ(
        RunTool("show --force " + show + " " + dir / "in/a " + dir / "in/b " + dir / "in/a/box.obj", output),
        0)
        << output;
    EXPECT_NE(output.find("3 models imported, 1 skipped"), std::string::npos) << output;
    EXPECT_NE(output.find("bad.stl"), std::string::npos) << output;

    // The script, read by the program's own reader, names each model once, safely and uniquely.
    CContainer root;
    ReadScript(root, ReadBytes(show + "/vornscr/script.txt"));
    std::vector<std::string> names;
    for (int i = 0; i < root.m_Children.GetCount(); ++i)
    {
        CContainer* block = root.m_Children[i];
        NKeth::CString name, file;
        if (block->m_Values[0]->ToString() != "model")
            continue;
        block->GetString("name", &name, "");
        block->GetString("modelfile", &file, "");
        names.push_back(name.GetText());
        EXPECT_TRUE(fs::exists(show + "/data/" + file.GetText() + ".bin")) << file.GetText();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"box", "box_2", "my_model_v2"}));

    // Again over the same directory: only the new show is left beside the user's file.
    ASSERT_EQ(RunTool("show " + show + " " + dir / "in/a", output), 0) << output;
    EXPECT_TRUE(fs::exists(show + "/mine.txt") && fs::exists(show + "/data/box.lwo"));
    EXPECT_FALSE(fs::exists(show + "/data/box_2.lwo") || fs::exists(show + "/data/my_model_v2.lwo.bin"));
    // A run that imports nothing leaves the show as it was.
    EXPECT_EQ(RunTool("show " + show + " " + dir / "in/b/bad.stl", output), 1) << output;
    EXPECT_TRUE(fs::exists(show + "/data/box.lwo") && fs::exists(show + "/vornscr/script.txt"));
}
#endif
