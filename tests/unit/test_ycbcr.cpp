// The table converter for the decoder's YCbCr layouts against the arithmetic path, which the
// layout with alpha still takes: every possible pixel into every target layout.
#include "keth/func/image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace NKeth;
typedef CImage::CFormat CFormat;

namespace
{
const CFormat TARGETS[] = {
    CFormat(CFormat::MODEL_RGB, 0x08080800, 0x000102FF), CFormat(CFormat::MODEL_RGB, 0x08080800, 0x020100FF),
    CFormat(CFormat::MODEL_RGB, 0x08080808, 0x00010203), CFormat(CFormat::MODEL_RGB, 0x08080808, 0x02010003)};

// Every target layout gets the same bytes by both paths.
void ExpectSamePixels(const CImage& ycc, const std::string& name)
{
    CImage ycca;
    ASSERT_TRUE(ycc.Convert(CFormat(CFormat::MODEL_YCBCR, 0x08080808, 0x00010203), ycca));
    for (int t = 0; t < 4; ++t)
    {
        CImage byTables, byArithmetic;
        ASSERT_TRUE(ycc.Convert(TARGETS[t], byTables));
        ASSERT_TRUE(ycca.Convert(TARGETS[t], byArithmetic));
        ASSERT_EQ(byTables.m_Format.m_Size, byArithmetic.m_Format.m_Size);
        ASSERT_EQ(0, memcmp(byTables.m_Data, byArithmetic.m_Data, size_t(byTables.m_Format.m_Size)))
            << name << " target " << t;
    }
}
} // namespace

TEST(YCbCrTables, GiveTheArithmeticPixelsForEveryValue)
{
    // One 256 x 256 slice of (Cb, Cr) per luminance.
    CImage slice;
    ASSERT_TRUE(slice.Create(CFormat(CFormat::PRESET_YCBCR8, 256, 256)));
    for (int y = 0; y < 256; ++y)
    {
        for (int i = 0; i < 65536; ++i)
        {
            slice.m_Data[3 * i] = (unsigned char)y;
            slice.m_Data[3 * i + 1] = (unsigned char)i;
            slice.m_Data[3 * i + 2] = (unsigned char)(i >> 8);
        }
        ExpectSamePixels(slice, "Y " + std::to_string(y));
    }
}
