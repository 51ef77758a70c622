// The JPEG decoder over arbitrary bytes: a fresh decoder per input (tables would otherwise carry
// over from earlier inputs), errors with a text are the expected way out.
#include "keth/base/memorymanager.h"
#include "keth/ext/loader/jpeg/jpeg.h"
#include "keth/func/exception.h"

#include <cstddef>
#include <cstdint>

namespace
{
// Frames larger than this many pixels are skipped: allocating them is bounded (sizes are limited
// to 32 bits) but slow, and says nothing new about the parser.
const int64_t MAX_PIXELS = 1 << 22;

bool HasHugeFrame(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i + 8 < size; ++i)
        if (data[i] == 0xFF && (data[i + 1] & 0xF0) == 0xC0)
        {
            int64_t height = data[i + 5] << 8 | data[i + 6];
            int64_t width = data[i + 7] << 8 | data[i + 8];
            if (width * height > MAX_PIXELS)
                return true;
        }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (HasHugeFrame(data, size))
        return 0;
    NKeth::CJPEGFormat* format = NEW NKeth::CJPEGFormat;
    NKeth::CImage image;
    NKeth::CMemoryReader in(data, int32_t(size));
    try
    {
        if (format->Load(in, image) && image.m_Data)
        {
            // Touch every sample so that a sanitizer sees any write that missed the image.
            unsigned sum = 0;
            for (int32_t i = 0; i < image.m_Format.m_Size; ++i)
                sum += image.m_Data[i];
            volatile unsigned sink = sum;
            (void)sink;
        }
    }
    catch (const NKeth::CException&)
    {
    }
    delete format;
    return 0;
}
