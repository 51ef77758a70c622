#include "keth/func/image.h"
#include "keth/func/byteorder.h"
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/base/sys.h"
#include "keth/ext/compr/deflate.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/exception.h"
#include "keth/func/stream.h"

#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace NKeth
{
namespace
{
// Room for the allocator's header and guards below the 32-bit limit.
const int64_t MAX_IMAGE_SIZE = 0x7FFF0000;

typedef CImage::CFormat CFormat;
} // namespace

// ---------------------------------------------------------------------------------------------
// CImage::CFormat

CImage::CFormat::CFormat()
    : m_Type(TYPE_NONE), m_ChannelCount(0), m_ColorModel(0), m_Depths{0, 0, 0, 0}, m_Components{0, 0, 0, 0},
      m_Width(SIZE_UNSET), m_Height(SIZE_UNSET), m_Size(0), m_Pitch(0), m_BitsPerPixel(0)
{
    Update();
}

CImage::CFormat::CFormat(EPreset preset, int width, int height) : CFormat()
{
    SetPreset(preset, width, height);
}

CImage::CFormat::CFormat(EColorModel colorModel, uint32_t depths, uint32_t components) : CFormat()
{
    m_Type = TYPE_CHANNELS;
    SetChannelDepths(uint8_t(depths >> 24), uint8_t(depths >> 16), uint8_t(depths >> 8), uint8_t(depths));
    SetChannels(colorModel, uint8_t(components >> 24), uint8_t(components >> 16), uint8_t(components >> 8),
                uint8_t(components));
}

void CImage::CFormat::SetType(uint32_t type)
{
    m_Type = type;
    Update();
}

void CImage::CFormat::SetSize(int width, int height)
{
    m_Width = uint16_t(width);
    m_Height = uint16_t(height);
    Update();
}

void CImage::CFormat::SetPreset(int preset, int width, int height)
{
    m_Width = uint16_t(width);
    m_Height = uint16_t(height);
    struct SPreset
    {
        uint32_t type;
        uint8_t count;
        uint8_t model;
        uint8_t depths[4];
        uint8_t components[4];
    };
    static const SPreset presets[] = {
        {TYPE_CHANNELS, 3, MODEL_RGB, {8, 8, 8, 0}, {0, 1, 2, 255}},
        {TYPE_CHANNELS, 4, MODEL_RGB, {8, 8, 8, 8}, {0, 1, 2, 3}},
        {TYPE_CHANNELS, 1, MODEL_LUMINANCE, {8, 0, 0, 0}, {0, 255, 255, 255}},
        {TYPE_CHANNELS, 2, MODEL_LUMINANCE, {8, 8, 0, 0}, {0, 3, 255, 255}},
        {TYPE_CHANNELS, 3, MODEL_YCBCR, {8, 8, 8, 0}, {0, 1, 2, 255}},
        {TYPE_COMPRESSED, KIND_DXT1, 0, {0, 0, 0, 0}, {255, 255, 255, 255}},
        {TYPE_COMPRESSED, KIND_DXT3, 0, {0, 0, 0, 0}, {255, 255, 255, 255}},
        {TYPE_COMPRESSED, KIND_DXT5, 0, {0, 0, 0, 0}, {255, 255, 255, 255}},
    };
    if (preset >= PRESET_RGB8 && preset <= PRESET_DXT5)
    {
        const SPreset& p = presets[preset - 1];
        m_Type = p.type;
        m_ChannelCount = p.count;
        m_ColorModel = p.model;
        for (int i = 0; i < 4; ++i)
        {
            m_Depths[i] = p.depths[i];
            m_Components[i] = p.components[i];
        }
    }
    Update();
}

void CImage::CFormat::SetChannels(uint8_t colorModel, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3)
{
    if (m_Type != TYPE_CHANNELS)
        throw CException("CImage::CFormat::SetChannels: Wrong type.");
    m_ColorModel = colorModel;
    m_Components[0] = c0;
    m_Components[1] = c1;
    m_Components[2] = c2;
    m_Components[3] = c3;
    m_ChannelCount = 0;
    for (int i = 0; i < 4; ++i)
        if (m_Components[i] < COMPONENT_NONE)
            m_ChannelCount = uint8_t(i + 1);
    Update();
}

void CImage::CFormat::SetChannelDepths(uint8_t d0, uint8_t d1, uint8_t d2, uint8_t d3)
{
    if (m_Type != TYPE_CHANNELS)
        throw CException("CImage::CFormat::SetChannelDepths: Wrong type.");
    m_Depths[0] = d0;
    m_Depths[1] = d1;
    m_Depths[2] = d2;
    m_Depths[3] = d3;
    m_ChannelCount = 0;
    for (int i = 0; i < 4; ++i)
        if (m_Depths[i] != 0)
            m_ChannelCount = uint8_t(i + 1);
    Update();
}

uint32_t CImage::CFormat::GetDepths() const
{
    return uint32_t(m_Depths[0]) << 24 | uint32_t(m_Depths[1]) << 16 | uint32_t(m_Depths[2]) << 8 |
           m_Depths[3];
}

uint32_t CImage::CFormat::GetComponents() const
{
    return uint32_t(m_Components[0]) << 24 | uint32_t(m_Components[1]) << 16 |
           uint32_t(m_Components[2]) << 8 | m_Components[3];
}

void CImage::CFormat::Update()
{
    if (m_Type == TYPE_CHANNELS)
    {
        if (m_ChannelCount > 4)
            m_ChannelCount = 4;
        int bits = 0;
        for (int i = 0; i < m_ChannelCount; ++i)
            bits += m_Depths[i];
        for (int i = m_ChannelCount; i < 4; ++i)
        {
            m_Depths[i] = 0;
            m_Components[i] = COMPONENT_NONE;
        }
        m_BitsPerPixel = uint16_t(bits);
    }
    else if (m_Type == TYPE_COMPRESSED)
        m_BitsPerPixel = 4;
    else
        m_BitsPerPixel = 0;

    int64_t pitch = (int64_t(m_BitsPerPixel) * m_Width + 7) / 8;
    int64_t size = m_Height * pitch;
    if (m_Type == TYPE_COMPRESSED)
    {
        // Partial blocks at the right and bottom edges are stored whole.
        int64_t blocks = int64_t((m_Width + 3) / 4) * ((m_Height + 3) / 4);
        if (m_ChannelCount == KIND_DXT1)
            size = blocks * 8;
        else if (m_ChannelCount == KIND_DXT3 || m_ChannelCount == KIND_DXT5)
            size = blocks * 16;
    }
    m_Pitch = pitch <= MAX_IMAGE_SIZE ? int32_t(pitch) : -1;
    m_Size = size <= MAX_IMAGE_SIZE && m_Pitch >= 0 ? int32_t(size) : -1;
}

bool CImage::CFormat::operator==(const CFormat& other) const
{
    if (m_Type != TYPE_CHANNELS || other.m_Type != TYPE_CHANNELS)
        return false;
    if (m_BitsPerPixel != other.m_BitsPerPixel || m_ColorModel != other.m_ColorModel)
        return false;
    for (int i = 0; i < 4; ++i)
        if (m_Depths[i] != other.m_Depths[i] || m_Components[i] != other.m_Components[i])
            return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Table converters: 8 bits per channel, pixels packed without row padding. The template
// arguments are the byte offsets of the colour channels and of alpha (-1: none) in a pixel.

namespace
{
enum
{
    L = CFormat::MODEL_LUMINANCE,
    RGB = CFormat::MODEL_RGB,
    YCC = CFormat::MODEL_YCBCR
};

inline uint8_t Clamp255(int v)
{
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

template <int SM, int SN, int S0, int S1, int S2, int SA, int DM, int DN, int D0, int D1, int D2, int DA>
void ConvertPixels(const uint8_t* s, uint8_t* d, int width, int height)
{
    int64_t count = int64_t(width) * height;
    for (int64_t i = 0; i < count; ++i, s += SN, d += DN)
    {
        int a = s[S0], b = s[S1], c = s[S2];
        if (SM == RGB && DM == RGB)
        {
            d[D0] = uint8_t(a);
            d[D1] = uint8_t(b);
            d[D2] = uint8_t(c);
        }
        else if (SM == RGB && DM == YCC)
        {
            int r = a * 2047, g = b * 2047, bl = c * 2047;
            d[0] = uint8_t(((1201 * g >> 11) + (612 * r >> 11) + (233 * bl >> 11)) >> 11);
            d[1] = uint8_t(((1023 * bl >> 11) + (-679 * g >> 11) + (-345 * r >> 11) + 262016) >> 11);
            d[2] = uint8_t(((1023 * r >> 11) + (-857 * g >> 11) + (-166 * bl >> 11) + 262016) >> 11);
        }
        else if (SM == RGB && DM == L)
            d[0] = uint8_t((a + b + c) / 3);
        else if (SM == YCC && DM == RGB)
        {
            int y = a * 2047, cb = b * 2047 - 262016, cr = c * 2047 - 262016;
            d[D0] = Clamp255(((2881 * cr >> 11) + y) >> 11);
            d[D1] = Clamp255((y - (1467 * cr >> 11) - (707 * cb >> 11)) >> 11);
            d[D2] = Clamp255(((3641 * cb >> 11) + y) >> 11);
        }
        else // YCbCr to YCbCr
        {
            d[0] = uint8_t(a);
            d[1] = uint8_t(b);
            d[2] = uint8_t(c);
        }
        if (DA >= 0)
            d[DA] = SA >= 0 ? s[SA] : 255;
    }
}

// The decoders' YCbCr to RGB by tables of each chroma value's share: the same arithmetic as
// ConvertPixels, without its multiplications and branches.
class CYCbCrTables
{
public:
    CYCbCrTables()
    {
        for (int v = 0; v < 256; ++v)
        {
            int chroma = v * 2047 - 262016;
            m_Red[v] = 2881 * chroma >> 11;
            m_GreenCr[v] = 1467 * chroma >> 11;
            m_GreenCb[v] = 707 * chroma >> 11;
            m_Blue[v] = 3641 * chroma >> 11;
        }
        for (int i = 0; i < CLAMP_SIZE; ++i)
            m_Clamp[i] = Clamp255(i - CLAMP_OFFSET);
    }

    // The sums reach from -228 to 482 once shifted.
    static const int CLAMP_OFFSET = 256;
    static const int CLAMP_SIZE = 768;
    int32_t m_Red[256];
    int32_t m_GreenCr[256];
    int32_t m_GreenCb[256];
    int32_t m_Blue[256];
    uint8_t m_Clamp[CLAMP_SIZE];
};

const CYCbCrTables& GetYCbCrTables()
{
    static const CYCbCrTables tables;
    return tables;
}

#if defined(__x86_64__) && defined(__linux__)
// The tables' arithmetic on eight pixels at once, where the processor has the wider integer
// units: each value's share is its table entry's product and shift, and the final clamp is the
// saturation of the packing. Returns the pixels converted, a multiple of eight.
template <int DN, int D0, int D1, int D2, int DA>
__attribute__((target("avx2"))) int64_t ConvertYCbCrWide(const uint8_t* s, uint8_t* d, int64_t count)
{
    // Where each output byte of four pixels comes from in a lane of four R, four G, four B
    // and four 255s; -1 gives zero.
    alignas(16) int8_t lane[16], first[16], second[16];
    for (int j = 0; j < 16; ++j)
    {
        int pixel = j / DN, channel = j % DN;
        int from = channel == D0 ? 0 : channel == D1 ? 1 : channel == D2 ? 2 : 3;
        lane[j] = int8_t(pixel < 4 ? 4 * from + pixel : -1);
    }
    for (int j = 0; j < 16; ++j)
    {
        // Three-byte pixels: the second lane's twelve bytes continue the first lane's twelve.
        first[j] = j < 12 ? -1 : lane[j - 12];
        second[j] = j < 8 ? lane[j + 4] : -1;
    }
    const __m256i order = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(lane)));
    const __m128i firstOrder = _mm_load_si128(reinterpret_cast<const __m128i*>(first));
    const __m128i secondOrder = _mm_load_si128(reinterpret_cast<const __m128i*>(second));
    // Y and Cb of eight pixels from bytes 0-15 and 8-23, then Cr.
    const __m128i lumaBlueLow = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1);
    const __m128i lumaBlueHigh = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 10, 13, -1, -1, -1, -1, -1, 8, 11, 14);
    const __m128i redLow = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i redHigh = _mm_setr_epi8(-1, -1, -1, -1, -1, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i chromaBias = _mm256_set1_epi32(262016), opaque = _mm256_set1_epi32(255);
    int64_t done = 0;
    for (; done + 8 <= count; done += 8, s += 24, d += 8 * DN)
    {
        __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8));
        __m128i yb = _mm_or_si128(_mm_shuffle_epi8(low, lumaBlueLow), _mm_shuffle_epi8(high, lumaBlueHigh));
        __m128i r = _mm_or_si128(_mm_shuffle_epi8(low, redLow), _mm_shuffle_epi8(high, redHigh));
        __m256i y = _mm256_cvtepu8_epi32(yb);
        __m256i cb = _mm256_cvtepu8_epi32(_mm_srli_si128(yb, 8));
        __m256i cr = _mm256_cvtepu8_epi32(r);
        y = _mm256_sub_epi32(_mm256_slli_epi32(y, 11), y);
        cb = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_slli_epi32(cb, 11), cb), chromaBias);
        cr = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_slli_epi32(cr, 11), cr), chromaBias);
        __m256i red = _mm256_srai_epi32(_mm256_mullo_epi32(cr, _mm256_set1_epi32(2881)), 11);
        __m256i greenCr = _mm256_srai_epi32(_mm256_mullo_epi32(cr, _mm256_set1_epi32(1467)), 11);
        __m256i greenCb = _mm256_srai_epi32(_mm256_mullo_epi32(cb, _mm256_set1_epi32(707)), 11);
        __m256i blue = _mm256_srai_epi32(_mm256_mullo_epi32(cb, _mm256_set1_epi32(3641)), 11);
        red = _mm256_srai_epi32(_mm256_add_epi32(red, y), 11);
        __m256i green = _mm256_srai_epi32(_mm256_sub_epi32(_mm256_sub_epi32(y, greenCr), greenCb), 11);
        blue = _mm256_srai_epi32(_mm256_add_epi32(blue, y), 11);
        // Per lane: four R, four G, four B, four 255s.
        __m256i planes =
            _mm256_packus_epi16(_mm256_packs_epi32(red, green), _mm256_packs_epi32(blue, opaque));
        if (DN == 4)
        {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_shuffle_epi8(planes, order));
            continue;
        }
        __m128i lane0 = _mm256_castsi256_si128(planes), lane1 = _mm256_extracti128_si256(planes, 1);
        __m128i head = _mm_or_si128(_mm_shuffle_epi8(lane0, _mm256_castsi256_si128(order)),
                                    _mm_shuffle_epi8(lane1, firstOrder));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), head);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm_shuffle_epi8(lane1, secondOrder));
    }
    return done;
}
#endif

