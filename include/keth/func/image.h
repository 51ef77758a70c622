#pragma once
#include "keth/func/classregistry.h"
#include "keth/func/mime.h"
#include "keth/func/stream.h"

#include <cstdint>

namespace NKeth
{
// One two-dimensional surface: a pixel layout and one owned block of pixel data.
class CImage
{
public:
    // The pixel layout of an image; a plain value, copied freely.
    class CFormat
    {
    public:
        enum EType : uint32_t
        {
            TYPE_NONE = 0,
            TYPE_CHANNELS = 2,
            TYPE_COMPRESSED = 3
        };
        enum EColorModel : uint8_t
        {
            MODEL_LUMINANCE = 1,
            MODEL_RGB = 2,
            MODEL_YCBCR = 3
        };
        // What a channel holds; luminance and Y use the red code, Cb green, Cr blue.
        enum EComponent : uint8_t
        {
            COMPONENT_RED = 0,
            COMPONENT_GREEN = 1,
            COMPONENT_BLUE = 2,
            COMPONENT_ALPHA = 3,
            COMPONENT_NONE = 255
        };
        // Compression kinds, kept in m_ChannelCount of a block-compressed format.
        enum EKind : uint8_t
        {
            KIND_DXT1 = 4,
            KIND_DXT3 = 5,
            KIND_DXT5 = 6
        };
        enum EPreset
        {
            PRESET_RGB8 = 1,
            PRESET_RGBA8 = 2,
            PRESET_L8 = 3,
            PRESET_LA8 = 4,
            PRESET_YCBCR8 = 5,
            PRESET_DXT1 = 6,
            PRESET_DXT3 = 7,
            PRESET_DXT5 = 8
        };
        static const uint16_t SIZE_UNSET = 0xFFFF;

        CFormat();
        CFormat(EPreset preset, int width, int height);
        // A channel format; the packed words hold channel 0 in their top byte.
        CFormat(EColorModel colorModel, uint32_t depths, uint32_t components);

        void SetType(uint32_t type);
        void SetSize(int width, int height);
        // An unknown preset only updates the derived fields.
        void SetPreset(int preset, int width, int height);
        // Channel formats only; others throw.
        void SetChannels(uint8_t colorModel, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3);
        void SetChannelDepths(uint8_t d0, uint8_t d1, uint8_t d2, uint8_t d3);
        uint32_t GetDepths() const;
        uint32_t GetComponents() const;
        // Recomputes bits per pixel, pitch and size. A size that does not fit 32 bits is
        // stored as -1, which Create refuses.
        void Update();

        // Only channel formats compare equal; width and height are not compared.
        bool operator==(const CFormat& other) const;
        bool operator!=(const CFormat& other) const { return !(*this == other); }

        uint32_t m_Type;
        uint8_t m_ChannelCount;
        uint8_t m_ColorModel;
        uint8_t m_Depths[4];
        uint8_t m_Components[4];
        uint16_t m_Width;
        uint16_t m_Height;
        int32_t m_Size;
        int32_t m_Pitch;
        uint16_t m_BitsPerPixel;
    };

    CImage();
    virtual ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Keeps the pixel data when its size does not change; new data starts zeroed unless the
    // caller writes every byte itself (zeroed false). Returns false, leaving the image empty,
    // for a format without a valid size.
    bool Create(const CFormat& format, bool zeroed = true);
    bool CopyFrom(const CImage& other);
    // Releases the data; the format stays.
    void Release();
    void FlipVertical();
    // Converts into destination, which is re-created with the target layout at this image's
    // size. Throws when the types differ; returns false when the destination cannot be made.
    bool Convert(const CFormat& target, CImage& destination) const;
    // Decodes through the image format registry, chosen by the stream's MIME type.
    bool Load(CInputStream& in);

    CFormat m_Format;
    unsigned char* m_Data;
};

// A file format of images; one instance per format, created through the class registry
// under the keyword "imageformat".
class CImageFormat : public NClassRegistry::CClass
{
public:
    ~CImageFormat() override = default;
    virtual bool CanLoad(const CMimeType& type);
    // True with the image filled. A stream the format cannot read throws CException with the
    // reason; false is left for a stream that holds nothing of this format to speak of.
    virtual bool Load(CInputStream& in, CImage& image);
    virtual bool Save(COutputStream& out, const CImage& image);
};

// The first registered format that accepts the MIME type, or null.
CImageFormat* FindImageFormat(const CMimeType& type);

// The two end colours of a block-compressed colour block, 5-6-5 bits little-endian at block,
// widened to 8 bits per channel by shifting alone (the low bits 0): R, G, B of each.
void ReadBlockEndColours(const unsigned char* block, int ends[][3]);

// Decodes the stream with format, or with the registry's format for its MIME type when format is
// null. False when no image came of it, with the decoder's reason (empty when it gave none).
bool TryLoadImage(CInputStream& in, CImage& image, CString& reason, CImageFormat* format = nullptr);

// How every texture loads its image: the decoder's reason is logged with its own text, and a
// file that gave no image gets one more line naming it; false then.
bool LoadImageOrLog(CInputStream& in, CImage& image);
} // namespace NKeth
