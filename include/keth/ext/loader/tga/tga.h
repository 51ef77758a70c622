#pragma once
#include "keth/func/image.h"

namespace NKeth
{
// Truevision TGA: reads true-colour and grey images, raw or run-length, and writes them raw.
class CTGAFormat : public CImageFormat
{
public:
    bool CanLoad(const CMimeType& type) override;
    // True-colour files become BGR8 or BGRA8 and grey files L8, top row first.
    bool Load(CInputStream& in, CImage& image) override;
    // Writes 8-bit images as grey and 24- or 32-bit images as true colour, bytes as they are.
    bool Save(COutputStream& out, const CImage& image) override;
};

// DirectDraw Surface: reads the top level of DXT3 and DXT5 files.
class CDDSFormat : public CImageFormat
{
public:
    bool CanLoad(const CMimeType& type) override;
    bool Load(CInputStream& in, CImage& image) override;

    // Expands a DXT3 or DXT5 image into 8-bit pixels in the byte order B, G, R, A (what the
    // TGA writer takes), labelled RGBA8. False for any other source.
    static bool Decompress(const CImage& source, CImage& destination);
};
} // namespace NKeth