template <int DN, int D0, int D1, int D2, int DA>
void ConvertYCbCrByTables(const uint8_t* s, uint8_t* d, int width, int height)
{
    const CYCbCrTables& t = GetYCbCrTables();
    const uint8_t* clamp = t.m_Clamp + CYCbCrTables::CLAMP_OFFSET;
    int64_t count = int64_t(width) * height;
#if defined(__x86_64__) && defined(__linux__)
    if (__builtin_cpu_supports("avx2"))
    {
        int64_t done = ConvertYCbCrWide<DN, D0, D1, D2, DA>(s, d, count);
        s += 3 * done;
        d += DN * done;
        count -= done;
    }
#endif
    for (int64_t i = 0; i < count; ++i, s += 3, d += DN)
    {
        int y = s[0] * 2047, cb = s[1], cr = s[2];
        d[D0] = clamp[(t.m_Red[cr] + y) >> 11];
        d[D1] = clamp[(y - t.m_GreenCr[cr] - t.m_GreenCb[cb]) >> 11];
        d[D2] = clamp[(t.m_Blue[cb] + y) >> 11];
        if (DA >= 0)
            d[DA] = 255;
    }
}

struct SConverter
{
    CFormat m_Source;
    CFormat m_Target;
    void (*m_Convert)(const uint8_t*, uint8_t*, int, int);
};

