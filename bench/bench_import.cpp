// Model import: a collection of 200 models and single models of 10^5 and 10^6 triangles, each
// through the whole import (library, checks, LightWave object, cache built by the program's own
// builder, in a limited child process) against the import library's own reading of the same
// files in the same run. Memory is the largest resident size of any import's child process.
#ifdef VORNSCR_IMPORT
#include "import.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
const int COLLECTION = 200;

// A wavy sheet of about the given number of triangles, as binary STL.
std::string Sheet(int triangles, float phase)
{
    int side = 1;
    while (2 * side * side < triangles)
        ++side;
    std::string out(80, '\0');
    const uint32_t count = uint32_t(2 * side * side);
    out.append(reinterpret_cast<const char*>(&count), 4);
    auto corner = [&](int x, int y, std::string& to)
    {
        const float p[3] = {float(x), float(y),
                            std::sin(float(x) * 0.1f + phase) * std::cos(float(y) * 0.1f) * 4};
        to.append(reinterpret_cast<const char*>(p), 12);
    };
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            for (int half = 0; half < 2; ++half)
            {
                out.append(12, '\0');
                corner(x, y, out);
                corner(x + 1, half ? y + 1 : y, out);
                corner(half ? x : x + 1, y + 1, out);
                out.append(2, '\0');
            }
    return out;
}

struct SFiles
{
    fs::path m_Dir;
    std::vector<std::string> m_Collection;
    std::string m_Large[2];

    SFiles()
    {
        m_Dir = fs::temp_directory_path() / ("vornscr_bench_import_" + std::to_string(getpid()));
        fs::create_directories(m_Dir);
        auto write = [&](const std::string& name, const std::string& bytes)
        {
            std::ofstream((m_Dir / name).string(), std::ios::binary) << bytes;
            return (m_Dir / name).string();
        };
        for (int i = 0; i < COLLECTION; ++i)
            m_Collection.push_back(write("model" + std::to_string(i) + ".stl", Sheet(2000, float(i))));
        m_Large[0] = write("large5.stl", Sheet(100000, 0));
        m_Large[1] = write("large6.stl", Sheet(1000000, 0));
    }
    ~SFiles()
    {
        std::error_code ignored;
        fs::remove_all(m_Dir, ignored);
    }
};

SFiles& Files()
{
    static SFiles files;
    return files;
}

// Processor time of this process and of its finished children, seconds.
double ProcessorTime()
{
    double seconds = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN})
    {
        rusage usage;
        getrusage(who, &usage);
        seconds += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    }
    return seconds;
}

double PeakChildMiB()
{
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Rates by wall time, and processor seconds per model, which a busy machine disturbs less.
void Count(benchmark::State& state, int64_t models, int64_t triangles, double processor)
{
    state.counters["models/s"] = benchmark::Counter(double(models), benchmark::Counter::kIsRate);
    state.counters["triangles/s"] = benchmark::Counter(double(triangles), benchmark::Counter::kIsRate);
    state.counters["cpu_s/model"] = processor / double(models ? models : 1);
    state.counters["peak_child_MiB"] = PeakChildMiB();
}

int64_t Ours(const std::string& in, benchmark::State& state)
{
    const NImport::SResult result = NImport::ImportModel(in, (Files().m_Dir / "out.lwo").string(), {});
    if (!result.m_Error.empty())
        state.SkipWithError(result.m_Error.c_str());
    return int64_t(result.m_Triangles);
}

int64_t Reference(const std::string& in, benchmark::State& state)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(in, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                                     aiProcess_PreTransformVertices |
                                                     aiProcess_FindDegenerates | aiProcess_SortByPType);
    int64_t triangles = 0;
    for (unsigned m = 0; scene && m < scene->mNumMeshes; ++m)
        triangles += scene->mMeshes[m]->mNumFaces;
    if (!scene)
        state.SkipWithError("the library did not read the file");
    return triangles;
}

template <int64_t (*Import)(const std::string&, benchmark::State&)> void Collection(benchmark::State& state)
{
    int64_t models = 0, triangles = 0;
    const double start = ProcessorTime();
    for (auto _ : state)
        for (const std::string& file : Files().m_Collection)
        {
            triangles += Import(file, state);
            ++models;
        }
    Count(state, models, triangles, ProcessorTime() - start);
}

template <int64_t (*Import)(const std::string&, benchmark::State&)> void Large(benchmark::State& state)
{
    int64_t models = 0, triangles = 0;
    const double start = ProcessorTime();
    for (auto _ : state)
    {
        triangles += Import(Files().m_Large[state.range(0)], state);
        ++models;
    }
    Count(state, models, triangles, ProcessorTime() - start);
}
} // namespace

BENCHMARK(Collection<Ours>)->Name("Import/Collection200")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Collection<Reference>)
    ->Name("Import/Collection200/library")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Large<Ours>)
    ->Name("Import/Triangles")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Large<Reference>)
    ->Name("Import/Triangles/library")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif
