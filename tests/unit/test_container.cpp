#include "container.h"
#include "keth/func/exception.h"
#include "scripttest.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

#include "testplatform.h"
#include <vector>

using namespace NKeth;

namespace
{
// One parsed line: the result code and the values in text form, each tagged by type.
struct SLine
{
    int m_Result = 0;
    std::vector<std::string> m_Values;
};

std::string Tagged(const CVariant& v)
{
    static const char* const names[] = {"empty", "int", "float", "vec2", "vec3", "vec4", "mat", "str", "ptr"};
    return std::string(names[v.m_Type]) + ":" + v.ToString().GetText();
}

SLine Parse(const char* text, int capacity = CContainer::MAX_LINE_VALUES)
{
    std::vector<CVariant> values(size_t(capacity > 0 ? capacity : 1));
    SLine line;
    int count = capacity;
    line.m_Result = CContainer::ParseValues(text, values.data(), &count);
    for (int i = 0; i < count; ++i)
        line.m_Values.push_back(Tagged(values[size_t(i)]));
    return line;
}

std::string ParseError(const char* text)
{
    return ErrorOf([&] { Parse(text); });
}

// The tree as text: one line per node, its values joined by blanks, children indented.
void Dump(const CContainer& node, std::string& out, int depth)
{
    for (int i = 0; i < node.m_Children.GetCount(); ++i)
    {
        const CContainer* child = node.m_Children[i];
        EXPECT_EQ(child->m_Parent, &node);
        out += std::string(size_t(depth) * 2, ' ');
        for (int j = 0; j < child->m_Values.GetCount(); ++j)
            out += (j ? " " : "") + Tagged(*child->m_Values[j]);
        out += "\n";
        Dump(*child, out, depth + 1);
    }
}

std::string DumpText(const std::string& text)
{
    CContainer root;
    ReadScript(root, text);
    std::string out;
    Dump(root, out, 0);
    return out;
}

// Files an INCLUDE may name in these tests, served from memory.
std::map<std::string, std::string> g_Files;
std::vector<std::string> g_Opened;

class CStringReader : public CMemoryReader
{
public:
    explicit CStringReader(const std::string& text) : CMemoryReader(nullptr, 0), m_Text(text)
    {
        m_Data = reinterpret_cast<const unsigned char*>(m_Text.data());
        m_Size = int32_t(m_Text.size());
    }
    std::string m_Text;
};

CInputStream* OpenFromMemory(const char* path)
{
    g_Opened.push_back(path);
    auto it = g_Files.find(path);
    return it == g_Files.end() ? nullptr : NEW CStringReader(it->second);
}

class IncludeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_Files.clear();
        g_Opened.clear();
        m_Previous = CContainer::SetIncludeOpener(OpenFromMemory);
    }
    void TearDown() override { CContainer::SetIncludeOpener(m_Previous); }

    CContainer::TIncludeOpener m_Previous = nullptr;
};
} // namespace

// --- Line parser --------------------------------------------------------------------------

TEST(ParseValues, ReadsEveryKindOfValue)
{
    SLine line = Parse("value 3 4.25 \"a b\" (1 2 3) word");
    EXPECT_EQ(line.m_Result, 0);
    std::vector<std::string> expected = {
        "str:value", "int:3", "float:4.250000", "str:a b", "vec3:(1.000000 2.000000 3.000000)", "str:word"};
    EXPECT_EQ(line.m_Values, expected);
}

TEST(ParseValues, BareWordsDropOtherCharactersQuotedStringsKeepThem)
{
    EXPECT_EQ(Parse("file.txt").m_Values, std::vector<std::string>{"str:filetxt"});
    EXPECT_EQ(Parse("\"file.txt\"").m_Values, std::vector<std::string>{"str:file.txt"});
    EXPECT_EQ(Parse("a-b/c{d}e_9").m_Values, std::vector<std::string>{"str:abcde_9"});
    EXPECT_EQ(Parse("\"x / y\" z").m_Values, (std::vector<std::string>{"str:x / y", "str:z"}));
    // The character after a closing quote is read as the start of the next value.
    EXPECT_EQ(Parse("\"a\"b").m_Values, (std::vector<std::string>{"str:a", "str:b"}));
    EXPECT_EQ(Parse("\"\"").m_Values, std::vector<std::string>{"str:"});
    EXPECT_EQ(Parse("true false").m_Values, (std::vector<std::string>{"str:true", "str:false"}));
    // A '{' glued to a word is dropped with the word's other characters: no block opens.
    SLine glued = Parse("group{");
    EXPECT_EQ(glued.m_Result, 0);
    EXPECT_EQ(glued.m_Values, std::vector<std::string>{"str:group"});
}

