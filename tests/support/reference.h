#pragma once
// The reference decoders that the differential tests and the benchmarks compare our codecs with;
// never linked into the product.
#include <cstddef>
#include <cstdint>
#include <vector>

struct SReferenceImage
{
    int m_Width = 0, m_Height = 0, m_Channels = 0;
    // Whether the file's layout is one our decoder takes (PNG: 8 bits per sample, not interlaced,
    // no palette); only then are the samples decoded.
    bool m_Supported = true;
    std::vector<uint8_t> m_Samples;
};

// An image passed again keeps its storage, so that timed loops measure only the decoding.
// libjpeg with the integer transform and plain upsampling: RGB or grey samples.
bool ReferenceJpeg(const uint8_t* data, size_t size, SReferenceImage& image);
// libpng without transforms: the file's own samples.
bool ReferencePng(const uint8_t* data, size_t size, SReferenceImage& image);
