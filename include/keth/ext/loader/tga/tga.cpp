#include "keth/ext/loader/tga/tga.h"
#include "keth/func/byteorder.h"
#include "keth/base/memorymanager.h"
#include "keth/ext/compr/deflate.h"
#include "keth/func/exception.h"

#include <cstring>

namespace NKeth
{
KETH_REGISTER_CLASS(CTGAFormat, "imageformat");
KETH_REGISTER_CLASS(CDDSFormat, "imageformat");

namespace
{
[[maybe_unused]] const bool s_MimeTypes =
    RegisterMimeType("tga", "image/targa") && RegisterMimeType("dds", "image/dds");

const char* const TEXT_TGA_BAD_FORMAT = "tgaloader: bad format";
const char* const TEXT_TGA_END = "tgaloader: unexpected end of file";
const char* const TEXT_TGA_BAD_SIZE = "tgaloader: bad image size";
const char* const TEXT_DDS_END = "ddsloader: unexpected end of file";
const char* const TEXT_DDS_BAD_SIZE = "ddsloader: bad image size";

const uint32_t FOURCC_DXT3 = 0x33545844;
const uint32_t FOURCC_DXT5 = 0x35545844;
const uint32_t DDS_MAGIC = 0x20534444; // "DDS "

// Reads exactly size bytes (or skips them for a null buffer), in pieces so that a stream's
// 32-bit sizes never overflow; throws text when the stream ends first.
void ReadFully(CInputStream& in, void* buffer, int64_t size, const char* text)
{
    unsigned char* out = static_cast<unsigned char*>(buffer);
    while (size > 0)
    {
        int32_t piece = size > 0x40000000 ? 0x40000000 : int32_t(size);
        int32_t got = in.Read(out, piece);
        if (got <= 0)
            throw CException(text);
        if (out)
            out += got;
        size -= got;
    }
}

void MirrorRows(CImage& image, int bytesPerPixel)
{
    const CImage::CFormat& f = image.m_Format;
    for (int y = 0; y < f.m_Height; ++y)
    {
        unsigned char* left = image.m_Data + int64_t(y) * f.m_Pitch;
        unsigned char* right = left + int64_t(f.m_Width - 1) * bytesPerPixel;
        for (; left < right; left += bytesPerPixel, right -= bytesPerPixel)
            for (int k = 0; k < bytesPerPixel; ++k)
            {
                unsigned char t = left[k];
                left[k] = right[k];
                right[k] = t;
            }
    }
}

// Packets may run across rows. A last packet that runs past the end of the image is cut
// there: real files end that way, and every other reader of them shows the image.
void DecodePackets(CInputStream& source, unsigned char* out, int32_t elements, int bytesPerPixel)
{
    while (elements > 0)
    {
        unsigned char header;
        if (source.Read(&header, 1) != 1)
            throw CException("RLEDecoder: Error, Unexpected end of data");
        int32_t run = (header & 0x7F) + 1;
        int32_t kept = run < elements ? run : elements;
        if (header & 0x80)
        {
            if (source.Read(out, bytesPerPixel) != bytesPerPixel)
                throw CException("RLEDecoder: Error, Unexpected end of data");
            for (int32_t i = 1; i < kept; ++i)
                memcpy(out + i * bytesPerPixel, out, size_t(bytesPerPixel));
        }
        else if (source.Read(out, kept * bytesPerPixel) != kept * bytesPerPixel)
            throw CException("RLEDecoder: Error, Unexpected end of data");
        out += kept * bytesPerPixel;
        elements -= kept;
    }
}

// Run-length data runs to the end of the stream; it is read in one piece when the stream
// knows its length, bounded by the most that an image of this size can need.
void DecodeRunLength(CInputStream& in, CImage& image, int bytesPerPixel)
{
    const int32_t size = image.m_Format.m_Size;
    const int32_t elements = size / bytesPerPixel;
    const int64_t most = int64_t(elements) * (bytesPerPixel + 1);
    const int32_t total = in.GetSize(), position = in.GetPosition();
    if (total >= 0 && position >= 0 && total >= position)
    {
        int32_t length = int32_t(total - position < most ? total - position : most);
        unsigned char* buffer = NEW unsigned char[length > 0 ? length : 1];
        int32_t got = in.Read(buffer, length);
        try
        {
            CMemoryReader memory(buffer, got > 0 ? got : 0);
            DecodePackets(memory, image.m_Data, elements, bytesPerPixel);
        }
        catch (...)
        {
            delete[] buffer;
            throw;
        }
        delete[] buffer;
    }
    else
    {
        CBlockReader blocks(&in, 32768);
        DecodePackets(blocks, image.m_Data, elements, bytesPerPixel);
    }
}

// Colour half of a DXT3/DXT5 block into 4 x 4 texels of B, G, R (alpha is left alone).
void DecodeColourBlock(const unsigned char* block, unsigned char texels[16][4])
{
    int c0 = ReadLE16(block), c1 = ReadLE16(block + 2);
    int p[4][3];
    p[0][0] = (c0 >> 11) << 3;
    p[0][1] = ((c0 >> 5) & 0x3F) << 2;
    p[0][2] = (c0 & 0x1F) << 3;
    p[1][0] = (c1 >> 11) << 3;
    p[1][1] = ((c1 >> 5) & 0x3F) << 2;
    p[1][2] = (c1 & 0x1F) << 3;
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

// ---------------------------------------------------------------------------------------------
// TGA

bool CTGAFormat::CanLoad(const CMimeType& type)
{
    return type == CMimeType("image/targa");
}

bool CTGAFormat::Load(CInputStream& in, CImage& image)
{
    if (!in.IsOpen())
        return false;
    unsigned char header[18];
    ReadFully(in, header, sizeof(header), TEXT_TGA_END);
    const int idLength = header[0];
    const int imageType = header[2];
    const int mapLength = ReadLE16(header + 5);
    const int mapEntryBits = header[7];
    const int width = ReadLE16(header + 12);
    const int height = ReadLE16(header + 14);
    const int bitsPerPixel = header[16];
    const int descriptor = header[17];

    ReadFully(in, nullptr, idLength, TEXT_TGA_END);
    ReadFully(in, nullptr, int64_t(mapLength) * ((mapEntryBits + 7) / 8), TEXT_TGA_END);

    CImage::CFormat format;
    format.SetType(CImage::CFormat::TYPE_CHANNELS);
    format.SetSize(width, height);
    format.SetChannelDepths(8, 8, 8, 8);
    if (imageType == 2 || imageType == 10)
    {
        if (bitsPerPixel == 24)
            format.SetChannels(CImage::CFormat::MODEL_RGB, 2, 1, 0, 255);
        else if (bitsPerPixel == 32)
            format.SetChannels(CImage::CFormat::MODEL_RGB, 2, 1, 0, 3);
        else
            throw CException(TEXT_TGA_BAD_FORMAT);
    }
    else if (imageType == 3 || imageType == 11)
    {
        if (bitsPerPixel == 8)
            format.SetChannels(CImage::CFormat::MODEL_LUMINANCE, 0, 255, 255, 255);
        else
            throw CException(TEXT_TGA_BAD_FORMAT);
    }
    else
    {
        image.Release();
        image.m_Format = format;
        throw CException(CString("tgaloader: image type %d is not supported", imageType).GetText());
    }
    if (width == 0 || height == 0)
        throw CException(TEXT_TGA_BAD_SIZE);
    if (!image.Create(format))
        throw CException(TEXT_TGA_BAD_SIZE);

    const int bytesPerPixel = bitsPerPixel / 8;
    const bool bottomUp = !(descriptor & 0x20);
    if (imageType == 2 || imageType == 3)
    {
        // Raw rows go straight to their place, top row first.
        const int32_t pitch = image.m_Format.m_Pitch;
        for (int y = 0; y < height; ++y)
            ReadFully(in, image.m_Data + int64_t(bottomUp ? height - 1 - y : y) * pitch, pitch, TEXT_TGA_END);
    }
    else
    {
        // Packets may run across rows, so the image is decoded whole and flipped afterwards.
        DecodeRunLength(in, image, bytesPerPixel);
        if (bottomUp)
            image.FlipVertical();
    }
    if (descriptor & 0x10)
        MirrorRows(image, bytesPerPixel);
    return true;
}

bool CTGAFormat::Save(COutputStream& out, const CImage& image)
{
    const int bitsPerPixel = image.m_Format.m_BitsPerPixel;
    int imageType;
    if (bitsPerPixel == 8)
        imageType = 3;
    else if (bitsPerPixel == 24 || bitsPerPixel == 32)
        imageType = 2;
    else
        return false;
    const int32_t size = image.m_Format.m_Size;
    if (size > 0 && !image.m_Data)
        return false;

    unsigned char header[18] = {};
    header[2] = uint8_t(imageType);
    WriteLE16(header + 12, image.m_Format.m_Width);
    WriteLE16(header + 14, image.m_Format.m_Height);
    header[16] = uint8_t(bitsPerPixel);
    header[17] = bitsPerPixel == 32 ? 0x28 : 0x20;
    if (out.Write(header, sizeof(header)) != int32_t(sizeof(header)))
        return false;
    if (size > 0 && out.Write(image.m_Data, size) != size)
        return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// DDS

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