// Layout shorthands: model, pixel size, offsets of the channels (R G B, Y Cb Cr or L) and alpha.
#define rgb8_ RGB, 3, 0, 1, 2, -1
#define bgr8_ RGB, 3, 2, 1, 0, -1
#define rgba8_ RGB, 4, 0, 1, 2, 3
#define bgra8_ RGB, 4, 2, 1, 0, 3
#define ycc8_ YCC, 3, 0, 1, 2, -1
#define ycca8_ YCC, 4, 0, 1, 2, 3
#define l8_ L, 1, 0, 0, 0, -1
#define la8_ L, 2, 0, 0, 0, 1

CFormat MakeLayout(CFormat::EColorModel model, uint32_t depths, uint32_t components)
{
    return CFormat(model, depths, components);
}

class CConverterTable
{
public:
    CConverterTable()
    {
        const CFormat rgb8 = MakeLayout(CFormat::MODEL_RGB, 0x08080800, 0x000102FF);
        const CFormat bgr8 = MakeLayout(CFormat::MODEL_RGB, 0x08080800, 0x020100FF);
        const CFormat rgba8 = MakeLayout(CFormat::MODEL_RGB, 0x08080808, 0x00010203);
        const CFormat bgra8 = MakeLayout(CFormat::MODEL_RGB, 0x08080808, 0x02010003);
        const CFormat ycc8 = MakeLayout(CFormat::MODEL_YCBCR, 0x08080800, 0x000102FF);
        const CFormat ycca8 = MakeLayout(CFormat::MODEL_YCBCR, 0x08080808, 0x00010203);
        const CFormat l8 = MakeLayout(CFormat::MODEL_LUMINANCE, 0x08000000, 0x00FFFFFF);
        const CFormat la8 = MakeLayout(CFormat::MODEL_LUMINANCE, 0x08080000, 0x0003FFFF);

#define ENTRY(S, D) Add(S, D, ConvertPixels<S##_, D##_>)
        ENTRY(rgb8, bgr8);
        ENTRY(rgb8, rgba8);
        ENTRY(rgb8, bgra8);
        ENTRY(rgb8, ycc8);
        ENTRY(rgb8, ycca8);
        ENTRY(rgb8, l8);
        ENTRY(rgb8, la8);

        ENTRY(bgr8, rgb8);
        ENTRY(bgr8, rgba8);
        ENTRY(bgr8, bgra8);
        ENTRY(bgr8, ycc8);
        ENTRY(bgr8, ycca8);
        ENTRY(bgr8, l8);
        ENTRY(bgr8, la8);

        ENTRY(rgba8, rgb8);
        ENTRY(rgba8, bgr8);
        ENTRY(rgba8, bgra8);
        ENTRY(rgba8, ycc8);
        ENTRY(rgba8, ycca8);
        ENTRY(rgba8, l8);
        ENTRY(rgba8, la8);

        ENTRY(bgra8, rgb8);
        ENTRY(bgra8, bgr8);
        ENTRY(bgra8, rgba8);
        ENTRY(bgra8, bgra8);
        ENTRY(bgra8, ycc8);
        ENTRY(bgra8, ycca8);
        ENTRY(bgra8, l8);
        ENTRY(bgra8, la8);

        Add(ycc8, rgb8, ConvertYCbCrByTables<3, 0, 1, 2, -1>);
        Add(ycc8, bgr8, ConvertYCbCrByTables<3, 2, 1, 0, -1>);
        Add(ycc8, rgba8, ConvertYCbCrByTables<4, 0, 1, 2, 3>);
        Add(ycc8, bgra8, ConvertYCbCrByTables<4, 2, 1, 0, 3>);
        ENTRY(ycc8, ycca8);

        ENTRY(ycca8, rgb8);
        ENTRY(ycca8, bgr8);
        ENTRY(ycca8, rgba8);
        ENTRY(ycca8, bgra8);
        ENTRY(ycca8, ycc8);
#undef ENTRY
    }

