// The model cache reader on arbitrary bytes; whatever it accepts is written back unchanged.
#include "fuzzsupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteInputFile("modelcache", data, size);
    if (path.empty())
        return 0;
    NKeth::TDynamicArray<CMesh*> meshes;
    if (ReadModelCache(meshes, path.c_str()))
    {
        WriteModelCache(meshes, path.c_str());
        FILE* back = fopen(path.c_str(), "rb");
        std::string bytes(size + 1, '\0');
        const size_t got = back ? fread(&bytes[0], 1, bytes.size(), back) : 0;
        if (back)
            fclose(back);
        if (got != size || bytes.compare(0, size, reinterpret_cast<const char*>(data), size) != 0)
            __builtin_trap();
    }
    meshes.DeleteAll();
    remove(path.c_str());
    return 0;
}
