// The decoder's vector transform and row-wise storing against its plain sample-by-sample path,
// byte for byte on every JPEG of the corpus.
#include "keth/ext/loader/jpeg/jpeg.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

using namespace NKeth;

TEST(JpegPaths, VectorPathGivesThePlainPathsBytes)
{
    CJPEGFormat fast, plain;
    plain.m_Plain = true;
    int compared = 0;
    for (const SCorpusFile& file : CorpusFiles("jpeg/"))
    {
        if (!file.m_Accept)
            continue;
        SCOPED_TRACE(file.m_Path);
        std::ifstream stream(file.m_Path, std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(stream)),
                                               std::istreambuf_iterator<char>());
        CImage images[2];
        CJPEGFormat* formats[2] = {&fast, &plain};
        for (int i = 0; i < 2; ++i)
        {
            CMemoryReader in(bytes.data(), int32_t(bytes.size()));
            ASSERT_TRUE(formats[i]->Load(in, images[i]));
        }
        ASSERT_EQ(images[0].m_Format.m_Size, images[1].m_Format.m_Size);
        ASSERT_EQ(memcmp(images[0].m_Data, images[1].m_Data, size_t(images[0].m_Format.m_Size)), 0);
        ++compared;
    }
    EXPECT_GT(compared, 100);
}