    const SConverter* Find(const CFormat& source, const CFormat& target) const
    {
        for (int i = 0; i < m_Count; ++i)
            if (m_Entries[i].m_Source == source && m_Entries[i].m_Target == target)
                return &m_Entries[i];
        return nullptr;
    }

    int GetCount() const
    {
        return m_Count;
    }

private:
    void Add(const CFormat& source, const CFormat& target,
             void (*convert)(const uint8_t*, uint8_t*, int, int))
    {
        m_Entries[m_Count].m_Source = source;
        m_Entries[m_Count].m_Target = target;
        m_Entries[m_Count].m_Convert = convert;
        ++m_Count;
    }

    SConverter m_Entries[39];
    int m_Count = 0;
};

#undef rgb8_
#undef bgr8_
#undef rgba8_
#undef bgra8_
#undef ycc8_
#undef ycca8_
#undef l8_
#undef la8_

const CConverterTable& GetConverterTable()
{
    static const CConverterTable table;
    return table;
}

// ---------------------------------------------------------------------------------------------
// Generic conversion, one pixel at a time through bit streams and floating point.

// Collects bits least significant first and writes every completed byte.
class CBitWriter
{
public:
    explicit CBitWriter(COutputStream* out) : m_Bits(0), m_Count(0), m_Out(out) {}

