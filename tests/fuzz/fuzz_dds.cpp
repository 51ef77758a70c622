// DDS decoding and block decompression of arbitrary bytes; the same bytes also feed the DXT1
// decoding inside the image conversion.
#include "keth/ext/loader/dds/dds.h"
#include "keth/func/exception.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using NKeth::CImage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 20)
    {
        uint32_t height, width;
        memcpy(&height, data + 12, 4);
        memcpy(&width, data + 16, 4);
        if (uint64_t(width) * height > (1u << 22))
            return 0;
    }
    NKeth::CMemoryReader in(data, int32_t(size));
    NKeth::CDDSFormat dds;
    CImage image, pixels;
    try
    {
        if (dds.Load(in, image))
            NKeth::CDDSFormat::Decompress(image, pixels);
    }
    catch (const NKeth::CException&)
    {
    }

    if (size >= 2)
    {
        CImage dxt1, rgb;
        const int width = 1 + data[0] % 64, height = 1 + data[1] % 64;
        if (dxt1.Create(CImage::CFormat(CImage::CFormat::PRESET_DXT1, width, height)))
        {
            size_t n = size - 2 < size_t(dxt1.m_Format.m_Size) ? size - 2 : size_t(dxt1.m_Format.m_Size);
            memcpy(dxt1.m_Data, data + 2, n);
            dxt1.Convert(CImage::CFormat(CImage::CFormat::PRESET_RGB8, 0, 0), rgb);
        }
    }
    return 0;
}
