// The model cache reader on arbitrary bytes; whatever it accepts is written back unchanged.
#include "model.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1 << 20))
        return 0;
    static const std::string path = "/tmp/fuzz_modelcache_" + std::to_string(getpid()) + ".bin";
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    fwrite(data, 1, size, file);
    fclose(file);
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