    void PutBits(uint32_t value, int n)
    {
        for (int i = 0; i < n; ++i)
        {
            m_Bits |= ((value >> i) & 1u) << m_Count;
            if (++m_Count == 8)
                Flush();
        }
    }

    // Writes the incomplete byte, if any, with its unused high bits 0.
    void Flush()
    {
        if (m_Count == 0)
            return;
        uint8_t byte = uint8_t(m_Bits);
        m_Out->Write(&byte, 1);
        m_Bits = 0;
        m_Count = 0;
    }

private:
    uint32_t m_Bits;
    int m_Count;
    COutputStream* m_Out;
};

uint32_t ReadField(CBitReader& reader, int depth)
{
    if (depth <= 16)
        return reader.GetBits(depth);
    uint32_t low = reader.GetBits(16);
    return low | reader.GetBits(depth - 16) << 16;
}

void WriteField(CBitWriter& writer, uint32_t value, int depth)
{
    writer.PutBits(value, depth);
}

double MaxValue(int depth)
{
    return double((uint64_t(1) << depth) - 1);
}

int TruncByte(double v)
{
    return int(v) & 0xFF;
}

bool ValidForGeneric(const CFormat& format)
{
    if (format.m_Type != CFormat::TYPE_CHANNELS || format.m_ChannelCount == 0)
        return false;
    for (int i = 0; i < format.m_ChannelCount; ++i)
        if (format.m_Depths[i] > 32)
            return false;
    return true;
}

// Rows start on byte boundaries (each at its pitch), so layouts with odd bit widths keep
// the row addressing that every other user of the image relies on.
void ConvertGeneric(const CImage& source, CImage& destination)
{
    const CFormat& sf = source.m_Format;
    const CFormat& df = destination.m_Format;
    for (int y = 0; y < sf.m_Height; ++y)
    {
        CMemoryReader rowIn(source.m_Data + int64_t(y) * sf.m_Pitch, sf.m_Pitch);
        CBitReader reader(&rowIn);
        CMemoryWriter rowOut(destination.m_Data + int64_t(y) * df.m_Pitch);
        CBitWriter writer(&rowOut);
        for (int x = 0; x < sf.m_Width; ++x)
        {
            double c[4] = {0, 0, 0, 255};
            for (int i = 0; i < sf.m_ChannelCount; ++i)
            {
                int depth = sf.m_Depths[i];
                uint32_t v = ReadField(reader, depth);
                if (depth > 0 && sf.m_Components[i] < 4)
                    c[sf.m_Components[i]] = double(v) * 255.0 / MaxValue(depth);
            }

            if (sf.m_ColorModel == CFormat::MODEL_LUMINANCE)
                c[1] = c[2] = c[0];
            else if (sf.m_ColorModel == CFormat::MODEL_YCBCR)
            {
                int yy = TruncByte(c[0]), cb = TruncByte(c[1]), cr = TruncByte(c[2]);
                c[0] = Clamp255(int(yy + 1.4075 * (cr - 128)));
                c[1] = Clamp255(int(yy - 0.3455 * (cb - 128) - 0.7169 * (cr - 128)));
                c[2] = Clamp255(int(yy + 1.7790 * (cb - 128)));
            }

            if (df.m_ColorModel == CFormat::MODEL_LUMINANCE)
                c[0] = (c[0] + c[1] + c[2]) / 3;
            else if (df.m_ColorModel == CFormat::MODEL_YCBCR)
            {
                double r = c[0], g = c[1], b = c[2];
                c[0] = TruncByte(0.299 * r + 0.587 * g + 0.114 * b);
                c[1] = TruncByte(-0.169 * r - 0.332 * g + 0.5 * b + 128);
                c[2] = TruncByte(0.5 * r - 0.419 * g - 0.0813 * b + 128);
            }

            for (int j = 0; j < df.m_ChannelCount; ++j)
            {
                int depth = df.m_Depths[j];
                double value = df.m_Components[j] < 4 ? c[df.m_Components[j]] : 0.0;
                double scaled = value * MaxValue(depth) / 255.0;
                if (scaled < 0)
                    scaled = 0;
                if (scaled > MaxValue(depth))
                    scaled = MaxValue(depth);
                WriteField(writer, uint32_t(uint64_t(scaled)), depth);
            }
        }
        writer.Flush();
    }
}

// DXT1 into RGBA8 with alpha 0, always with four colours. Edge blocks are clipped to the image.
void DecodeDXT1(const CImage& source, CImage& destination)
{
    const int width = source.m_Format.m_Width, height = source.m_Format.m_Height;
    const int blocksX = (width + 3) / 4, blocksY = (height + 3) / 4;
    const int64_t available = source.m_Format.m_Size / 8;
    const uint8_t* block = source.m_Data;
    for (int by = 0; by < blocksY; ++by)
        for (int bx = 0; bx < blocksX; ++bx, block += 8)
        {
            if (int64_t(by) * blocksX + bx >= available)
                return;
            int p[4][3];
            ReadBlockEndColours(block, p);
            for (int k = 0; k < 3; ++k)
            {
                p[2][k] = p[0][k] + (p[1][k] - p[0][k]) * 1 / 3;
                p[3][k] = p[0][k] + (p[1][k] - p[0][k]) * 2 / 3;
            }
            uint32_t indexes = ReadLE32(block + 4);
            const int rows = height - by * 4 < 4 ? height - by * 4 : 4;
            const int cols = width - bx * 4 < 4 ? width - bx * 4 : 4;
            for (int y = 0; y < rows; ++y)
            {
                uint8_t* out = destination.m_Data + (int64_t(by) * 4 + y) * destination.m_Format.m_Pitch +
                               int64_t(bx) * 16;
                for (int x = 0; x < cols; ++x, out += 4)
                {
                    const int* colour = p[(indexes >> (2 * (4 * y + x))) & 3];
                    out[0] = uint8_t(colour[0]);
                    out[1] = uint8_t(colour[1]);
                    out[2] = uint8_t(colour[2]);
                    out[3] = 0;
                }
            }
        }
}

