// The LightWave loader and the mesh builder on arbitrary bytes; the FORM length is patched to
// fit so that the chunk walk is reached.
#include "keth/ext/loader/lwo/lwo.h"
#include "fuzzsupport.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    if (size >= 12 && bytes[0] == 'F' && size % 7 != 0)
    {
        const uint32_t length = uint32_t(size - 8);
        bytes[4] = uint8_t(length >> 24);
        bytes[5] = uint8_t(length >> 16);
        bytes[6] = uint8_t(length >> 8);
        bytes[7] = uint8_t(length);
    }
    NKeth::NLWO::CLWO_Object object;
    object.Parse(bytes.data(), int32_t(bytes.size()));
    object.Build();
    NKeth::TDynamicArray<CMesh*> meshes;
    BuildModelFromObject(meshes, object, (size & 1) != 0);
    CheckIndices(meshes);
    meshes.DeleteAll();
    return 0;
}
