// Raw DEFLATE and zlib streams, read in request sizes that the input chooses, with and without
// an output buffer.
#include "keth/ext/compr/deflate.h"
#include "keth/func/exception.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    uint8_t mode = data[0];
    int32_t step = 1 + (data[1] & 0x3F) * ((mode & 0x80) ? 257 : 1);
    NKeth::CMemoryReader source(data + 2, int32_t(size - 2));
    std::vector<unsigned char> out(static_cast<size_t>(step));
    // Output is bounded so that a small input that expands hugely cannot stall the run.
    const int64_t limit = 8 << 20;
    int64_t produced = 0;
    try
    {
        NKeth::CInputStream* stream;
        NKeth::CZReader zlib(&source);
        NKeth::CDeflateReader raw(&source, 32768);
        stream = (mode & 1) ? static_cast<NKeth::CInputStream*>(&zlib) : &raw;
        while (produced < limit)
        {
            int32_t got = stream->Read((mode & 2) ? nullptr : out.data(), step);
            if (got <= 0)
                break;
            produced += got;
        }
    }
    catch (const NKeth::CException&)
    {
    }
    return 0;
}