// Whether the pixels of an image of this layout fit its data.
bool HasPixels(const CImage& image)
{
    const CFormat& f = image.m_Format;
    if (f.m_Size <= 0 || !image.m_Data)
        return false;
    return int64_t(f.m_Pitch) * f.m_Height <= f.m_Size;
}

// The registry of image file formats, filled on first use and emptied at exit.
class CImageFormatRegistry
{
public:
    CImageFormatRegistry()
    {
        TDynamicArray<NClassRegistry::CHandle*> handles;
        NClassRegistry::Enumerate("imageformat", handles);
        for (int i = 0; i < handles.GetCount(); ++i)
        {
            NClassRegistry::CClass* object = NClassRegistry::Create(handles[i]);
            if (!object)
                continue;
            CImageFormat* format = dynamic_cast<CImageFormat*>(object);
            if (format)
                m_Formats.Add(format);
            else
                delete object;
        }
    }
    ~CImageFormatRegistry() { m_Formats.DeleteAll(); }

    TDynamicArray<CImageFormat*> m_Formats;
};
} // namespace

// ---------------------------------------------------------------------------------------------
// CImage

CImage::CImage() : m_Data(nullptr) {}

CImage::~CImage()
{
    Release();
}

void CImage::Release()
{
    delete[] m_Data;
    m_Data = nullptr;
}

bool CImage::Create(const CFormat& format, bool zeroed)
{
    if (format.m_Size < 0)
    {
        Log("CImage::Create: refused image of %d x %d at %d bits per pixel\n", format.m_Width,
            format.m_Height, format.m_BitsPerPixel);
        Release();
        m_Format = format;
        return false;
    }
    if (m_Data && m_Format.m_Size == format.m_Size)
    {
        m_Format = format;
        return true;
    }
    Release();
    m_Format = format;
    if (format.m_Size > 0)
    {
        m_Data = NEW unsigned char[format.m_Size];
        if (zeroed)
            std::memset(m_Data, 0, size_t(format.m_Size));
    }
    return true;
}

bool CImage::CopyFrom(const CImage& other)
{
    if (&other == this)
        return true;
    if (!Create(other.m_Format))
        return false;
    if (m_Data && other.m_Data)
        std::memcpy(m_Data, other.m_Data, size_t(m_Format.m_Size));
    return true;
}

void CImage::FlipVertical()
{
    const int32_t pitch = m_Format.m_Pitch;
    const int height = m_Format.m_Height;
    if (!m_Data || pitch <= 0 || int64_t(pitch) * height > m_Format.m_Size)
        return;
    for (int y = 0; y < height / 2; ++y)
    {
        unsigned char* a = m_Data + int64_t(y) * pitch;
        unsigned char* b = m_Data + int64_t(height - 1 - y) * pitch;
        // Word-wise swap in place: no temporary row and no per-byte loop.
        int32_t i = 0;
        for (; i + 8 <= pitch; i += 8)
        {
            uint64_t wa, wb;
            std::memcpy(&wa, a + i, 8);
            std::memcpy(&wb, b + i, 8);
            std::memcpy(a + i, &wb, 8);
            std::memcpy(b + i, &wa, 8);
        }
        for (; i < pitch; ++i)
        {
            unsigned char t = a[i];
            a[i] = b[i];
            b[i] = t;
        }
    }
}

