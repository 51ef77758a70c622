// Whole PNG files through the decoder.
#include "keth/ext/loader/png/png.h"
#include "keth/func/exception.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The image is allocated as the header declares; keep declared sizes within what a run
    // can afford.
    if (size >= 24)
    {
        uint64_t width = (uint64_t(data[16]) << 24) | (data[17] << 16) | (data[18] << 8) | data[19];
        uint64_t height = (uint64_t(data[20]) << 24) | (data[21] << 16) | (data[22] << 8) | data[23];
        if (width * height > (uint64_t(1) << 24))
            return 0;
    }
    NKeth::CMemoryReader in(data, int32_t(size));
    NKeth::CImage image;
    NKeth::CPNGFormat format;
    try
    {
        format.Load(in, image);
    }
    catch (const NKeth::CException&)
    {
    }
    return 0;
}
