// TGA decoding of arbitrary bytes, then the conversion and the writer on whatever decoded.
#include "keth/ext/loader/tga/tga.h"
#include "keth/func/exception.h"

#include <cstddef>
#include <cstdint>

namespace
{
class CNullWriter : public NKeth::COutputStream
{
public:
    bool IsOpen() override { return true; }
    int32_t Write(const void*, int32_t size) override { return size; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Huge declared sizes are refused or allocated honestly; keep the fuzzer's memory small.
    if (size >= 16 && int64_t(data[12] | data[13] << 8) * (data[14] | data[15] << 8) > (1 << 22))
        return 0;
    NKeth::CMemoryReader in(data, int32_t(size));
    NKeth::CTGAFormat tga;
    NKeth::CImage image;
    try
    {
        if (!tga.Load(in, image))
            return 0;
        NKeth::CImage rgba;
        image.Convert(NKeth::CImage::CFormat(NKeth::CImage::CFormat::PRESET_RGBA8, 0, 0), rgba);
        CNullWriter out;
        tga.Save(out, image);
    }
    catch (const NKeth::CException&)
    {
    }
    return 0;
}
