#include "keth/ext/loader/jpeg/jpeg.h"
#include "keth/func/byteorder.h"
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/func/exception.h"

#include <cmath>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

const SIdctTable s_Idct;

int Extend(uint32_t value, int bits)
{
    return value < (1u << (bits - 1)) ? int(value) - (1 << bits) + 1 : int(value);
}

// Zero coefficients add nothing to any sample, so only the others (bits of present, by natural
// position) are summed, each over the 64 samples at once and in ascending order as a
// sample-by-sample sum would take them.
void InverseTransformPlain(const float* coefficients, uint64_t present, uint8_t* block)
{
    float sums[64] = {};
    while (present)
    {
        int n = __builtin_ctzll(present);
        present &= present - 1;
        const float value = coefficients[n];
        const float* factor = s_Idct.m_Factor[n];
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

// The same sums in vector registers. Every sample still gets its own multiply and add in the
// same order (the file is built without contracting them into fused operations), and the clamp
// and truncation are the plain transform's, so the bytes match.
#if defined(__x86_64__)
// Clamps and truncates two rows of sums, given as their halves, and stores them.
inline void StoreRows(__m128 a0, __m128 a1, __m128 b0, __m128 b1, uint8_t* out, int32_t pitch)
{
    const __m128 bias = _mm_set1_ps(128.0f), zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f);
    __m128i a = _mm_packs_epi32(_mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(_mm_add_ps(a0, bias), zero), top)),
                                _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(_mm_add_ps(a1, bias), zero), top)));
    __m128i b = _mm_packs_epi32(_mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(_mm_add_ps(b0, bias), zero), top)),
                                _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(_mm_add_ps(b1, bias), zero), top)));
    __m128i bytes = _mm_packus_epi16(a, b);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + pitch), _mm_srli_si128(bytes, 8));
}

