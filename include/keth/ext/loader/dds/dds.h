#pragma once
#include "keth/func/image.h"

namespace NKeth
{
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
