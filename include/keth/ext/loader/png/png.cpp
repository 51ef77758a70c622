#include "keth/ext/loader/png/png.h"
#include "keth/func/byteorder.h"
#include "keth/ext/compr/deflate.h"
#include "keth/func/classregistry.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/exception.h"
#include "keth/func/mime.h"

#include <cstring>

namespace NKeth
{
KETH_REGISTER_CLASS(CPNGFormat, "imageformat");

namespace
{
const bool s_MimeType = RegisterMimeType("png", "image/png");

const char* const TEXT_COLOR_TYPE = "Unable to load. Can't handle this colortype and bitdepth";
const char* const TEXT_IDAT_BEFORE_IHDR = "Unable to load. IDAT chunk before IHDR chunk";
const char* const TEXT_COMPRESSION = "Unable to load. Unknown compression method";
const char* const TEXT_FILTER_METHOD = "Unable to load. Unknown filter method";
const char* const TEXT_CRITICAL = "Unable to load. Found a critical chunk that I don't understand.";
const char* const TEXT_IDAT_CHUNKS = "Invalid PNG file. IDAT chunks must";
const char* const TEXT_INTERLACED = "Unable to load. Can't handle interlaced images";
const char* const TEXT_SIZE = "Unable to load. Can't handle this image size";
const char* const TEXT_HEADER = "Unable to load. Invalid IHDR chunk";
const char* const TEXT_CHUNK_LENGTH = "Invalid PNG file. Chunk length out of range";
const char* const TEXT_CRC = "Invalid PNG file. CRC check failed";
const char* const TEXT_FILTER_TYPE = "Unable to load. Unknown filter type";
const char* const TEXT_SHORT_DATA = "Unable to load. Not enough image data";

// Image data that goes on after the rows is decoded up to this much to reach the checksum.
const int32_t MAX_EXTRA_DATA = 1 << 20;

struct SCrcTables
{
    uint32_t m_Table[4][256];
    SCrcTables()
    {
        for (uint32_t n = 0; n < 256; ++n)
        {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            m_Table[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n)
            for (int t = 1; t < 4; ++t)
                m_Table[t][n] = m_Table[0][m_Table[t - 1][n] & 0xFF] ^ (m_Table[t - 1][n] >> 8);
    }
};

const SCrcTables& CrcTables()
{
    static const SCrcTables tables;
    return tables;
}

// Reads the 4-byte CRC that follows a chunk; false when the file ends first.
bool CheckCrc(CInputStream& in, uint32_t crc)
{
    unsigned char stored[4];
    if (in.Read(stored, 4) != 4)
        return false;
    if (ReadBE32(stored) != crc)
        throw CException(TEXT_CRC);
    return true;
}

// Reads and drops length bytes, adding them to the CRC; false when the file ends first.
bool SkipData(CInputStream& in, uint32_t length, uint32_t& crc)
{
    unsigned char buffer[4096];
    while (length > 0)
    {
        int32_t n = length < sizeof buffer ? int32_t(length) : int32_t(sizeof buffer);
        if (in.Read(buffer, n) != n)
            return false;
        crc = PNGCrc32(crc, buffer, n);
        length -= uint32_t(n);
    }
    return true;
}

void Unfilter(int type, unsigned char* row, const unsigned char* up, int32_t size, int32_t bpp)
{
    switch (type)
    {
        case 0:
            break;
        case 1:
            for (int32_t x = bpp; x < size; ++x)
                row[x] = (unsigned char)(row[x] + row[x - bpp]);
            break;
        case 2:
            for (int32_t x = 0; x < size; ++x)
                row[x] = (unsigned char)(row[x] + up[x]);
            break;
        case 3:
            for (int32_t x = 0; x < bpp; ++x)
                row[x] = (unsigned char)(row[x] + (up[x] >> 1));
            for (int32_t x = bpp; x < size; ++x)
                row[x] = (unsigned char)(row[x] + ((row[x - bpp] + up[x]) >> 1));
            break;
        case 4:
            // With left and upper-left 0 the predictor is the byte above.
            for (int32_t x = 0; x < bpp; ++x)
                row[x] = (unsigned char)(row[x] + up[x]);
            for (int32_t x = bpp; x < size; ++x)
            {
                int a = row[x - bpp], b = up[x], c = up[x - bpp];
                int pa = b - c, pb = a - c;
                int pc = pa + pb;
                pa = pa < 0 ? -pa : pa;
                pb = pb < 0 ? -pb : pb;
                pc = pc < 0 ? -pc : pc;
                int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                row[x] = (unsigned char)(row[x] + predictor);
            }
            break;
        default:
            throw CException(TEXT_FILTER_TYPE);
    }
}

// Inflates the rows straight into the image and undoes their filters in place.
void DecodeImageData(CZReader& z, CImage& image, int32_t bpp)
{
    int32_t width = image.m_Format.m_Width, height = image.m_Format.m_Height;
    int32_t rowSize = bpp * width;
    int32_t pitch = image.m_Format.m_Pitch;
    TDynamicArray<unsigned char> zeroRow;
    if (!zeroRow.SetCount(rowSize))
        throw CException(TEXT_SIZE);
    memset(zeroRow.GetData(), 0, size_t(rowSize));
    for (int32_t y = 0; y < height; ++y)
    {
        unsigned char* row = image.m_Data + size_t(y) * size_t(pitch);
        unsigned char filter;
        if (z.Read(&filter, 1) != 1 || z.Read(row, rowSize) != rowSize)
            throw CException(TEXT_SHORT_DATA);
        Unfilter(filter, row, y ? row - pitch : zeroRow.GetData(), rowSize, bpp);
    }
    // Reads on to the end of the stream, so that its checksum is verified.
    for (int32_t extra = 0; extra < MAX_EXTRA_DATA; extra += 65536)
        if (z.Read(nullptr, 65536) < 65536)
            break;
}
} // namespace

uint32_t PNGCrc32(uint32_t crc, const unsigned char* data, int32_t size)
{
    const SCrcTables& t = CrcTables();
    crc = ~crc;
    while (size >= 4)
    {
        crc ^= ReadLE32(data);
        crc = t.m_Table[3][crc & 0xFF] ^ t.m_Table[2][(crc >> 8) & 0xFF] ^ t.m_Table[1][(crc >> 16) & 0xFF] ^
              t.m_Table[0][crc >> 24];
        data += 4;
        size -= 4;
    }
    while (size-- > 0)
        crc = t.m_Table[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

CPNGIDATReader::CPNGIDATReader(CInputStream* source, int firstChunkLength)
    : CInputStream(g_EmptyMimeType), m_Source(source), m_SkipCRC(true),
      m_ChunkLeft(firstChunkLength < 0 ? 0 : firstChunkLength),
      m_Crc(PNGCrc32(0, (const unsigned char*)"IDAT", 4))
{
}

bool CPNGIDATReader::IsOpen()
{
    return m_Source && m_Source->IsOpen();
}

bool CPNGIDATReader::IsEOF()
{
    return !m_Source || (m_ChunkLeft == 0 && m_Source->IsEOF());
}

int32_t CPNGIDATReader::ReadData(unsigned char* buffer, int32_t size)
{
    if (buffer)
    {
        int32_t got = m_Source->Read(buffer, size);
        if (got > 0)
            m_Crc = PNGCrc32(m_Crc, buffer, got);
        return got > 0 ? got : 0;
    }
    // Bytes the source holds are checked in place.
    const unsigned char* held;
    int32_t n = m_Source->Peek(&held);
    if (n >= size)
    {
        m_Crc = PNGCrc32(m_Crc, held, size);
        return m_Source->Read(nullptr, size);
    }
    return SkipByReading(size, [this](unsigned char* sink, int32_t n) { return ReadData(sink, n); });
}

int32_t CPNGIDATReader::Peek(const unsigned char** data)
{
    int32_t n = m_Source && m_ChunkLeft > 0 ? m_Source->Peek(data) : 0;
    if (n <= 0)
    {
        *data = nullptr;
        return 0;
    }
    return n < m_ChunkLeft ? n : m_ChunkLeft;
}

void CPNGIDATReader::FinishChunk()
{
    if (!m_SkipCRC)
        return;
    uint32_t crc = m_Crc;
    if (!SkipData(*m_Source, uint32_t(m_ChunkLeft), crc) || !CheckCrc(*m_Source, crc))
        throw CException(TEXT_SHORT_DATA);
    m_ChunkLeft = 0;
    m_SkipCRC = false;
}

int32_t CPNGIDATReader::Read(void* buffer, int32_t size)
{
    if (!m_Source)
        return 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int32_t count = 0;
    while (size > 0)
    {
        if (m_ChunkLeft == 0)
        {
            FinishChunk();
            unsigned char header[8];
            if (m_Source->Read(header, 8) != 8)
                return count;
            uint32_t length = ReadBE32(header);
            if (length > 0x7FFFFFFFu)
                throw CException(TEXT_CHUNK_LENGTH);
            if (memcmp(header + 4, "IDAT", 4) != 0)
                throw CException(TEXT_IDAT_CHUNKS);
            m_ChunkLeft = int32_t(length);
            m_Crc = PNGCrc32(0, header + 4, 4);
            m_SkipCRC = true;
            continue;
        }
        int32_t n = size < m_ChunkLeft ? size : m_ChunkLeft;
        int32_t got = ReadData(out, n);
        count += got;
        size -= got;
        m_ChunkLeft -= got;
        if (out)
            out += got;
        if (got < n)
            break;
    }
    return count;
}

bool CPNGFormat::CanLoad(const CMimeType& type)
{
    static const CMimeType png("image/png");
    return type == png;
}

bool CPNGFormat::Load(CInputStream& in, CImage& image)
{
    CBlockReader reader(&in, 32768);
    static const unsigned char SIGNATURE[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    for (int i = 0; i < 8; ++i)
    {
        unsigned char byte;
        if (reader.Read(&byte, 1) != 1 || byte != SIGNATURE[i])
            return false;
    }

    int32_t bpp = -1, compression = -1, filterMethod = -1;
    bool haveData = false;
    for (;;)
    {
        if (reader.IsEOF())
            return false;
        unsigned char header[8];
        if (reader.Read(header, 8) != 8)
            return false;
        uint32_t length = ReadBE32(header);
        if (length > 0x7FFFFFFFu)
            throw CException(TEXT_CHUNK_LENGTH);
        const unsigned char* type = header + 4;
        uint32_t crc = PNGCrc32(0, type, 4);

        if (memcmp(type, "IHDR", 4) == 0)
        {
            // A second header would re-create an image that may already hold the pixels.
            if (length != 13 || bpp != -1)
                throw CException(TEXT_HEADER);
            unsigned char data[13];
            if (reader.Read(data, 13) != 13)
                return false;
            crc = PNGCrc32(crc, data, 13);
            if (!CheckCrc(reader, crc))
                return false;
            uint32_t width = ReadBE32(data), height = ReadBE32(data + 4);
            int depth = data[8], colorType = data[9];
            CImage::CFormat::EPreset preset;
            switch (colorType)
            {
                case 0:
                    preset = CImage::CFormat::PRESET_L8;
                    bpp = 1;
                    break;
                case 2:
                    preset = CImage::CFormat::PRESET_RGB8;
                    bpp = 3;
                    break;
                case 4:
                    preset = CImage::CFormat::PRESET_LA8;
                    bpp = 2;
                    break;
                case 6:
                    preset = CImage::CFormat::PRESET_RGBA8;
                    bpp = 4;
                    break;
                default:
                    throw CException(TEXT_COLOR_TYPE);
            }
            if (depth != 8)
                throw CException(TEXT_COLOR_TYPE);
            if (data[12] != 0)
                throw CException(TEXT_INTERLACED);
            if (width == 0 || height == 0 || width > 0xFFFFu || height > 0xFFFFu)
                throw CException(TEXT_SIZE);
            compression = data[10];
            filterMethod = data[11];
            if (!image.Create(CImage::CFormat(preset, int(width), int(height))))
                throw CException(TEXT_SIZE);
        }
        else if (memcmp(type, "IDAT", 4) == 0)
        {
            // Chunks after the rows hold the end of the stream: already read or not needed.
            if (haveData)
            {
                if (!SkipData(reader, length, crc) || !CheckCrc(reader, crc))
                    return false;
                continue;
            }
            if (bpp == -1)
                throw CException(TEXT_IDAT_BEFORE_IHDR);
            if (compression != 0)
                throw CException(TEXT_COMPRESSION);
            if (filterMethod != 0)
                throw CException(TEXT_FILTER_METHOD);
            CPNGIDATReader idat(&reader, int(length));
            CZReader z(&idat);
            if (!z.m_Ok)
                throw CException(z.m_Error);
            DecodeImageData(z, image, bpp);
            idat.FinishChunk();
            haveData = true;
        }
        else if (memcmp(type, "IEND", 4) == 0)
            return haveData;
        else if ((type[0] >= 'a' && type[0] <= 'z') ||
                 (memcmp(type, "PLTE", 4) == 0 && (bpp == 3 || bpp == 4)))
        {
            // Ancillary chunks, and the suggested palette of a colour image, change no sample.
            if (!SkipData(reader, length, crc) || !CheckCrc(reader, crc))
                return false;
        }
        else
            throw CException(TEXT_CRITICAL);
    }
}
} // namespace NKeth
