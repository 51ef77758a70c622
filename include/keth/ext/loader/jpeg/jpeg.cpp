#include "keth/ext/loader/jpeg/jpeg.h"
#include "keth/func/byteorder.h"
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/func/exception.h"

#include <cmath>
#include <cstring>

namespace NKeth
{
namespace
{
const bool s_MimeTypes = RegisterMimeType("jpg", "image/jpeg") && RegisterMimeType("jpeg", "image/jpeg");

const CMimeType& JpegMimeType()
{
    static const CMimeType type("image/jpeg");
    return type;
}

// Natural (row-major) position of each coefficient in the order of the file.
const uint8_t ZIGZAG_TO_NATURAL[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                       12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                       35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                       58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The inverse transform's factors, the weights of one coefficient in the 64 output samples
// together, so that a block adds up its non-zero coefficients a whole row at a time.
struct SIdctTable
{
    alignas(32) float m_Factor[64][64];

    SIdctTable()
    {
        const double pi = 3.14159265358979323846;
        for (int s = 0; s < 64; ++s)
        {
            int x = s & 7, y = s >> 3;
            for (int n = 0; n < 64; ++n)
            {
                int u = n & 7, v = n >> 3;
                double cu = u ? 1.0 : 1.0 / std::sqrt(2.0);
                double cv = v ? 1.0 : 1.0 / std::sqrt(2.0);
                m_Factor[n][s] = float(cu * cv / 4.0 * std::cos((2 * x + 1) * u * pi / 16.0) *
                                       std::cos((2 * y + 1) * v * pi / 16.0));
            }
        }
    }
};

const SIdctTable& IdctTable()
{
    static const SIdctTable table;
    return table;
}

int Extend(uint32_t value, int bits)
{
    return value < (1u << (bits - 1)) ? int(value) - (1 << bits) + 1 : int(value);
}

// Where the processor has them, the transform's sums run on wider vectors; each sample's sum
// keeps its order and its separate multiply and add, so every variant gives the same bytes.
#if defined(__x86_64__) && defined(__linux__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define JPEG_VECTOR_VARIANTS __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef JPEG_VECTOR_VARIANTS
#define JPEG_VECTOR_VARIANTS
#endif

// Zero coefficients add nothing to any sample, so only the others (bits of present, by natural
// position) are summed, each over the 64 samples at once and in ascending order as a
// sample-by-sample sum would take them.
JPEG_VECTOR_VARIANTS void InverseTransform(const float* coefficients, uint64_t present, uint8_t* block)
{
    const SIdctTable& table = IdctTable();
    alignas(32) float sums[64] = {};
    while (present)
    {
        int n = __builtin_ctzll(present);
        present &= present - 1;
        const float value = coefficients[n];
        const float* factor = table.m_Factor[n];
        for (int sample = 0; sample < 64; ++sample)
            sums[sample] += value * factor[sample];
    }
    for (int sample = 0; sample < 64; ++sample)
    {
        float sum = sums[sample] + 128.0f;
        sum = sum < 0.0f ? 0.0f : sum;
        sum = sum > 255.0f ? 255.0f : sum;
        block[sample] = uint8_t(int(sum));
    }
}

// Repeats each of 8 samples SCALE times.
template <int SCALE> void Widen(const uint8_t* in, uint8_t* out)
{
    for (int x = 0; x < 8 * SCALE; ++x)
        out[x] = in[x / SCALE];
}

} // namespace

KETH_REGISTER_CLASS(CJPEGFormat, "imageformat");

// ---------------------------------------------------------------------------------------------

CJPEGScanReader::CJPEGScanReader(CInputStream* source)
    : m_Source(source), m_Marker(0), m_Padding(0), m_Ended(false), m_Consumed(0), m_BufferPos(0),
      m_BufferEnd(0)
{
}

bool CJPEGScanReader::IsOpen()
{
    return m_Source && m_Source->IsOpen();
}

bool CJPEGScanReader::IsEOF()
{
    return AtScanEnd();
}

int32_t CJPEGScanReader::GetPosition()
{
    return m_Consumed + m_BufferPos;
}

int CJPEGScanReader::Refill()
{
    m_Consumed += m_BufferEnd;
    m_BufferPos = 0;
    m_BufferEnd = 0;
    int32_t got = m_Source->Read(m_Buffer, BUFFER_SIZE);
    if (got <= 0)
        return -1;
    m_BufferEnd = got > BUFFER_SIZE ? BUFFER_SIZE : got;
    return m_Buffer[m_BufferPos++];
}

bool CJPEGScanReader::ReadRaw(void* buffer, int32_t size)
{
    unsigned char* out = static_cast<unsigned char*>(buffer);
    while (size > 0)
    {
        if (m_BufferPos == m_BufferEnd)
        {
            if (Refill() < 0)
                return false;
            --m_BufferPos;
        }
        int32_t chunk = m_BufferEnd - m_BufferPos;
        chunk = chunk < size ? chunk : size;
        if (out)
        {
            memcpy(out, m_Buffer + m_BufferPos, size_t(chunk));
            out += chunk;
        }
        m_BufferPos += chunk;
        size -= chunk;
    }
    return true;
}

void CJPEGScanReader::BeginScan()
{
    m_Marker = 0;
    m_Padding = 0;
}

int CJPEGScanReader::NextDataByte()
{
    if (AtScanEnd())
        return -1;
    int byte = ReadRawByte();
    if (byte == 0xFF)
    {
        int next;
        do
            next = ReadRawByte();
        while (next == 0xFF);
        if (next == 0)
            return 0xFF;
        if (next > 0)
            m_Marker = next;
        else
            m_Ended = true;
        return -1;
    }
    if (byte < 0)
        m_Ended = true;
    return byte;
}

int32_t CJPEGScanReader::Read(void* buffer, int32_t size)
{
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int32_t count = 0;
    while (count < size)
    {
        int byte = NextDataByte();
        if (byte < 0)
            break;
        if (out)
            out[count] = uint8_t(byte);
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------------------------------------

// Bit reader over the scan data, most significant bit first: the next bit is bit 31.
class CJPEGFormat::CBits
{
public:
    explicit CBits(CJPEGScanReader* source) : m_Count(0), m_Bits(0), m_Source(source) {}

    uint32_t Peek(int n) const { return m_Bits >> (32 - n); }
    void Skip(int n)
    {
        m_Bits <<= n;
        m_Count -= n;
    }
    // Tops the buffer up to at least 25 bits, the first new byte going just below the bits held.
    void Fill()
    {
        while (m_Count <= 24)
        {
            m_Bits |= m_Source->NextScanByte() << (24 - m_Count);
            m_Count += 8;
        }
    }
    // n from 1 to 16.
    uint32_t Get(int n)
    {
        if (m_Count < n)
            Fill();
        uint32_t value = Peek(n);
        Skip(n);
        return value;
    }

    int32_t m_Count;
    uint32_t m_Bits;
    CJPEGScanReader* m_Source;
};

// ---------------------------------------------------------------------------------------------

CJPEGFormat::CJPEGFormat()
    : m_ComponentCount(0), m_Width(0), m_Height(0), m_McuCols(0), m_McuRows(0), m_McuCount(0)
{
    memset(m_Components, 0, sizeof m_Components);
    memset(m_Quant, 0, sizeof m_Quant);
    memset(m_Block, 0, sizeof m_Block);
    memset(m_DCPred, 0, sizeof m_DCPred);
    memset(m_QuantDefined, 0, sizeof m_QuantDefined);
    for (int table = 0; table < 8; ++table)
        BuildLookup(table);
}

bool CJPEGFormat::CanLoad(const CMimeType& type)
{
    return type == JpegMimeType();
}

bool CJPEGFormat::Load(CInputStream& in, CImage& image)
{
    CJPEGScanReader reader(&in);
    int first = reader.ReadRawByte();
    int second = reader.ReadRawByte();
    if (first != 0xFF || second != 0xD8)
    {
        throw CException("Err: not a jpeg");
    }
    bool frame = false;
    bool decoded = false;
    for (;;)
    {
        int marker = reader.m_Marker;
        reader.m_Marker = 0;
        if (!marker && !reader.m_Ended)
        {
            int32_t offset = reader.GetPosition();
            int byte = reader.ReadRawByte();
            if (byte >= 0 && byte != 0xFF)
            {
                throw CException(CString("Err: not a segment, %d", offset).GetText());
            }
            // Any number of fill bytes may precede the code.
            while (byte == 0xFF)
                byte = reader.ReadRawByte();
            if (byte == 0)
            {
                throw CException(CString("Err: not a segment, %d", offset).GetText());
            }
            marker = byte < 0 ? 0 : byte;
        }
        if (!marker)
        {
            // A file cut after its image data still holds a whole image.
            if (decoded)
            {
                Log("Warn: jpeg ends without an end marker\n");
                return true;
            }
            throw CException("Err: jpeg ends before its image data");
        }
        if (marker == 0xD9)
        {
            if (!decoded)
                throw CException("Err: jpeg without image data");
            return true;
        }
        // Markers without a segment.
        if ((marker >= 0xD0 && marker <= 0xD8) || marker == 0x01)
            continue;

        uint8_t length[2];
        if (!reader.ReadRaw(length, 2))
        {
            reader.m_Ended = true;
            continue;
        }
        int size = ReadBE16(length) - 2;
        if (size < 0)
        {
            throw CException(CString("Err: bad segment length, marker 0x%02X", marker).GetText());
        }
        bool parsed = marker == 0xC0 || marker == 0xC4 || marker == 0xDB || marker == 0xDA || marker == 0xDD;
        if (!reader.ReadRaw(parsed ? m_Segment : nullptr, size))
        {
            reader.m_Ended = true;
            continue;
        }
        switch (marker)
        {
            case 0xC0:
                if (frame)
                {
                    throw CException("Err: jpeg with more than one frame");
                }
                ReadFrame(m_Segment, size);
                frame = true;
                break;
            case 0xC4:
                ReadHuffmanTables(m_Segment, size);
                break;
            case 0xDB:
                ReadQuantTables(m_Segment, size);
                break;
            case 0xDD:
                if (size != 2)
                {
                    throw CException("Err: bad restart interval segment");
                }
                if (ReadBE16(m_Segment) != 0)
                {
                    throw CException("Err: jpeg restart intervals are not supported");
                }
                break;
            case 0xDA:
                if (!frame)
                {
                    throw CException("Err: jpeg scan before its frame header");
                }
                if (decoded)
                {
                    throw CException("Err: jpeg with more than one scan is not supported");
                }
                ReadScan(m_Segment, size, reader, image);
                decoded = true;
                break;
            case 0xC1:
            case 0xC2:
            case 0xC3:
            case 0xC5:
            case 0xC6:
            case 0xC7:
            case 0xC9:
            case 0xCA:
            case 0xCB:
            case 0xCD:
            case 0xCE:
            case 0xCF:
                throw CException(CString("Err: jpeg frame type 0x%02X is not supported", marker).GetText());
            default:
                break;
        }
    }
}

void CJPEGFormat::ReadFrame(const uint8_t* data, int size)
{
    if (size < 6 || size != 6 + 3 * data[5])
    {
        throw CException("Err: bad jpeg frame header");
    }
    if (data[0] != 8)
    {
        throw CException(CString("Err: jpeg sample precision %d is not supported", data[0]).GetText());
    }
    int height = ReadBE16(data + 1);
    int width = ReadBE16(data + 3);
    int count = data[5];
    if (width == 0 || height == 0)
    {
        throw CException(CString("Err: jpeg image size %dx%d is not supported", width, height).GetText());
    }
    if (count != 1 && count != 3)
    {
        throw CException(CString("Err: jpeg with %d components is not supported", count).GetText());
    }
    int hMax = 1, vMax = 1, blocks = 0;
    for (int i = 0; i < count; ++i)
    {
        const uint8_t* p = data + 6 + 3 * i;
        int h = p[1] >> 4, v = p[1] & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4)
        {
            throw CException(CString("Err: bad jpeg sampling factors 0x%02X", p[1]).GetText());
        }
        if (p[2] > 3)
        {
            throw CException(CString("Err: jpeg quantisation table number %d is above 3", p[2]).GetText());
        }
        for (int j = 0; j < i; ++j)
            if (m_Components[j].m_Id == p[0])
            {
                throw CException(CString("Err: jpeg component id %d used twice", p[0]).GetText());
            }
        m_Components[i].m_Id = p[0];
        m_Components[i].m_Sampling = p[1];
        m_Components[i].m_QuantTable = p[2];
        hMax = h > hMax ? h : hMax;
        vMax = v > vMax ? v : vMax;
        blocks += h * v;
    }
    if (count == 1)
    {
        // A lone component is coded one block per MCU whatever its factors.
        m_Components[0].m_ScaleX = m_Components[0].m_ScaleY = 1;
        hMax = vMax = 1;
    }
    else
    {
        if (blocks > 10)
        {
            throw CException(CString("Err: jpeg with %d blocks per MCU", blocks).GetText());
        }
        for (int i = 0; i < count; ++i)
        {
            int h = m_Components[i].m_Sampling >> 4, v = m_Components[i].m_Sampling & 15;
            // Samples are repeated a whole number of times, or the image is refused.
            if (hMax % h || vMax % v)
            {
                throw CException(
                    CString("Err: jpeg sampling factors 0x%02X are not supported", m_Components[i].m_Sampling)
                        .GetText());
            }
            m_Components[i].m_ScaleX = hMax / h;
            m_Components[i].m_ScaleY = vMax / v;
        }
    }
    m_ComponentCount = count;
    m_Width = width;
    m_Height = height;
    // Partial MCUs at the right and bottom are decoded and clipped.
    m_McuCols = (width + 8 * hMax - 1) / (8 * hMax);
    m_McuRows = (height + 8 * vMax - 1) / (8 * vMax);
    m_McuCount = m_McuCols * m_McuRows;
}

void CJPEGFormat::ReadQuantTables(const uint8_t* data, int size)
{
    int at = 0;
    while (at < size)
    {
        int precision = data[at] >> 4, table = data[at] & 15;
        if (precision != 0)
        {
            throw CException("Err: jpeg 16-bit quantisation tables are not supported");
        }
        if (table > 3)
        {
            throw CException(CString("Err: jpeg quantisation table number %d is above 3", table).GetText());
        }
        if (size - at - 1 < 64)
        {
            throw CException("Err: bad jpeg quantisation table segment");
        }
        for (int k = 0; k < 64; ++k)
            m_Quant[table][k] = float(data[at + 1 + k]);
        m_QuantDefined[table] = true;
        at += 65;
    }
}

void CJPEGFormat::ReadHuffmanTables(const uint8_t* data, int size)
{
    int at = 0;
    while (at < size)
    {
        int tableClass = data[at] >> 4, number = data[at] & 15;
        if (number > 3)
            throw CException("HT Error!");
        if (tableClass > 1 || size - at - 1 < 16)
        {
            throw CException("Err: bad jpeg Huffman table segment");
        }
        const uint8_t* counts = data + at + 1;
        int total = 0;
        for (int i = 0; i < 16; ++i)
            total += counts[i];
        if (total > 256 || size - at - 17 < total)
        {
            throw CException("Err: bad jpeg Huffman table segment");
        }
        const uint8_t* symbols = counts + 16;
        CHuffmanAlphabet& alphabet = m_Huffman[tableClass * 4 + number];
        alphabet.Clear();
        uint32_t code = 0;
        int index = 0;
        for (int length = 1; length <= 16; ++length)
        {
            for (int i = 0; i < counts[length - 1]; ++i)
                alphabet.AddEntry(symbols[index++], length, code++);
            // More codes than the length holds would make the table ambiguous.
            if (code > (1u << length))
            {
                alphabet.Clear();
                BuildLookup(tableClass * 4 + number);
                throw CException("Err: bad jpeg Huffman table");
            }
            code <<= 1;
        }
        BuildLookup(tableClass * 4 + number);
        at += 17 + total;
    }
}

void CJPEGFormat::ReadScan(const uint8_t* data, int size, CJPEGScanReader& reader, CImage& image)
{
    if (size < 1)
    {
        throw CException("Err: bad jpeg scan header");
    }
    int count = data[0];
    if (count != 1 && count != 3)
        throw CException("Invalid number of scans");
    if (size != 4 + 2 * count)
    {
        throw CException("Err: bad jpeg scan header");
    }
    if (count != m_ComponentCount)
    {
        throw CException("Err: jpeg with more than one scan is not supported");
    }
    int order[3], dcTable[3], acTable[3];
    bool seen[3] = {false, false, false};
    for (int i = 0; i < count; ++i)
    {
        int id = data[1 + 2 * i], tables = data[2 + 2 * i];
        int c = 0;
        while (c < m_ComponentCount && m_Components[c].m_Id != id)
            ++c;
        if (c == m_ComponentCount || seen[c])
        {
            throw CException(CString("Err: jpeg scan component %d is not in the frame", id).GetText());
        }
        seen[c] = true;
        order[i] = c;
        dcTable[i] = tables >> 4;
        acTable[i] = tables & 15;
        if (dcTable[i] > 3 || acTable[i] > 3)
        {
            throw CException("Err: jpeg Huffman table number above 3");
        }
        if (m_Huffman[dcTable[i]].m_Entries.GetCount() == 0 ||
            m_Huffman[4 + acTable[i]].m_Entries.GetCount() == 0)
        {
            throw CException("Err: jpeg scan uses an undefined Huffman table");
        }
        if (!m_QuantDefined[m_Components[c].m_QuantTable])
        {
            throw CException("Err: jpeg component uses an undefined quantisation table");
        }
        m_DCPred[c] = 0;
    }
    const uint8_t* spectral = data + 1 + 2 * count;
    if (spectral[0] != 0 || spectral[1] != 63 || spectral[2] != 0)
    {
        throw CException("Err: jpeg scan is not sequential");
    }
    int64_t bytes = int64_t(m_Width) * m_Height * count;
    CImage::CFormat format(count == 1 ? CImage::CFormat::PRESET_L8 : CImage::CFormat::PRESET_YCBCR8, m_Width,
                           m_Height);
    if (bytes > 0x7FFFFFFF || !image.Create(format, false))
    {
        throw CException(CString("Err: jpeg image of %dx%d is too large", m_Width, m_Height).GetText());
    }

    reader.BeginScan();
    CBits bits(&reader);
    for (int m = 0; m < m_McuCount; ++m)
    {
        int mcuCol = m % m_McuCols, mcuRow = m / m_McuCols;
        for (int i = 0; i < count; ++i)
        {
            int c = order[i];
            const CComponent& component = m_Components[c];
            int h = count == 1 ? 1 : component.m_Sampling >> 4;
            int v = count == 1 ? 1 : component.m_Sampling & 15;
            for (int by = 0; by < v; ++by)
                for (int bx = 0; bx < h; ++bx)
                {
                    DecodeBlock(bits, c, dcTable[i], acTable[i]);
                    StoreBlock(image, c, (mcuCol * h + bx) * component.m_ScaleX * 8,
                               (mcuRow * v + by) * component.m_ScaleY * 8);
                }
        }
        // Bits taken from past the end of the scan data mean the data was cut short.
        if (8 * reader.m_Padding > bits.m_Count)
            throw CException("Unexpected end of jpeg data");
    }
    // Whatever the last MCU left unread before the next marker is dropped.
    while (!reader.AtScanEnd())
        reader.NextScanByte();
}

void CJPEGFormat::BuildLookup(int table)
{
    SHuffmanLookup& lookup = m_Lookup[table];
    memset(lookup.m_Fast, 0, sizeof lookup.m_Fast);
    for (int length = 0; length <= 16; ++length)
    {
        lookup.m_MaxCode[length] = -1;
        lookup.m_Offset[length] = 0;
    }
    // The entries come by length, each length's codes counting up from its first.
    const TDynamicArray<CHuffmanAlphabet::CEntry>& entries = m_Huffman[table].m_Entries;
    for (int i = 0; i < entries.GetCount(); ++i)
    {
        const CHuffmanAlphabet::CEntry& entry = entries[i];
        lookup.m_Symbols[i] = uint8_t(entry.symbol);
        if (lookup.m_MaxCode[entry.length] < 0)
            lookup.m_Offset[entry.length] = i - int32_t(entry.code);
        lookup.m_MaxCode[entry.length] = int32_t(entry.code);
        if (entry.length <= FAST_BITS)
        {
            int shift = FAST_BITS - entry.length;
            for (uint32_t j = 0; j < (1u << shift); ++j)
                lookup.m_Fast[(entry.code << shift) + j] = uint16_t(entry.length << 8 | entry.symbol);
        }
    }
    if (table < 4)
        return;
    SFastCoefficient* fast = m_FastAC[table - 4];
    for (uint32_t bits = 0; bits < (1u << FAST_BITS); ++bits)
    {
        fast[bits] = SFastCoefficient{0, 0, 0};
        int length = lookup.m_Fast[bits] >> 8, run = (lookup.m_Fast[bits] >> 4) & 15,
            size = lookup.m_Fast[bits] & 15;
        if (length && size && length + size <= FAST_BITS)
        {
            uint32_t value = (bits >> (FAST_BITS - length - size)) & ((1u << size) - 1);
            fast[bits] = SFastCoefficient{int16_t(Extend(value, size)), uint8_t(run), uint8_t(length + size)};
        }
    }
}

int CJPEGFormat::DecodeSymbol(CBits& bits, int table)
{
    const SHuffmanLookup& lookup = m_Lookup[table];
    if (bits.m_Count < 16)
        bits.Fill();
    int fast = lookup.m_Fast[bits.Peek(FAST_BITS)];
    if (fast)
    {
        bits.Skip(fast >> 8);
        return fast & 255;
    }
    // Bits that match no shorter code lie above every code of a length up to the one that has
    // them; canonical codes make this the same as trying each entry in turn.
    for (int length = FAST_BITS + 1; length <= 16; ++length)
    {
        int32_t code = int32_t(bits.Peek(length));
        if (code <= lookup.m_MaxCode[length])
        {
            bits.Skip(length);
            return lookup.m_Symbols[lookup.m_Offset[length] + code];
        }
    }
    throw CException("Coudn't find huffman entry");
}

void CJPEGFormat::DecodeBlock(CBits& bits, int component, int dcTable, int acTable)
{
    const float* quant = m_Quant[m_Components[component].m_QuantTable];
    float coefficients[64];
    // Natural positions of the non-zero coefficients.
    uint64_t present = 0;
    int s = DecodeSymbol(bits, dcTable) & 15;
    if (s)
        m_DCPred[component] = int32_t(uint32_t(m_DCPred[component]) + uint32_t(Extend(bits.Get(s), s)));
    coefficients[0] = float(m_DCPred[component]) * quant[0];
    if (m_DCPred[component])
        present = 1;
    const SFastCoefficient* fast = m_FastAC[acTable];
    for (int k = 1; k < 64;)
    {
        if (bits.m_Count < 16)
            bits.Fill();
        const SFastCoefficient& coefficient = fast[bits.Peek(FAST_BITS)];
        if (coefficient.m_Length)
        {
            bits.Skip(coefficient.m_Length);
            k += coefficient.m_Run;
            if (k > 63)
                throw CException("AC run past the end of a jpeg block");
            int n = ZIGZAG_TO_NATURAL[k];
            coefficients[n] = float(coefficient.m_Value) * quant[k];
            present |= uint64_t(1) << n;
            ++k;
            continue;
        }
        int rs = DecodeSymbol(bits, 4 + acTable);
        if (rs == 0)
            break;
        int run = rs >> 4;
        s = rs & 15;
        if (run == 15 && s == 0)
        {
            k += 16;
            if (k > 64)
                throw CException("AC run past the end of a jpeg block");
            continue;
        }
        k += run;
        if (k > 63)
            throw CException("AC run past the end of a jpeg block");
        if (s)
        {
            int n = ZIGZAG_TO_NATURAL[k];
            coefficients[n] = float(Extend(bits.Get(s), s)) * quant[k];
            present |= uint64_t(1) << n;
        }
        ++k;
    }

    InverseTransform(coefficients, present, m_Block);
}

void CJPEGFormat::StoreBlock(CImage& image, int component, int x0, int y0)
{
    const CComponent& info = m_Components[component];
    const int channels = m_ComponentCount;
    const int32_t pitch = image.m_Format.m_Pitch;
    // Clipped at the right and bottom edges.
    int width = m_Width - x0 < 8 * info.m_ScaleX ? m_Width - x0 : 8 * info.m_ScaleX;
    int height = m_Height - y0 < 8 * info.m_ScaleY ? m_Height - y0 : 8 * info.m_ScaleY;
    uint8_t* origin = image.m_Data + int64_t(y0) * pitch + int64_t(x0) * channels + component;
    if (info.m_ScaleX == 1 && info.m_ScaleY == 1)
    {
        for (int r = 0; r < height; ++r)
        {
            uint8_t* out = origin + int64_t(r) * pitch;
            const uint8_t* in = m_Block + 8 * r;
            for (int col = 0; col < width; ++col)
                out[col * channels] = in[col];
        }
        return;
    }
    // One enlarged row is made once and copied to each of the rows it covers.
    uint8_t wide[32];
    for (int r = 0; r < 8 && r * info.m_ScaleY < height; ++r)
    {
        const uint8_t* in = m_Block + 8 * r;
        switch (info.m_ScaleX)
        {
            case 1:
                Widen<1>(in, wide);
                break;
            case 2:
                Widen<2>(in, wide);
                break;
            case 3:
                Widen<3>(in, wide);
                break;
            default:
                Widen<4>(in, wide);
                break;
        }
        for (int dy = 0; dy < info.m_ScaleY; ++dy)
        {
            int y = r * info.m_ScaleY + dy;
            if (y >= height)
                break;
            uint8_t* out = origin + int64_t(y) * pitch;
            for (int x = 0; x < width; ++x)
                out[x * channels] = wide[x];
        }
    }
}
} // namespace NKeth
