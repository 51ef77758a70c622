// Run-length packets with element sizes and request sizes that the input chooses.
#include "keth/ext/compr/deflate.h"
#include "keth/func/exception.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    int elementSize = 1 + (data[0] & 7);
    int32_t request = 1 + data[1] * 4;
    bool skip = data[2] & 1;
    NKeth::CMemoryReader source(data + 3, int32_t(size - 3));
    NKeth::CRLEDecoder rle(&source, elementSize);
    std::vector<unsigned char> out(static_cast<size_t>(request));
    try
    {
        for (int i = 0; i < 100000 && !rle.IsEOF(); ++i)
            if (rle.Read(skip ? nullptr : out.data(), request) <= 0)
                break;
    }
    catch (const NKeth::CException&)
    {
    }
    return 0;
}
