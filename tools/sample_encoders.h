#pragma once
// PNG and JPEG encoders for the sample show, through the system libraries: the show's readers
// are the program's own decoders, so these files test them against another implementation.
#include "content.h"

namespace NSample
{
enum class EPngChannels
{
    GREY,
    GREY_ALPHA,
    RGB,
    RGBA
};
// 8 bits a channel; grey is the luma of the RGB texels. Empty on failure.
NContent::TBytes EncodePNG(const NContent::SPixels& pixels, EPngChannels channels);
// Baseline JPEG at quality 90; subsampled halves the chroma planes both ways (4:2:0), else 4:4:4.
NContent::TBytes EncodeJPEG(const NContent::SPixels& pixels, bool subsampled);
} // namespace NSample
