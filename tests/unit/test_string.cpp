#include "keth/base/memorymanager.h"
#include "keth/func/string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace NKeth;

TEST(CString, FormattingAssignmentAndCopies)
{
    CString empty;
    EXPECT_STREQ(empty.GetText(), "");
    empty = static_cast<const char*>(nullptr);
    EXPECT_EQ(empty.GetLength(), 0);

    CString s;
    s = "100%d"; // assignment is verbatim, never a format
    CString copy(s);
    EXPECT_STREQ(copy.GetText(), "100%d");
    EXPECT_NE(copy.GetText(), s.GetText());

    s = "hello world";
    s = s;
    EXPECT_STREQ(s.GetText(), "hello world");
    s = s.GetText() + 6;
    EXPECT_STREQ(s.GetText(), "world");

    std::string big(50000, 'z');
    EXPECT_EQ(CString("%s", big.c_str()).GetLength(), CString::FORMAT_BUFFER_SIZE - 1);
}

TEST(CString, EditingAndSearching)
{
    CString a, b;
    a = "ab";
    b = "cde";
    a += b;
    a += a; // the text appended is its own
    EXPECT_STREQ(a.GetText(), "abcdeabcde");

    CString s;
    s = "abcabc";
    EXPECT_EQ(s.Find("bc"), 1);
    EXPECT_EQ(s.Find("%c%c", 'c', 'a'), 2);
    EXPECT_EQ(s.Find("abcabcd"), -1);
    EXPECT_EQ(s.Find("%s", ""), 0);

    s = "abc";
    const struct
    {
        int m_Start, m_Count;
        const char* m_Left;
    } removals[] = {{0, 3, ""},  {2, 0, ""}, {3, 1, "abc"}, {1, 100, "a"},
                    {-1, 1, ""}, {4, 1, ""}, {1, 1, "ac"}};
    for (const auto& r : removals)
        EXPECT_STREQ(s.Remove(r.m_Start, r.m_Count).GetText(), r.m_Left) << r.m_Start << " " << r.m_Count;
    EXPECT_STREQ(s.GetText(), "abc");

    CString path;
    path = "data\\models\\rock.lwo";
    for (const char* part : {"data", "models", "rock.lwo", ""})
        EXPECT_STREQ(path.Token("\\").GetText(), part);
    path = "ab::";
    EXPECT_STREQ(path.Token("::").GetText(), "ab");
    EXPECT_STREQ(path.GetText(), "");

    s = "MiXed-\xC4Z";
    EXPECT_TRUE(s == "MiXed-\xC4Z");
    EXPECT_TRUE(s != "mixed");
    s.MakeLower();
    EXPECT_STREQ(s.GetText(), "mixed-\xC4z");

    char* buffer = s.GetBuffer(6);
    EXPECT_STREQ(buffer, "");
    memcpy(buffer, "hello", 6);
    EXPECT_STREQ(s.GetText(), "hello");
}

TEST(StringPrimitives, CompareHashAndLength)
{
    EXPECT_EQ(StrCmp("a", "b"), -1);
    EXPECT_EQ(StrCmp("\x80", "a"), 1); // bytes compare unsigned
    EXPECT_EQ(StrCmp("ab", "ab"), 0);
    EXPECT_EQ(StrCmp("ab", "abc"), -1);
    EXPECT_EQ(StrHash("ab"), 97 * 31 + 98);
    EXPECT_EQ(StrHash("\xff"), -1);
}