TEST(ParseValues, NumbersAreIntsOrFloatsAndMustEndAtABlank)
{
    EXPECT_EQ(Parse("-").m_Values, std::vector<std::string>{"int:0"});
    EXPECT_EQ(Parse("1.").m_Values, std::vector<std::string>{"float:1.000000"});
    EXPECT_EQ(Parse("-.5").m_Values, std::vector<std::string>{"float:-0.500000"});
    EXPECT_EQ(Parse("-12\t007").m_Values, (std::vector<std::string>{"int:-12", "int:7"}));
    EXPECT_EQ(Parse("10.5").m_Values, std::vector<std::string>{"float:10.500000"});
    EXPECT_EQ(Parse("0.125").m_Values, std::vector<std::string>{"float:0.125000"});
    EXPECT_EQ(ParseError("1.5e3"), "error");
    EXPECT_EQ(ParseError("1.2.3"), "error");
    EXPECT_EQ(ParseError("--1"), "error");
    EXPECT_EQ(ParseError("1-"), "error");
    EXPECT_EQ(ParseError("3,4"), "error");
    EXPECT_EQ(ParseError("5{"), "error");
    EXPECT_EQ(ParseError("5/ comment"), "error");
    EXPECT_EQ(ParseError(".5"), "error");
}

TEST(ParseValues, HugeNumbersWrapWithoutFailing)
{
    // Digits accumulate in 64 bits; the int keeps the low 32 bits, the float the value.
    EXPECT_EQ(Parse("4294967297").m_Values, std::vector<std::string>{"int:1"});
    SLine big = Parse("99999999999999999999999999.99999999999999999999999");
    ASSERT_EQ(big.m_Values.size(), 1u);
    EXPECT_EQ(big.m_Values[0].substr(0, 6), "float:");
    std::string digits(10000, '9');
    EXPECT_EQ(Parse(("0." + digits).c_str()).m_Values.size(), 1u);
}

TEST(ParseValues, VectorsHoldTwoToFourFloatComponents)
{
    EXPECT_EQ(Parse("(1 2)").m_Values, std::vector<std::string>{"vec2:(1.000000 2.000000)"});
    EXPECT_EQ(Parse("( 0\t1.5  -3 )").m_Values,
              std::vector<std::string>{"vec3:(0.000000 1.500000 -3.000000)"});
    EXPECT_EQ(Parse("(1 2 3 4)").m_Values,
              std::vector<std::string>{"vec4:(1.000000 2.000000 3.000000 4.000000)"});
    EXPECT_EQ(ParseError("(1)"), "error");
    EXPECT_EQ(ParseError("()"), "error");
    EXPECT_EQ(ParseError("(1 2 3 4 5)"), "error");
    EXPECT_EQ(ParseError("(1,2)"), "error");
    EXPECT_EQ(ParseError("(1 .5)"), "error");
    EXPECT_EQ(ParseError("(1 a)"), "error");
    EXPECT_EQ(ParseError("(1 2"), "error");
    EXPECT_EQ(ParseError("(1 2 "), "error");
}

TEST(ParseValues, TheCharacterAfterAVectorIsConsumedUnexamined)
{
    EXPECT_EQ(Parse("(1 2)x 5").m_Values, (std::vector<std::string>{"vec2:(1.000000 2.000000)", "int:5"}));
    // So a brace glued to a vector neither opens nor closes a block.
    SLine glued = Parse("pos (1 2){");
    EXPECT_EQ(glued.m_Result, 0);
    EXPECT_EQ(glued.m_Values.size(), 2u);
    SLine spaced = Parse("pos (1 2) {");
    EXPECT_EQ(spaced.m_Result, 1);
}

TEST(ParseValues, CommentsBracesAndTheEndOfTheLine)
{
    SLine comment = Parse("pos 1 /comment \"unterminated");
    EXPECT_EQ(comment.m_Result, 0);
    EXPECT_EQ(comment.m_Values, (std::vector<std::string>{"str:pos", "int:1"}));
    EXPECT_EQ(Parse("// only a comment").m_Values.size(), 0u);
    EXPECT_EQ(Parse("").m_Values.size(), 0u);
    EXPECT_EQ(Parse(" \t ").m_Values.size(), 0u);

    SLine open = Parse("group { ignored ) ( \"");
    EXPECT_EQ(open.m_Result, 1);
    EXPECT_EQ(open.m_Values, std::vector<std::string>{"str:group"});
    SLine close = Parse("last 1 } anything");
    EXPECT_EQ(close.m_Result, -1);
    EXPECT_EQ(close.m_Values.size(), 2u);
    EXPECT_EQ(Parse("{").m_Result, 1);
    EXPECT_EQ(Parse("}").m_Result, -1);
}

