#include "keth/ext/loader/dds/dds.h"
#include "keth/func/byteorder.h"
#include "keth/func/exception.h"

#include <cstring>

namespace NKeth
{
KETH_REGISTER_CLASS(CDDSFormat, "imageformat");

namespace
{
[[maybe_unused]] const bool s_MimeType = RegisterMimeType("dds", "image/dds");

const char* const TEXT_DDS_END = "ddsloader: unexpected end of file";
const char* const TEXT_DDS_BAD_SIZE = "ddsloader: bad image size";

const uint32_t FOURCC_DXT3 = 0x33545844;
const uint32_t FOURCC_DXT5 = 0x35545844;
const uint32_t DDS_MAGIC = 0x20534444; // "DDS "

// Colour half of a DXT3/DXT5 block into 4 x 4 texels of B, G, R (alpha is left alone).
void DecodeColourBlock(const unsigned char* block, unsigned char texels[16][4])
{
    int p[4][3];
    ReadBlockEndColours(block, p);
    for (int k = 0; k < 3; ++k)
    {
        p[2][k] = (2 * p[0][k] + p[1][k] + 1) / 3;
        p[3][k] = (p[0][k] + 2 * p[1][k] + 1) / 3;
    }
    uint32_t indexes = ReadLE32(block + 4);
    for (int i = 0; i < 16; ++i, indexes >>= 2)
    {
        const int* c = p[indexes & 3];
        texels[i][0] = uint8_t(c[2]);
        texels[i][1] = uint8_t(c[1]);
        texels[i][2] = uint8_t(c[0]);
    }
}

void DecodeAlphaDXT3(const unsigned char* block, unsigned char texels[16][4])
{
    for (int row = 0; row < 4; ++row)
    {
        unsigned bits = ReadLE16(block + 2 * row);
        for (int x = 0; x < 4; ++x, bits >>= 4)
            texels[4 * row + x][3] = uint8_t((bits & 0xF) * 17);
    }
}

void DecodeAlphaDXT5(const unsigned char* block, unsigned char texels[16][4])
{
    int a[8];
    a[0] = block[0];
    a[1] = block[1];
    if (a[0] > a[1])
        for (int i = 2; i < 8; ++i)
            a[i] = ((8 - i) * a[0] + (i - 1) * a[1]) / 7;
    else
    {
        for (int i = 2; i < 6; ++i)
            a[i] = ((6 - i) * a[0] + (i - 1) * a[1]) / 5;
        a[6] = 0;
        a[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i)
        bits |= uint64_t(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i, bits >>= 3)
        texels[i][3] = uint8_t(a[bits & 7]);
}
} // namespace

bool CDDSFormat::CanLoad(const CMimeType& type)
{
    return type == CMimeType("image/dds");
}

bool CDDSFormat::Load(CInputStream& in, CImage& image)
{
    if (!in.IsOpen())
        return false;
    unsigned char header[128];
    ReadFully(in, header, sizeof(header), TEXT_DDS_END);
    if (ReadLE32(header) != DDS_MAGIC)
        throw CException("ddsloader: not a DDS file");
    const unsigned char* fields = header + 4;
    const uint32_t height = ReadLE32(fields + 8);
    const uint32_t width = ReadLE32(fields + 12);
    const uint32_t fourCC = ReadLE32(fields + 80);

    CImage::CFormat::EPreset preset;
    if (fourCC == FOURCC_DXT3)
        preset = CImage::CFormat::PRESET_DXT3;
    else if (fourCC == FOURCC_DXT5)
        preset = CImage::CFormat::PRESET_DXT5;
    else
        throw CException("ddsloader: only DXT3 and DXT5 images are supported");
    if (width == 0 || height == 0 || width > 0xFFFE || height > 0xFFFE)
        throw CException(TEXT_DDS_BAD_SIZE);

    CImage::CFormat format(preset, int(width), int(height));
    if (!image.Create(format))
        throw CException(TEXT_DDS_BAD_SIZE);
    // The top level is exactly m_Size bytes whatever the header's linear size says: a larger one
    // would run into the next level, a smaller or missing one would leave blocks undecoded.
    ReadFully(in, image.m_Data, image.m_Format.m_Size, TEXT_DDS_END);
    return true;
}

bool CDDSFormat::Decompress(const CImage& source, CImage& destination)
{
    const CImage::CFormat& sf = source.m_Format;
    if (sf.m_Type != CImage::CFormat::TYPE_COMPRESSED ||
        (sf.m_ChannelCount != CImage::CFormat::KIND_DXT3 && sf.m_ChannelCount != CImage::CFormat::KIND_DXT5))
        return false;
    const int width = sf.m_Width, height = sf.m_Height;
    if (!destination.Create(CImage::CFormat(CImage::CFormat::PRESET_RGBA8, width, height)))
        return false;
    if (!source.m_Data || !destination.m_Data)
        return true;

    const int blocksX = (width + 3) / 4, blocksY = (height + 3) / 4;
    const int64_t available = sf.m_Size / 16;
    const bool dxt5 = sf.m_ChannelCount == CImage::CFormat::KIND_DXT5;
    const int32_t pitch = destination.m_Format.m_Pitch;
    unsigned char texels[16][4];
    const unsigned char* block = source.m_Data;
    for (int by = 0; by < blocksY; ++by)
        for (int bx = 0; bx < blocksX; ++bx, block += 16)
        {
            if (int64_t(by) * blocksX + bx >= available)
                return true;
            if (dxt5)
                DecodeAlphaDXT5(block, texels);
            else
                DecodeAlphaDXT3(block, texels);
            DecodeColourBlock(block + 8, texels);
            const int rows = height - by * 4 < 4 ? height - by * 4 : 4;
            const int cols = width - bx * 4 < 4 ? width - bx * 4 : 4;
            for (int y = 0; y < rows; ++y)
                std::memcpy(destination.m_Data + (int64_t(by) * 4 + y) * pitch + int64_t(bx) * 16,
                            texels[4 * y], size_t(cols) * 4);
        }
    return true;
}
} // namespace NKeth
