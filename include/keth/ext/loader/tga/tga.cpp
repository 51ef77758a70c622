#include "keth/ext/loader/tga/tga.h"
#include "keth/func/byteorder.h"
#include "keth/base/memorymanager.h"
#include "keth/ext/compr/deflate.h"
#include "keth/func/exception.h"

#include <cstring>

namespace NKeth
{
KETH_REGISTER_CLASS(CTGAFormat, "imageformat");

namespace
{
[[maybe_unused]] const bool s_MimeType = RegisterMimeType("tga", "image/targa");

const char* const TEXT_TGA_BAD_FORMAT = "tgaloader: bad format";
const char* const TEXT_TGA_END = "tgaloader: unexpected end of file";
const char* const TEXT_TGA_BAD_SIZE = "tgaloader: bad image size";

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
} // namespace NKeth
