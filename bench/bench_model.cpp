// Building LightWave objects: the welding scan with growth by one against the hashed welding
// with reserved arrays, and loading against the reference importer.
#include "keth/ext/loader/lwo/lwo.h"
#include "model.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#if __has_include(<assimp/Importer.hpp>)
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#define HAVE_REFERENCE_IMPORTER 1
#endif

namespace
{
void PutBE32(std::string& out, uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        out += char(v >> (8 * i));
}
void PutBE16(std::string& out, uint32_t v)
{
    out += char(v >> 8);
    out += char(v);
}
void PutFloat(std::string& out, float f)
{
    uint32_t v;
    memcpy(&v, &f, 4);
    PutBE32(out, v);
}
void PutVX(std::string& out, uint32_t index)
{
    if (index < 0xFF00)
        PutBE16(out, index);
    else
        PutBE32(out, 0xFF000000u | index);
}
std::string Chunk(const char* id, const std::string& data)
{
    std::string out(id, 4);
    PutBE32(out, uint32_t(data.size()));
    return out + data + (data.size() % 2 ? std::string(1, '\0') : std::string());
}

// A wavy grid of at least the given number of triangles with one surface and a UV map.
std::string GridObject(int triangles)
{
    int side = 1;
    while (2 * side * side < triangles)
        ++side;
    std::string pnts, pols = "FACE", txuv = "TXUV";
    PutBE16(txuv, 2);
    txuv += std::string("uv\0\0", 4);
    for (int y = 0; y <= side; ++y)
        for (int x = 0; x <= side; ++x)
        {
            PutFloat(pnts, float(x));
            PutFloat(pnts, float((x * 7 + y * 3) % 5) * 0.1f);
            PutFloat(pnts, float(y));
            PutVX(txuv, uint32_t(y * (side + 1) + x));
            PutFloat(txuv, float(x) / float(side));
            PutFloat(txuv, float(y) / float(side));
        }
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
        {
            const uint32_t a = uint32_t(y * (side + 1) + x), b = a + 1, c = a + uint32_t(side + 1), d = c + 1;
            const uint32_t corners[6] = {a, b, c, b, d, c};
            for (int t = 0; t < 2; ++t)
            {
                PutBE16(pols, 3);
                for (int k = 0; k < 3; ++k)
                    PutVX(pols, corners[t * 3 + k]);
            }
        }
    std::string body = Chunk("TAGS", std::string("ground\0\0", 8)) +
                       Chunk("SURF", std::string("ground\0\0\0\0", 10)) + Chunk("PNTS", pnts) +
                       Chunk("POLS", pols) + Chunk("VMAP", txuv);
    std::string out = "FORM";
    PutBE32(out, uint32_t(body.size() + 4));
    return out + "LWO2" + body;
}

const std::string& Object(int triangles)
{
    static std::string cached[8];
    static int sizes[8] = {};
    for (int i = 0; i < 8; ++i)
    {
        if (sizes[i] == triangles)
            return cached[i];
        if (sizes[i] == 0)
        {
            sizes[i] = triangles;
            cached[i] = GridObject(triangles);
            return cached[i];
        }
    }
    return cached[0];
}

void Build(benchmark::State& state, bool linear)
{
    const std::string& bytes = Object(int(state.range(0)));
    size_t vertices = 0;
    for (auto _ : state)
    {
        NKeth::NLWO::CLWO_Object object;
        object.Parse(bytes.data(), int32_t(bytes.size()));
        object.Build();
        NKeth::TDynamicArray<CMesh*> meshes;
        BuildModelFromObject(meshes, object, linear);
        vertices = size_t(meshes[0]->m_Positions.GetCount());
        meshes.DeleteAll();
    }
    state.counters["vertices"] = double(vertices);
}

void BM_BuildLightWave_LinearScan(benchmark::State& state)
{
    Build(state, true);
}
void BM_BuildLightWave_Hashed(benchmark::State& state)
{
    Build(state, false);
}
BENCHMARK(BM_BuildLightWave_LinearScan)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLightWave_Hashed)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

#ifdef HAVE_REFERENCE_IMPORTER
// The reference importer from the same bytes, welding identical vertices as the builder does.
void BM_LoadLightWave_Reference(benchmark::State& state)
{
    const std::string& bytes = Object(int(state.range(0)));
    size_t vertices = 0;
    for (auto _ : state)
    {
        Assimp::Importer importer;
        const aiScene* scene =
            importer.ReadFileFromMemory(bytes.data(), bytes.size(), aiProcess_JoinIdenticalVertices, "lwo");
        vertices = scene && scene->mNumMeshes ? scene->mMeshes[0]->mNumVertices : 0;
    }
    state.counters["vertices"] = double(vertices);
}
BENCHMARK(BM_LoadLightWave_Reference)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
#endif
} // namespace
