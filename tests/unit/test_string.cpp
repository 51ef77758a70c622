#include "keth/base/memorymanager.h"
#include "keth/func/string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace NKeth;

TEST(CString, EmptyFormsHaveAOneByteBuffer)
{
    CString a;
    CString b;
    b = static_cast<const char*>(nullptr);
    for (const CString* s : {&a, &b})
    {
        EXPECT_EQ(s->m_Size, 1);
        EXPECT_EQ(s->GetLength(), 0);
        EXPECT_STREQ(s->GetText(), "");
    }
}

TEST(CString, ConstructionFormatsAndAssignmentCopiesVerbatim)
{
    CString formatted("%d%%-%s", 12, "ab");
    EXPECT_STREQ(formatted.GetText(), "12%-ab");
    CString assigned;
    assigned = "100%d";
    EXPECT_STREQ(assigned.GetText(), "100%d");
    EXPECT_EQ(assigned.m_Size, 6);
    CString copy(assigned);
    EXPECT_STREQ(copy.GetText(), "100%d");
    EXPECT_NE(copy.GetText(), assigned.GetText());
}

TEST(CString, SelfAssignmentAndAssignmentFromOwnTextAreSafe)
{
    CString s;
    s = "hello world";
    s = s;
    EXPECT_STREQ(s.GetText(), "hello world");
    s = s.GetText() + 6;
    EXPECT_STREQ(s.GetText(), "world");
    EXPECT_EQ(s.m_Size, 6);
}

TEST(CString, FormattingLongerThanTheBufferIsCut)
{
    std::string big(50000, 'z');
    CString s("%s", big.c_str());
    EXPECT_EQ(s.GetLength(), CString::FORMAT_BUFFER_SIZE - 1);
    CString t;
    t.Format("%s!", big.c_str());
    EXPECT_EQ(t.GetLength(), CString::FORMAT_BUFFER_SIZE - 1);
}

TEST(CString, AppendSetAndConcatenation)
{
    CString a;
    a = "ab";
    CString b;
    b = "cde";
    CString c = a + b;
    EXPECT_STREQ(c.GetText(), "abcde");
    EXPECT_EQ(c.m_Size, 6);
    a += b;
    a += a;
    EXPECT_STREQ(a.GetText(), "abcdeabcde");
    a.Set("xyz", 2);
    EXPECT_STREQ(a.GetText(), "xy");
    EXPECT_EQ(a.m_Size, 3);
}

TEST(CString, FindAndContains)
{
    CString s;
    s = "abcabc";
    EXPECT_EQ(s.Find("bc"), 1);
    EXPECT_EQ(s.Find("%c%c", 'c', 'a'), 2);
    EXPECT_EQ(s.Find("abcabcd"), -1);
    EXPECT_EQ(s.Find("%s", ""), 0);
    EXPECT_EQ(s.Find("x"), -1);
    EXPECT_TRUE(s.Contains("cab"));
    EXPECT_FALSE(s.Contains("cc"));
    CString percent;
    percent = "50% off";
    EXPECT_TRUE(percent.Contains("% o"));
}

TEST(CString, RemoveClampsAndGivesEmptyOnBadArguments)
{
    CString s;
    s = "abc";
    EXPECT_STREQ(s.Remove(0, 3).GetText(), "");
    EXPECT_STREQ(s.Remove(2, 0).GetText(), "");
    EXPECT_STREQ(s.Remove(3, 1).GetText(), "abc");
    EXPECT_STREQ(s.Remove(1, 100).GetText(), "a");
    EXPECT_STREQ(s.Remove(-1, 1).GetText(), "");
    EXPECT_STREQ(s.Remove(4, 1).GetText(), "");
    EXPECT_STREQ(s.Remove(1, 1).GetText(), "ac");
    EXPECT_STREQ(s.GetText(), "abc");
}

TEST(CString, TokenSplitsUntilEmpty)
{
    CString path;
    path = "data\\models\\rock.lwo";
    EXPECT_STREQ(path.Token("\\").GetText(), "data");
    EXPECT_STREQ(path.Token("\\").GetText(), "models");
    EXPECT_STREQ(path.Token("\\").GetText(), "rock.lwo");
    EXPECT_EQ(path.GetLength(), 0);

    CString trailing;
    trailing = "ab::";
    EXPECT_STREQ(trailing.Token("::").GetText(), "ab");
    EXPECT_STREQ(trailing.GetText(), "");

    CString none;
    none = "whole";
    EXPECT_STREQ(none.Token(",").GetText(), "whole");
    EXPECT_STREQ(none.GetText(), "");
}

TEST(CString, ComparisonAndLowering)
{
    CString s;
    s = "MiXed-\xC4Z";
    EXPECT_TRUE(s == "MiXed-\xC4Z");
    EXPECT_TRUE(s != "mixed");
    s.MakeLower();
    EXPECT_STREQ(s.GetText(), "mixed-\xC4z");
}

TEST(CString, GetBufferGivesAnEmptyTextOfTheRequestedSize)
{
    CString s;
    s = "old";
    char* buffer = s.GetBuffer(6);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(s.m_Size, 6);
    memcpy(buffer, "hello", 6);
    EXPECT_STREQ(s.GetText(), "hello");
}

TEST(StringPrimitives, CompareHashAndLength)
{
    EXPECT_EQ(StrCmp("a", "b"), -1);
    EXPECT_EQ(StrCmp("b", "a"), 1);
    EXPECT_EQ(StrCmp("\x80", "a"), 1); // bytes compare unsigned
    EXPECT_EQ(StrCmp("ab", "ab"), 0);
    EXPECT_EQ(StrCmp("ab", "abc"), -1);
    EXPECT_EQ(StrHash(""), 0);
    EXPECT_EQ(StrHash("a"), 97);
    EXPECT_EQ(StrHash("\xff"), -1);
    EXPECT_EQ(StrHash("ab"), 97 * 31 + 98);
    uint32_t h = 0;
    for (const char* c = "a much longer text that wraps around"; *c; ++c)
        h = h * 31 + uint32_t(*c);
    EXPECT_EQ(StrHash("a much longer text that wraps around"), int32_t(h));
    EXPECT_EQ(StrLen("four"), 4);
    char buffer[16];
    EXPECT_STREQ(SPrintF(buffer, "%03d", 7), "007");
}
