// The archive model file reader on arbitrary bytes.
#include "effect_vornmodel.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1 << 20))
        return 0;
    CMemoryBlock block{int32_t(size)};
    if (size > 0)
        memcpy(block.m_Data, data, size);
    NKeth::TDynamicArray<CMesh*> meshes;
    CEffect_VornModel::ReadModelFile(meshes, &block);
    for (int m = 0; m < meshes.GetCount(); ++m)
        for (int i = 0; i < meshes[m]->m_Indices.GetCount(); ++i)
            if (meshes[m]->m_Indices[i] >= uint32_t(meshes[m]->m_Positions.GetCount()))
                __builtin_trap();
    meshes.DeleteAll();
    return 0;
}
