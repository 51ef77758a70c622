// The archive model file reader on arbitrary bytes.
#include "effect_vornmodel.h"
#include "fuzzsupport.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMemoryBlock block{int32_t(size)};
    if (size > 0)
        memcpy(block.m_Data, data, size);
    NKeth::TDynamicArray<CMesh*> meshes;
    CEffect_VornModel::ReadModelFile(meshes, &block);
    CheckIndices(meshes);
    meshes.DeleteAll();
    return 0;
}