TEST(ParseValues, OtherCharactersAndUnterminatedStringsRaise)
{
    EXPECT_EQ(ParseError("name \"open"), "error");
    EXPECT_EQ(ParseError("#define"), "error");
    EXPECT_EQ(ParseError("a , b"), "error");
    EXPECT_EQ(ParseError("key )"), "error");
    EXPECT_EQ(ParseError("\xc3\xa9t\xc3\xa9"), "error");
    EXPECT_EQ(ParseError("_x"), "error");
}

TEST(ParseValues, ValuesBeyondTheCapacityAreParsedAndDropped)
{
    std::string text;
    for (int i = 0; i < 70; ++i)
        text += std::to_string(i) + " ";
    SLine line = Parse(text.c_str());
    ASSERT_EQ(line.m_Values.size(), 64u);
    EXPECT_EQ(line.m_Values[63], "int:63");
    // Dropped values are still checked.
    EXPECT_EQ(ParseError((text + "1e5").c_str()), "error");
    EXPECT_EQ(Parse("a b c", 2).m_Values.size(), 2u);
    EXPECT_EQ(Parse("a b c {", 0).m_Result, 1);
}

TEST(ParseValues, StoredValuesAreFreshWhateverTheArrayHeldBefore)
{
    CVariant values[2];
    values[0] = CVariant("old text");
    values[0].m_Data[7] = 5;
    values[1] = CVariant(9, 9, 9, 9);
    int count = 2;
    CContainer::ParseValues("12 (1 2)", values, &count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(values[0].m_Type, CVariant::TYPE_INT);
    EXPECT_STREQ(values[0].m_Text.GetText(), "");
    EXPECT_EQ(values[0].m_Data[7], 0.0f);
    EXPECT_EQ(values[1].m_Type, CVariant::TYPE_VECTOR2);
    EXPECT_EQ(values[1].m_Data[2], 0.0f);
    EXPECT_EQ(values[1].m_Data[3], 0.0f);
}

// --- Tree ---------------------------------------------------------------------------------

TEST(ContainerRead, AnEmptyStreamGivesAnEmptyRoot)
{
    CContainer root;
    CMemoryReader empty(nullptr, 0);
    EXPECT_TRUE(root.Read(empty));
    EXPECT_EQ(root.m_Children.GetCount(), 0);
    EXPECT_EQ(root.m_Parent, nullptr);
    NKeth::CFileReader missing("/nonexistent/vornscr/script.txt");
    EXPECT_TRUE(root.Read(missing));
    EXPECT_EQ(root.m_Children.GetCount(), 0);
}

TEST(ContainerRead, ABlockBecomesOneNodeWithItsLinesAsChildren)
{
    EXPECT_EQ(DumpText("group {\n  name \"g\"\n  rotate {\n    speed 2\n  }\n}\nafter 1\n"),
              "str:group\n"
              "  str:name str:g\n"
              "  str:rotate\n"
              "    str:speed int:2\n"
              "str:after int:1\n");
}

TEST(ContainerRead, ABraceOnItsOwnLineOpensNoBlockAndItsCloseEndsTheRoot)
{
    EXPECT_EQ(DumpText("group\n{\nname x\n}\nlater 1\nother {\nx 1\n}\n"), "str:group\n"
                                                                           "str:name str:x\n");
}

TEST(ContainerRead, AMissingCloseLeavesTheRestInsideTheBlock)
{
    EXPECT_EQ(DumpText("a {\nb {\nc 1\n}\nd 2\n"), "str:a\n"
                                                   "  str:b\n"
                                                   "    str:c int:1\n"
                                                   "  str:d int:2\n");
}

TEST(ContainerRead, CarriageReturnLineEndsParseLikeNewlines)
{
    std::string unix = "group {\nname \"a b\"\npos (0 1.5 -3)\n}\nclear {\ncolor red\n}\n";
    std::string dos;
    for (char c : unix)
        dos += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(DumpText(dos), DumpText(unix));
    EXPECT_EQ(DumpText("a 1\rb 2"), "str:a int:1\nstr:b int:2\n");
}

TEST(ContainerRead, ValuesAndCloseOnOneLine)
{
    EXPECT_EQ(DumpText("a {\nx 1 }\ny 2\n"), "str:a\n  str:x int:1\nstr:y int:2\n");
}

TEST(ContainerRead, ErrorsStopTheReadAndLeaveAFreeableTree)
{
    CContainer root;
    std::string text = "a {\nb 1\nc 1e5\nd 1\n}\n";
    CMemoryReader reader(text.data(), int32_t(text.size()));
    EXPECT_EQ(ErrorOf([&] { root.Read(reader); }), "error");
    ASSERT_EQ(root.m_Children.GetCount(), 1);
    EXPECT_EQ(root.m_Children[0]->m_Children.GetCount(), 1);
}

TEST(ContainerRead, LinesLongerThanTheBufferAreRejected)
{
    CLogCapture log;
    std::string text = "a " + std::string(CContainer::LINE_BUFFER_SIZE, 'x') + "\n";
    CContainer root;
    CMemoryReader reader(text.data(), int32_t(text.size()));
    EXPECT_EQ(ErrorOf([&] { root.Read(reader); }), "error");
    EXPECT_TRUE(log.Contains("line longer than 65535 bytes"));

    std::string fits = "a " + std::string(CContainer::LINE_BUFFER_SIZE - 3, 'x');
    CContainer ok;
    ReadScript(ok, fits);
    ASSERT_EQ(ok.m_Children.GetCount(), 1);
    EXPECT_EQ(ok.m_Children[0]->m_Values[1]->m_Text.GetLength(), CContainer::LINE_BUFFER_SIZE - 3);
}

TEST(ContainerRead, DeepNestingIsReadAndFreedWithoutRecursion)
{
    const int depth = 200000;
    std::string text;
    text.reserve(size_t(depth) * 4);
    for (int i = 0; i < depth; ++i)
        text += "a {\n";
    text += "leaf 1\n";
    CContainer* root = new CContainer;
    ReadScript(*root, text);
    const CContainer* node = root;
    int levels = 0;
    while (node->m_Children.GetCount() > 0)
    {
        node = node->m_Children[0];
        ++levels;
    }
    EXPECT_EQ(levels, depth + 1);
    delete root;
}

TEST(ContainerRead, ManyLinesKeepTheirOrderAndExactArrays)
{
    std::string text = "block {\n";
    for (int i = 0; i < 1000; ++i)
        text += "line " + std::to_string(i) + "\n";
    text += "}\n";
    CContainer root;
    ReadScript(root, text);
    ASSERT_EQ(root.m_Children.GetCount(), 1);
    const CContainer* block = root.m_Children[0];
    ASSERT_EQ(block->m_Children.GetCount(), 1000);
    EXPECT_EQ(block->m_Children.GetCapacity(), 1000);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(block->m_Children[i]->m_Values[1]->ToInt(), i);
}

// --- Lookups ------------------------------------------------------------------------------

TEST(ContainerFind, MatchesTheFirstLineByTextFormCaseSensitively)
{
    CContainer root;
    ReadScript(root, "name first\nname second\nNAME upper\n5 five\n(1 2) vec\n");
    ASSERT_NE(root.Find("name"), nullptr);
    EXPECT_STREQ(root.Find("name")->m_Values[1]->m_Text.GetText(), "first");
    EXPECT_STREQ(root.Find("NAME")->m_Values[1]->m_Text.GetText(), "upper");
    EXPECT_EQ(root.Find("Name"), nullptr);
    EXPECT_EQ(root.Find("missing"), nullptr);
    EXPECT_EQ(root.Find(nullptr), nullptr);
    ASSERT_NE(root.Find("5"), nullptr);
    EXPECT_NE(root.Find("(1.000000 2.000000)"), nullptr);
}

TEST(ContainerGetters, StoreTheDefaultFirstAndReportWhetherTheKeyWasThere)
{
    CContainer root;
    ReadScript(root,
               "count 3\nratio 2.75\nnumber 7\ntext \"hi there\"\npos (1 2 3)\ncolor (1 2 3 4)\nalone\n");
    int i = -1;
    float f = -1;
    CString s;
    float v[3] = {9, 9, 9};

    EXPECT_TRUE(root.GetInt("count", &i, 5));
    EXPECT_EQ(i, 3);
    EXPECT_TRUE(root.GetInt("ratio", &i, 5));
    EXPECT_EQ(i, 2);
    EXPECT_FALSE(root.GetInt("missing", &i, 5));
    EXPECT_EQ(i, 5);
    EXPECT_FALSE(root.GetInt("alone", &i, 6));
    EXPECT_EQ(i, 6);

    EXPECT_TRUE(root.GetFloat("number", &f, 1));
    EXPECT_EQ(f, 7.0f);
    EXPECT_TRUE(root.GetFloat("ratio", &f, 1));
    EXPECT_EQ(f, 2.75f);
    EXPECT_FALSE(root.GetFloat("missing", &f, 1.5f));
    EXPECT_EQ(f, 1.5f);

    EXPECT_TRUE(root.GetString("text", &s, "d"));
    EXPECT_STREQ(s.GetText(), "hi there");
    EXPECT_TRUE(root.GetString("ratio", &s, "d"));
    EXPECT_STREQ(s.GetText(), "2.750000");
    EXPECT_TRUE(root.GetString("pos", &s, "d"));
    EXPECT_STREQ(s.GetText(), "(1.000000 2.000000 3.000000)");
    EXPECT_FALSE(root.GetString("alone", &s, "d"));
    EXPECT_STREQ(s.GetText(), "d");

    EXPECT_TRUE(root.GetVector3("pos", v, 7, 8, 9));
    EXPECT_EQ(CVector3(v[0], v[1], v[2]), CVector3(1, 2, 3));
    EXPECT_TRUE(root.GetVector3("color", v, 7, 8, 9));
    EXPECT_EQ(CVector3(v[0], v[1], v[2]), CVector3(0, 0, 0));
    EXPECT_FALSE(root.GetVector3("missing", v, 7, 8, 9));
    EXPECT_EQ(CVector3(v[0], v[1], v[2]), CVector3(7, 8, 9));
}

TEST(ContainerGetters, NumbersOfTheWrongTypeRaise)
{
    CContainer root;
    ReadScript(root, "text \"12\"\npos (1 2 3)\n");
    int i = 0;
    float f = 0;
    EXPECT_EQ(ErrorOf([&] { root.GetInt("text", &i, 0); }), "Variant type error");
    EXPECT_EQ(ErrorOf([&] { root.GetFloat("pos", &f, 0); }), "Variant type error");
}

TEST(ContainerReadVars, ReadsOneValuePerLetter)
{
    CContainer root;
    ReadScript(root, "part intro 2.5 3 -4\nvec 7 (1 2 3 4) (5 6) word\n");
    CString name;
    float time = 0, x = 0;
    int y = 0;
    EXPECT_TRUE(CContainer::ReadVars(root.Find("part"), "sffi", &name, &time, &x, &y));
    EXPECT_STREQ(name.GetText(), "intro");
    EXPECT_EQ(time, 2.5f);
    EXPECT_EQ(x, 3.0f);
    EXPECT_EQ(y, -4);

    float four[4] = {}, two[2] = {}, three[3] = {9, 9, 9};
    int seven = 0;
    EXPECT_TRUE(CContainer::ReadVars(root.Find("vec"), "i423", &seven, four, two, three));
    EXPECT_EQ(seven, 7);
    EXPECT_EQ(four[3], 4.0f);
    EXPECT_EQ(two[1], 6.0f);
    // The data words of a string are zero.
    EXPECT_EQ(three[0], 0.0f);
}

TEST(ContainerReadVars, BadLettersAndShortLinesRaise)
{
    CContainer root;
    ReadScript(root, "part a 1\n");
    CString name;
    float time = 0, x = 42;
    EXPECT_EQ(ErrorOf([&] { CContainer::ReadVars(root.Find("part"), "sx", &name, &time); }),
              "CContainer::ReadVars error");
    EXPECT_EQ(ErrorOf([&] { CContainer::ReadVars(root.Find("part"), "sff", &name, &time, &x); }),
              "CContainer::ReadVars error");
    EXPECT_EQ(x, 42.0f);
    EXPECT_EQ(ErrorOf([&] { CContainer::ReadVars(root.Find("part"), "f", &time); }), "Variant type error");
}

// --- INCLUDE ------------------------------------------------------------------------------

TEST_F(IncludeTest, IncludedLinesJoinTheCurrentBlockInOrder)
{
    g_Files["parts/a.txt"] = "x 1\ninner {\ny 2\n}\n";
    EXPECT_EQ(DumpText("first 0\ngroup {\nINCLUDE \"parts/a.txt\"\nlast 3\n}\n"), "str:first int:0\n"
                                                                                  "str:group\n"
                                                                                  "  str:x int:1\n"
                                                                                  "  str:inner\n"
                                                                                  "    str:y int:2\n"
                                                                                  "  str:last int:3\n");
    EXPECT_EQ(g_Opened, std::vector<std::string>{"parts/a.txt"});
}

TEST_F(IncludeTest, ABareWordNamesAFileToo)
{
    g_Files["more"] = "z 1\n";
    EXPECT_EQ(DumpText("INCLUDE more\n"), "str:z int:1\n");
}

TEST_F(IncludeTest, OnlyTwoStringValuesMakeAnInclude)
{
    g_Files["f"] = "z 1\n";
    EXPECT_EQ(DumpText("INCLUDE f extra\nINCLUDE 5\ninclude f\n"),
              "str:INCLUDE str:f str:extra\nstr:INCLUDE int:5\nstr:include str:f\n");
    EXPECT_TRUE(g_Opened.empty());
}

TEST_F(IncludeTest, AMissingFileIsSkippedSilently)
{
    CLogCapture log;
    EXPECT_EQ(DumpText("a 1\nINCLUDE nothere\nb 2\n"), "str:a int:1\nstr:b int:2\n");
    EXPECT_EQ(log.Text(), "");
}

TEST_F(IncludeTest, AnIncludeLineNeverOpensABlock)
{
    g_Files["f"] = "z 1\n";
    EXPECT_EQ(DumpText("INCLUDE f {\nafter 1\n"), "str:z int:1\nstr:after int:1\n");
}

TEST_F(IncludeTest, AnUnmatchedCloseInsideAnIncludedFileEndsOnlyThatFile)
{
    g_Files["f"] = "a 1\n}\nignored 2\n";
    EXPECT_EQ(DumpText("g {\nINCLUDE f\nb 3\n}\nc 4\n"),
              "str:g\n  str:a int:1\n  str:b int:3\nstr:c int:4\n");
}

TEST_F(IncludeTest, AFileThatIncludesItselfIsReadOnce)
{
    CLogCapture log;
    g_Files["loop"] = "x 1\nINCLUDE loop\n";
    EXPECT_EQ(DumpText("INCLUDE loop\n"), "str:x int:1\n");
    EXPECT_TRUE(log.Contains("INCLUDE of a file that is being read, skipped: loop"));
    EXPECT_EQ(g_Opened.size(), 1u);
}

TEST_F(IncludeTest, IncludesNestDeeperThanTheLimitAreSkipped)
{
    CLogCapture log;
    for (int i = 0; i < 30; ++i)
        g_Files["f" + std::to_string(i)] =
            "level " + std::to_string(i) + "\nINCLUDE f" + std::to_string(i + 1) + "\n";
    std::string tree = DumpText("INCLUDE f0\n");
    std::string expected;
    for (int i = 0; i < CContainer::MAX_INCLUDE_DEPTH; ++i)
        expected += "str:level int:" + std::to_string(i) + "\n";
    EXPECT_EQ(tree, expected);
    EXPECT_TRUE(log.Contains("INCLUDE nested deeper than 16 files, skipped: f16"));
}

TEST_F(IncludeTest, AnErrorInAnIncludedFilePassesThrough)
{
    g_Files["bad"] = "ok 1\nbad 1e3\n";
    CContainer root;
    std::string text = "a 1\nINCLUDE bad\nb 2\n";
    CMemoryReader reader(text.data(), int32_t(text.size()));
    EXPECT_EQ(ErrorOf([&] { root.Read(reader); }), "error");
    EXPECT_EQ(root.m_Children.GetCount(), 1);
}

TEST(ContainerInclude, ReadsRealFilesRelativeToTheWorkingDirectory)
{
    std::string dir = NTestPlatform::MakeTemporaryDirectory("vornscr-include");
    ASSERT_NE(dir, "");
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    ASSERT_TRUE(NTestPlatform::MakeDirectory("sub"));
    FILE* f = fopen("sub/part.txt", "wb");
    fputs("from file 1\r\n", f);
    fclose(f);

    std::string out =
        DumpText("INCLUDE \"sub/part.txt\"\nINCLUDE \"sub\\part.txt\"\nINCLUDE \"sub/none.txt\"\n");

    EXPECT_EQ(chdir(previous), 0);
    remove((std::string(dir) + "/sub/part.txt").c_str());
    rmdir((std::string(dir) + "/sub").c_str());
    rmdir(dir.c_str());
    EXPECT_EQ(out, "str:from str:file int:1\nstr:from str:file int:1\n");
}