// Sixteen four-lane sums do not fit the sixteen registers beside their operands, so the block
// goes in two halves of four rows.
void InverseTransformBaseline(const float* coefficients, uint64_t present, uint8_t* out, int32_t pitch)
{
    for (int half = 0; half < 2; ++half)
    {
        __m128 s0 = _mm_setzero_ps(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
        for (uint64_t left = present; left; left &= left - 1)
        {
            int n = __builtin_ctzll(left);
            const __m128 value = _mm_set1_ps(coefficients[n]);
            const float* factor = s_Idct.m_Factor[n] + 32 * half;
            s0 = _mm_add_ps(s0, _mm_mul_ps(value, _mm_load_ps(factor)));
            s1 = _mm_add_ps(s1, _mm_mul_ps(value, _mm_load_ps(factor + 4)));
            s2 = _mm_add_ps(s2, _mm_mul_ps(value, _mm_load_ps(factor + 8)));
            s3 = _mm_add_ps(s3, _mm_mul_ps(value, _mm_load_ps(factor + 12)));
            s4 = _mm_add_ps(s4, _mm_mul_ps(value, _mm_load_ps(factor + 16)));
            s5 = _mm_add_ps(s5, _mm_mul_ps(value, _mm_load_ps(factor + 20)));
            s6 = _mm_add_ps(s6, _mm_mul_ps(value, _mm_load_ps(factor + 24)));
            s7 = _mm_add_ps(s7, _mm_mul_ps(value, _mm_load_ps(factor + 28)));
        }
        uint8_t* rows = out + int64_t(4 * half) * pitch;
        StoreRows(s0, s1, s2, s3, rows, pitch);
        StoreRows(s4, s5, s6, s7, rows + 2 * int64_t(pitch), pitch);
    }
}

#if defined(__linux__)
// Eight eight-lane sums hold the whole block. (Only where the compiler keeps the stack aligned
// for such registers.)
__attribute__((target("avx2"))) void InverseTransformWide(const float* coefficients, uint64_t present,
                                                          uint8_t* out, int32_t pitch)
{
    __m256 s0 = _mm256_setzero_ps(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
    for (; present; present &= present - 1)
    {
        int n = __builtin_ctzll(present);
        const __m256 value = _mm256_set1_ps(coefficients[n]);
        const float* factor = s_Idct.m_Factor[n];
        s0 = _mm256_add_ps(s0, _mm256_mul_ps(value, _mm256_load_ps(factor)));
        s1 = _mm256_add_ps(s1, _mm256_mul_ps(value, _mm256_load_ps(factor + 8)));
        s2 = _mm256_add_ps(s2, _mm256_mul_ps(value, _mm256_load_ps(factor + 16)));
        s3 = _mm256_add_ps(s3, _mm256_mul_ps(value, _mm256_load_ps(factor + 24)));
        s4 = _mm256_add_ps(s4, _mm256_mul_ps(value, _mm256_load_ps(factor + 32)));
        s5 = _mm256_add_ps(s5, _mm256_mul_ps(value, _mm256_load_ps(factor + 40)));
        s6 = _mm256_add_ps(s6, _mm256_mul_ps(value, _mm256_load_ps(factor + 48)));
        s7 = _mm256_add_ps(s7, _mm256_mul_ps(value, _mm256_load_ps(factor + 56)));
    }
    const int64_t step = 2 * int64_t(pitch);
    StoreRows(_mm256_castps256_ps128(s0), _mm256_extractf128_ps(s0, 1), _mm256_castps256_ps128(s1),
              _mm256_extractf128_ps(s1, 1), out, pitch);
    StoreRows(_mm256_castps256_ps128(s2), _mm256_extractf128_ps(s2, 1), _mm256_castps256_ps128(s3),
              _mm256_extractf128_ps(s3, 1), out + step, pitch);
    StoreRows(_mm256_castps256_ps128(s4), _mm256_extractf128_ps(s4, 1), _mm256_castps256_ps128(s5),
              _mm256_extractf128_ps(s5, 1), out + 2 * step, pitch);
    StoreRows(_mm256_castps256_ps128(s6), _mm256_extractf128_ps(s6, 1), _mm256_castps256_ps128(s7),
              _mm256_extractf128_ps(s7, 1), out + 3 * step, pitch);
}

typedef void (*TTransform)(const float*, uint64_t, uint8_t*, int32_t);
TTransform ChooseTransform()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? InverseTransformWide : InverseTransformBaseline;
}
const TTransform s_Transform = ChooseTransform();
const bool s_Shuffles = __builtin_cpu_supports("avx2");
#else
void (*const s_Transform)(const float*, uint64_t, uint8_t*, int32_t) = InverseTransformBaseline;
#endif
#else
void TransformToRows(const float* coefficients, uint64_t present, uint8_t* out, int32_t pitch)
{
    uint8_t block[64];
    InverseTransformPlain(coefficients, present, block);
    for (int r = 0; r < 8; ++r)
        memcpy(out + int64_t(r) * pitch, block + 8 * r, 8);
}
void (*const s_Transform)(const float*, uint64_t, uint8_t*, int32_t) = TransformToRows;
#endif

void InverseTransform(const float* coefficients, uint64_t present, uint8_t* out, int32_t pitch)
{
    // A block of its DC term alone is one value throughout.
    if (present <= 1)
    {
        float sum = (present ? coefficients[0] * s_Idct.m_Factor[0][0] : 0.0f) + 128.0f;
        sum = sum < 0.0f ? 0.0f : sum;
        sum = sum > 255.0f ? 255.0f : sum;
        uint8_t value = uint8_t(int(sum));
        for (int r = 0; r < 8; ++r)
            memset(out + int64_t(r) * pitch, value, 8);
        return;
    }
    s_Transform(coefficients, present, out, pitch);
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

// Bit reader over the scan data, most significant bit first: the next bit is bit 63, and the
// bits below those held are zero.
class CJPEGFormat::CBits
{
public:
    explicit CBits(CJPEGScanReader* source) : m_Count(0), m_Bits(0), m_Source(source) {}

    uint32_t Peek(int n) const { return uint32_t(m_Bits >> (64 - n)); }
    void Skip(int n)
    {
        m_Bits <<= n;
        m_Count -= n;
    }
    // Tops the buffer up to at least 56 bits, enough for two codes with their value bits.
    void Fill()
    {
        uint64_t bytes;
        int count = (63 - m_Count) >> 3;
        if (m_Source->TakeScanBytes(count, bytes))
        {
            m_Bits |= bytes >> m_Count;
            m_Count += 8 * count;
            return;
        }
        while (m_Count <= 56)
        {
            m_Bits |= uint64_t(m_Source->NextScanByte()) << (56 - m_Count);
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
    uint64_t m_Bits;
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
    memset(m_PlanePitch, 0, sizeof m_PlanePitch);
    m_Plain = false;
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

    for (int c = 0; c < count && !m_Plain; ++c)
    {
        int h = count == 1 ? 1 : m_Components[c].m_Sampling >> 4;
        int v = count == 1 ? 1 : m_Components[c].m_Sampling & 15;
        m_PlanePitch[c] = m_McuCols * h * 8;
        m_Planes[c].resize(size_t(m_PlanePitch[c]) * v * 8);
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
                    if (m_Plain)
                    {
                        DecodeBlock(bits, c, dcTable[i], acTable[i], m_Block, 8);
                        StoreBlock(image, c, (mcuCol * h + bx) * component.m_ScaleX * 8,
                                   (mcuRow * v + by) * component.m_ScaleY * 8);
                        continue;
                    }
                    uint8_t* out =
                        m_Planes[c].data() + int64_t(by) * 8 * m_PlanePitch[c] + (mcuCol * h + bx) * 8;
                    DecodeBlock(bits, c, dcTable[i], acTable[i], out, m_PlanePitch[c]);
                }
        }
        // Bits taken from past the end of the scan data mean the data was cut short.
        if (8 * reader.m_Padding > bits.m_Count)
            throw CException("Unexpected end of jpeg data");
        if (!m_Plain && mcuCol == m_McuCols - 1)
            StoreMcuRow(image, mcuRow);
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
        // The end of the block and a run of sixteen zeros carry no value bits.
        if (length && !size && (run == 0 || run == 15))
            fast[bits] = SFastCoefficient{0, uint8_t(run), uint8_t(length)};
        if (length && size && length + size <= FAST_BITS)
        {
            uint32_t value = (bits >> (FAST_BITS - length - size)) & ((1u << size) - 1);
            fast[bits] = SFastCoefficient{int16_t(Extend(value, size)), uint8_t(run), uint8_t(length + size)};
        }
    }
}

int CJPEGFormat::DecodeLongCode(uint64_t bits, int table) const
{
    const SHuffmanLookup& lookup = m_Lookup[table];
    // Bits that match no shorter code lie above every code of a length up to the one that has
    // them; canonical codes make this the same as trying each entry in turn.
    for (int length = FAST_BITS + 1; length <= 16; ++length)
    {
        int32_t code = int32_t(bits >> (64 - length));
        if (code <= lookup.m_MaxCode[length])
            return length << 8 | lookup.m_Symbols[lookup.m_Offset[length] + code];
    }
    throw CException("Coudn't find huffman entry");
}

inline int CJPEGFormat::DecodeSymbol(CBits& bits, int table)
{
    if (bits.m_Count < 16)
        bits.Fill();
    int code = m_Lookup[table].m_Fast[bits.Peek(FAST_BITS)];
    if (!code)
        code = DecodeLongCode(bits.m_Bits, table);
    bits.Skip(code >> 8);
    return code & 255;
}

void CJPEGFormat::DecodeBlock(CBits& source, int component, int dcTable, int acTable, uint8_t* out,
                              int32_t pitch)
{
    // A copy the compiler can keep in registers.
    CBits bits = source;
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
        // A code and its value bits take at most 31.
        if (bits.m_Count < 32)
            bits.Fill();
        const SFastCoefficient coefficient = fast[bits.Peek(FAST_BITS)];
        if (coefficient.m_Length)
        {
            bits.Skip(coefficient.m_Length);
            if (coefficient.m_Value == 0)
            {
                // The end of the block, or a run of sixteen zeros.
                if (coefficient.m_Run == 0)
                    break;
                k += 16;
                if (k > 64)
                    throw CException("AC run past the end of a jpeg block");
                continue;
            }
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
    source = bits;

    if (m_Plain)
        InverseTransformPlain(coefficients, present, out);
    else
        InverseTransform(coefficients, present, out, pitch);
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

namespace NKeth
{
namespace
{
#if defined(__x86_64__) && defined(__linux__)
// Sixteen pixels at a time by byte shuffles, where the processor has them; returns the pixels
// done.
template <int SCALE>
__attribute__((target("avx2"))) int InterleaveRowWide(const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                                                      uint8_t* out, int width)
{
    // For each of the three output vectors, where its bytes come from in the sixteen Y and the
    // chroma samples of those pixels; -1 gives zero.
    struct SOrder
    {
        alignas(16) int8_t m_Bytes[3][3][16];
        SOrder()
        {
            for (int j = 0; j < 48; ++j)
                for (int channel = 0; channel < 3; ++channel)
                {
                    int pixel = j / 3;
                    int from = channel == 0 ? pixel : pixel / SCALE;
                    m_Bytes[j / 16][channel][j % 16] = int8_t(j % 3 == channel ? from : -1);
                }
        }
    };
    static const SOrder order;
    __m128i masks[3][3];
    for (int v = 0; v < 3; ++v)
        for (int channel = 0; channel < 3; ++channel)
            masks[v][channel] = _mm_load_si128(reinterpret_cast<const __m128i*>(order.m_Bytes[v][channel]));
    int x = 0;
    for (; x + 16 <= width; x += 16, out += 48)
    {
        __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        __m128i blue, red;
        if (SCALE == 1)
        {
            blue = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
            red = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
        }
        else
        {
            blue = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2));
            red = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2));
        }
        for (int v = 0; v < 3; ++v)
        {
            __m128i bytes = _mm_or_si128(
                _mm_or_si128(_mm_shuffle_epi8(luma, masks[v][0]), _mm_shuffle_epi8(blue, masks[v][1])),
                _mm_shuffle_epi8(red, masks[v][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * v), bytes);
        }
    }
    return x;
}
#endif

// One output row from the rows of the components' planes; SCALE is the pixels per sample across
// of each chroma component when both have the same.
template <int SCALE>
void InterleaveRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width)
{
    int x = 0;
#if defined(__x86_64__) && defined(__linux__)
    if (s_Shuffles)
        x = InterleaveRowWide<SCALE>(y, cb, cr, out, width);
#endif
    for (; x < width; ++x)
    {
        out[3 * x] = y[x];
        out[3 * x + 1] = cb[x / SCALE];
        out[3 * x + 2] = cr[x / SCALE];
    }
}

template <int SCALE> void SpreadRow(const uint8_t* in, uint8_t* out, int channels, int width)
{
    for (int x = 0; x < width; ++x)
        out[x * channels] = in[x / SCALE];
}
} // namespace

void CJPEGFormat::StoreMcuRow(CImage& image, int mcuRow)
{
    const int channels = m_ComponentCount;
    const int32_t pitch = image.m_Format.m_Pitch;
    int rows = 8 * (channels == 1 ? 1 : m_Components[0].m_ScaleY * (m_Components[0].m_Sampling & 15));
    int y0 = mcuRow * rows;
    rows = m_Height - y0 < rows ? m_Height - y0 : rows;
    const uint8_t* planes[3];
    for (int r = 0; r < rows; ++r)
    {
        uint8_t* out = image.m_Data + int64_t(y0 + r) * pitch;
        for (int c = 0; c < channels; ++c)
            planes[c] = m_Planes[c].data() + int64_t(r / m_Components[c].m_ScaleY) * m_PlanePitch[c];
        if (channels == 1)
        {
            memcpy(out, planes[0], size_t(m_Width));
            continue;
        }
        const CComponent* info = m_Components;
        if (info[0].m_ScaleX == 1 && info[1].m_ScaleX == info[2].m_ScaleX && info[1].m_ScaleX <= 2)
        {
            if (info[1].m_ScaleX == 1)
                InterleaveRow<1>(planes[0], planes[1], planes[2], out, m_Width);
            else
                InterleaveRow<2>(planes[0], planes[1], planes[2], out, m_Width);
            continue;
        }
        for (int c = 0; c < channels; ++c)
            switch (info[c].m_ScaleX)
            {
                case 1:
                    SpreadRow<1>(planes[c], out + c, channels, m_Width);
                    break;
                case 2:
                    SpreadRow<2>(planes[c], out + c, channels, m_Width);
                    break;
                case 3:
                    SpreadRow<3>(planes[c], out + c, channels, m_Width);
                    break;
                default:
                    SpreadRow<4>(planes[c], out + c, channels, m_Width);
                    break;
            }
    }
}
} // namespace NKeth
