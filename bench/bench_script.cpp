// Script reading and effect tree building.
#include "container.h"
#include "demosystem.h"
#include "keth/func/stream.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace NKeth;

namespace
{
// A script in the shape of a real show: settings, palettes, textures, groups of cameras,
// rotations and objects with every kind of value, comments and nesting.
std::string MakeShowScript(int blocks)
{
    std::string text = "// generated show\nsettings {\n  fullscreen true\n  resolution 1024 768\n}\n";
    for (int i = 0; i < blocks; ++i)
    {
        std::string n = std::to_string(i);
        text += "group {\n"
                "  name \"scene" +
                n +
                "\"\n"
                "  starttime " +
                std::to_string(i * 10) +
                ".5\n"
                "  duration 12.25   // seconds\n"
                "  prio " +
                std::to_string(100 + i % 7) +
                "\n"
                "  camera {\n"
                "    name cam" +
                n +
                "\n"
                "    pos (0 1.5 -3)\n"
                "    target (0.25 0 0)\n"
                "    fov 45.0\n"
                "  }\n"
                "  rotate {\n"
                "    speed (0.1 0.2 0.3 1.0)\n"
                "    object {\n"
                "      models \"stuff|models/ship" +
                n +
                ".vmd\" \"stuff|models/rock.vmd\"\n"
                "      scale 2.5\n"
                "      color palette_red\n"
                "    }\n"
                "  }\n"
                "}\n";
    }
    return text;
}

void BM_ParseScriptFromMemory(benchmark::State& state)
{
    std::string text = MakeShowScript(int(state.range(0)));
    for (auto _ : state)
    {
        CContainer root;
        CMemoryReader reader(text.data(), int32_t(text.size()));
        root.Read(reader);
        benchmark::DoNotOptimize(root.m_Children.m_Data);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["script_bytes"] = double(text.size());
}
BENCHMARK(BM_ParseScriptFromMemory)->Arg(100)->Arg(3000)->Unit(benchmark::kMillisecond);

void BM_ParseScriptFromFile(benchmark::State& state)
{
    std::string text = MakeShowScript(int(state.range(0)));
    char path[] = "/tmp/vornscr-benchXXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size()))
    {
        state.SkipWithError("cannot write the script file");
        return;
    }
    close(fd);
    for (auto _ : state)
    {
        CContainer root;
        CFileReader reader(path);
        root.Read(reader);
        benchmark::DoNotOptimize(root.m_Children.m_Data);
    }
    remove(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ParseScriptFromFile)->Arg(3000)->Unit(benchmark::kMillisecond);

// Only the line parser, on one typical line of each kind.
void BM_ParseValuesLine(benchmark::State& state)
{
    const char* lines[] = {"  name \"scene12\"", "  pos (0 1.5 -3)", "  starttime 120.5",
                           "  models \"stuff|models/ship.vmd\" \"stuff|models/rock.vmd\"", "group {"};
    CVariant values[CContainer::MAX_LINE_VALUES];
    int64_t bytes = 0;
    for (auto _ : state)
        for (const char* line : lines)
        {
            int count = CContainer::MAX_LINE_VALUES;
            benchmark::DoNotOptimize(CContainer::ParseValues(line, values, &count));
            bytes += int64_t(strlen(line));
        }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ParseValuesLine);

// The tree of an effect block per group child: `groups` groups of `perGroup` groups each.
std::string MakeGroupTree(int groups, int perGroup)
{
    std::string text;
    for (int g = 0; g < groups; ++g)
    {
        text += "group {\n  name g" + std::to_string(g) + "\n";
        for (int c = 0; c < perGroup; ++c)
            text += "  group {\n    starttime " + std::to_string(c) + "\n  }\n";
        text += "}\n";
    }
    return text;
}

// Init of the demo system on a parsed script of 10,000 effects (100 groups of 99 groups, plus
// the root); the parse is outside the timing.
void BM_BuildEffectTree(benchmark::State& state)
{
    const int groups = int(state.range(0));
    const int perGroup = int(state.range(1));
    std::string text = MakeGroupTree(groups, perGroup);
    CContainer root;
    CMemoryReader reader(text.data(), int32_t(text.size()));
    root.Read(reader);
    int effects = 0;
    for (auto _ : state)
    {
        CDemoSystem system;
        system.Init(root);
        effects = system.m_Effects.GetCount();
        state.PauseTiming();
        for (int i = 0; i < effects; ++i)
            delete system.m_Effects[i];
        state.ResumeTiming();
    }
    state.counters["effects"] = effects;
    state.SetItemsProcessed(int64_t(state.iterations()) * effects);
}
BENCHMARK(BM_BuildEffectTree)->Args({100, 99})->Args({1, 9999})->Unit(benchmark::kMillisecond);

// One frame of the 10,000-effect tree: every group active, every child updated.
void BM_UpdateEffectTree(benchmark::State& state)
{
    std::string text = MakeGroupTree(100, 99);
    CContainer root;
    CMemoryReader reader(text.data(), int32_t(text.size()));
    root.Read(reader);
    CDemoSystem system;
    system.Init(root);
    float t = 50;
    for (auto _ : state)
    {
        system.UpdateAt(t);
        system.Render();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * system.m_Effects.GetCount());
    for (int i = 0; i < system.m_Effects.GetCount(); ++i)
        delete system.m_Effects[i];
}
BENCHMARK(BM_UpdateEffectTree)->Unit(benchmark::kMillisecond);
} // namespace
