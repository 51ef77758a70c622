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
} // namespace NKeth