bool CImage::Convert(const CFormat& target, CImage& destination) const
{
    if (&destination == this)
    {
        CImage result;
        if (!Convert(target, result))
            return false;
        CImage& self = const_cast<CImage&>(*this);
        self.Release();
        self.m_Format = result.m_Format;
        self.m_Data = result.m_Data;
        result.m_Data = nullptr;
        return true;
    }

    CFormat format = target;
    format.m_Width = m_Format.m_Width;
    format.m_Height = m_Format.m_Height;
    format.Update();
    // A table converter writes every pixel.
    const SConverter* converter = GetConverterTable().Find(m_Format, format);
    if (!destination.Create(format, converter == nullptr))
        return false;

    if (m_Format.m_Type == CFormat::TYPE_COMPRESSED && m_Format.m_ChannelCount == CFormat::KIND_DXT1)
    {
        CImage decoded;
        if (!decoded.Create(CFormat(CFormat::PRESET_RGBA8, m_Format.m_Width, m_Format.m_Height)))
            return false;
        if (m_Data)
            DecodeDXT1(*this, decoded);
        if (decoded.m_Format == format)
        {
            destination.Release();
            destination.m_Format = decoded.m_Format;
            destination.m_Data = decoded.m_Data;
            decoded.m_Data = nullptr;
            return true;
        }
        return decoded.Convert(target, destination);
    }

    if (m_Format.m_Type != format.m_Type)
        throw CException("CImage::Convert: Type convertion isn't implementeded");
    if (format.m_Type != CFormat::TYPE_CHANNELS || !HasPixels(*this) || !HasPixels(destination))
    {
        if (converter && destination.m_Data)
            std::memset(destination.m_Data, 0, size_t(destination.m_Format.m_Size));
        return true;
    }

    if (converter)
    {
        // The table works on packed 8-bit pixels: both sides must hold width x height of them.
        int64_t pixels = int64_t(format.m_Width) * format.m_Height;
        if (pixels * (m_Format.m_BitsPerPixel / 8) <= m_Format.m_Size &&
            pixels * (format.m_BitsPerPixel / 8) <= destination.m_Format.m_Size)
            converter->m_Convert(m_Data, destination.m_Data, format.m_Width, format.m_Height);
        else
            std::memset(destination.m_Data, 0, size_t(destination.m_Format.m_Size));
        return true;
    }

    if (m_Format == format)
    {
        std::memcpy(destination.m_Data, m_Data, size_t(format.m_Size));
        return true;
    }

    if (!ValidForGeneric(m_Format) || !ValidForGeneric(format))
    {
        Log("CImage::Convert: no conversion for channels deeper than 32 bits\n");
        return false;
    }
    int64_t start = GetTicks();
    ConvertGeneric(*this, destination);
    double seconds = double(GetTicks() - start) / double(GetTickFrequency());
    Log("Performace Warning: CImage::Convert used generic rutine for convertion. Lost %.5fs\n", seconds);
    return true;
}

bool CImage::Load(CInputStream& in)
{
    CImageFormat* format = FindImageFormat(in.m_MimeType);
    if (!format)
        return false;
    return format->Load(in, *this);
}

// ---------------------------------------------------------------------------------------------
// CImageFormat and the registry

bool CImageFormat::CanLoad(const CMimeType&)
{
    return false;
}

bool CImageFormat::Load(CInputStream&, CImage&)
{
    return false;
}

bool CImageFormat::Save(COutputStream&, const CImage&)
{
    return false;
}

CImageFormat* FindImageFormat(const CMimeType& type)
{
    static CImageFormatRegistry registry;
    for (int i = 0; i < registry.m_Formats.GetCount(); ++i)
        if (registry.m_Formats[i]->CanLoad(type))
            return registry.m_Formats[i];
    return nullptr;
}

void ReadBlockEndColours(const unsigned char* block, int ends[][3])
{
    for (int i = 0; i < 2; ++i)
    {
        const int colour = ReadLE16(block + 2 * i);
        ends[i][0] = (colour >> 11) << 3;
        ends[i][1] = ((colour >> 5) & 0x3F) << 2;
        ends[i][2] = (colour & 0x1F) << 3;
    }
}

bool TryLoadImage(CInputStream& in, CImage& image, CString& reason, CImageFormat* format)
{
    reason = "";
    try
    {
        if (!format)
            format = FindImageFormat(in.m_MimeType);
        return format && format->Load(in, image) && image.m_Data;
    }
    catch (const CException& error)
    {
        reason = error.GetMessage();
        return false;
    }
}

bool LoadImageOrLog(CInputStream& in, CImage& image)
{
    CString reason;
    if (TryLoadImage(in, image, reason))
        return true;
    if (reason.GetLength() > 0)
        Log("%s\n", reason.GetText());
    if (const CFileReader* file = dynamic_cast<const CFileReader*>(&in))
        Log("Image not loaded: %s\n", file->m_FileName.GetText());
    return false;
}
} // namespace NKeth
