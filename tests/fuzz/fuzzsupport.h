#pragma once
// What several fuzz targets share.
#include "model.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

// The input in a file of this process's own, for readers that take a path; "" when it cannot be
// written.
inline std::string WriteInputFile(const char* name, const uint8_t* data, size_t size)
{
    const std::string path = "/tmp/fuzz_" + std::string(name) + "_" + std::to_string(getpid());
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return "";
    fwrite(data, 1, size, file);
    fclose(file);
    return path;
}

// Every index of a built mesh names one of its vertices.
inline void CheckIndices(const NKeth::TDynamicArray<CMesh*>& meshes)
{
    for (int m = 0; m < meshes.GetCount(); ++m)
        for (int i = 0; i < meshes[m]->m_Indices.GetCount(); ++i)
            if (meshes[m]->m_Indices[i] >= uint32_t(meshes[m]->m_Positions.GetCount()))
                __builtin_trap();
}
