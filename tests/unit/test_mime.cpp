#include "keth/func/mime.h"

#include <gtest/gtest.h>

using namespace NKeth;

namespace
{
const bool s_Registered =
    RegisterMimeType("tstx", "image/test-x") && RegisterMimeType("tsty", "image/test-y");
}

TEST(MimeType, TakenFromTheLastDotOfTheWholeName)
{
    ASSERT_TRUE(s_Registered);
    EXPECT_STREQ(GetMimeTypeFromFileName("a.b/c.tstx").m_Name.GetText(), "image/test-x");
    EXPECT_STREQ(GetMimeTypeFromFileName("tex.tsty").m_Name.GetText(), "image/test-y");
    EXPECT_EQ(GetMimeTypeFromFileName("tex.tsty").m_Hash, StrHash("image/test-y"));
    for (const char* name : {"TEX.TSTX", "dir.tstx\\file", "noextension", "", "trailing.", "x.tstxx"})
    {
        CMimeType type = GetMimeTypeFromFileName(name);
        EXPECT_TRUE(type.IsEmpty()) << name;
        EXPECT_EQ(type.m_Hash, 0) << name;
        EXPECT_EQ(type, g_EmptyMimeType) << name;
    }
}

TEST(MimeType, EqualityNeedsHashAndText)
{
    CMimeType a("image/png");
    CMimeType b("image/png");
    CMimeType c("image/pnh");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    CMimeType forged("image/jpeg");
    forged.m_Hash = a.m_Hash; // same hash, other text
    EXPECT_NE(a, forged);
}
