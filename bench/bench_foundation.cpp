#include "keth/func/dynamicarray.h"
#include "keth/func/string.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace NKeth;

static void BM_CStringFormat(benchmark::State& state)
{
    for (auto _ : state)
    {
        CString s("%s(%d) %f", "model.lwo", 42, 3.25);
        benchmark::DoNotOptimize(s.GetText());
    }
}
BENCHMARK(BM_CStringFormat);

// Reference: the same text through snprintf into a std::string.
static void BM_StdStringFormat(benchmark::State& state)
{
    for (auto _ : state)
    {
        char buffer[64];
        int n = snprintf(buffer, sizeof buffer, "%s(%d) %f", "model.lwo", 42, 3.25);
        std::string s(buffer, size_t(n));
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_StdStringFormat);

static void BM_ArrayAddGrowByOne(benchmark::State& state)
{
    for (auto _ : state)
    {
        TDynamicArray<int> array;
        for (int i = 0; i < state.range(0); ++i)
            array.Add(i);
        benchmark::DoNotOptimize(array.m_Data);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ArrayAddGrowByOne)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

static void BM_ArrayAddReserved(benchmark::State& state)
{
    for (auto _ : state)
    {
        TDynamicArray<int> array;
        array.SetCapacity(int(state.range(0)));
        for (int i = 0; i < state.range(0); ++i)
            array.Add(i);
        benchmark::DoNotOptimize(array.m_Data);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ArrayAddReserved)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

static void BM_StdVectorPushBack(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::vector<int> array;
        for (int i = 0; i < state.range(0); ++i)
            array.push_back(i);
        benchmark::DoNotOptimize(array.data());
    }
}
BENCHMARK(BM_StdVectorPushBack)->RangeMultiplier(10)->Range(1000, 100000);
