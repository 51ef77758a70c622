#include "container.h"
#include "scripttest.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "tempdir.h"

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
std::string Dump(const CContainer& node, int depth = 0)
{
    std::string out;
    for (int i = 0; i < node.m_Children.GetCount(); ++i)
    {
        const CContainer* child = node.m_Children[i];
        EXPECT_EQ(child->m_Parent, &node);
        out += std::string(size_t(depth) * 2, ' ');
        for (int j = 0; j < child->m_Values.GetCount(); ++j)
            out += (j ? " " : "") + Tagged(*child->m_Values[j]);
        out += "\n" + Dump(*child, depth + 1);
    }
    return out;
}

std::string DumpText(const std::string& text)
{
    CContainer root;
    ReadScript(root, text);
    return Dump(root);
}

// Files an INCLUDE may name in these tests, served from memory.
std::map<std::string, std::string> g_Files;

CInputStream* OpenFromMemory(const char* path)
{
    auto it = g_Files.find(path);
    return it == g_Files.end() ? nullptr : NEW CTextReader(it->second);
}

} // namespace

// --- Line parser --------------------------------------------------------------------------

TEST(ParseValues, ValuesOfEveryKindAndTheBracesOfBlocks)
{
    const struct
    {
        const char* m_Text;
        std::vector<std::string> m_Values;
        int m_Result = 0; // 1 when the line opens a block, -1 when it closes one
    } cases[] = {
        {"value 3 4.25 \"a b\" (1 2 3) word",
         {"str:value", "int:3", "float:4.250000", "str:a b", "vec3:(1.000000 2.000000 3.000000)",
          "str:word"}},
        // Bare words drop other characters, quoted strings keep them.
        {"file.txt", {"str:filetxt"}},
        {"a-b/c{d}e_9", {"str:abcde_9"}},
        {"\"x / y\" z", {"str:x / y", "str:z"}},
        {"\"a\"b", {"str:a", "str:b"}},
        {"\"\"", {"str:"}},
        {"-", {"int:0"}},
        {"1.", {"float:1.000000"}},
        {"-.5", {"float:-0.500000"}},
        {"-12\t007", {"int:-12", "int:7"}},
        // Digits accumulate in 64 bits; the int keeps the low 32.
        {"4294967297", {"int:1"}},
        {"(1 2)", {"vec2:(1.000000 2.000000)"}},
        {"( 0\t1.5  -3 )", {"vec3:(0.000000 1.500000 -3.000000)"}},
        {"(1 2 3 4)", {"vec4:(1.000000 2.000000 3.000000 4.000000)"}},
        // The character after a vector is consumed unexamined.
        {"(1 2)x 5", {"vec2:(1.000000 2.000000)", "int:5"}},
        {"pos 1 /comment \"unterminated", {"str:pos", "int:1"}},
        {"// only a comment", {}},
        {" \t ", {}},
        // Braces open and close only as whole values.
        {"group{", {"str:group"}},
        {"pos (1 2){", {"str:pos", "vec2:(1.000000 2.000000)"}},
        {"pos (1 2) {", {"str:pos", "vec2:(1.000000 2.000000)"}, 1},
        {"group { ignored ) ( \"", {"str:group"}, 1},
        {"last 1 } any", {"str:last", "int:1"}, -1},
        {"{", {}, 1},
        {"}", {}, -1},
    };
    for (const auto& c : cases)
    {
        SLine line = Parse(c.m_Text);
        EXPECT_EQ(line.m_Result, c.m_Result) << c.m_Text;
        EXPECT_EQ(line.m_Values, c.m_Values) << c.m_Text;
    }
    EXPECT_EQ(Parse(("0." + std::string(10000, '9')).c_str()).m_Values.size(), 1u);
    EXPECT_EQ(Parse("99999999999999999999999999.99999999999999999999999").m_Values[0].substr(0, 6), "float:");
}

TEST(ParseValues, MalformedValuesRaise)
{
    for (const char* text :
         {"1.5e3", "1.2.3", "--1",         "1-",          "3,4",   "5{",     "5/ comment",
          ".5",    "(1)",   "()",          "(1 2 3 4 5)", "(1,2)", "(1 .5)", "(1 a)",
          "(1 2",  "(1 2 ", "name \"open", "#define",     "a , b", "key )",  "\xc3\xa9t\xc3\xa9",
          "_x"})
        EXPECT_EQ(ParseError(text), "error") << text;
}

TEST(ParseValues, CapacityAndFreshValues)
{
    std::string text;
    for (int i = 0; i < 70; ++i)
        text += std::to_string(i) + " ";
    SLine line = Parse(text.c_str());
    ASSERT_EQ(line.m_Values.size(), 64u);
    EXPECT_EQ(line.m_Values[63], "int:63");
    EXPECT_EQ(ParseError((text + "1e5").c_str()), "error"); // dropped values are still checked
    EXPECT_EQ(Parse("a b c", 2).m_Values.size(), 2u);
    EXPECT_EQ(Parse("a b c {", 0).m_Result, 1);

    CVariant values[2];
    values[0] = CVariant("old text");
    values[0].m_Data[7] = 5;
    values[1] = CVariant(9, 9, 9, 9);
    int count = 2;
    CContainer::ParseValues("12 (1 2)", values, &count);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(values[0].m_Text.GetText(), "");
    EXPECT_EQ(values[0].m_Data[7], 0.0f);
    EXPECT_EQ(values[1].m_Type, CVariant::TYPE_VECTOR2);
    EXPECT_EQ(values[1].m_Data[2], 0.0f);
}

// --- Tree ---------------------------------------------------------------------------------

TEST(ContainerRead, BlocksBecomeNodesWithTheirLinesAsChildren)
{
    const struct
    {
        const char* m_Script;
        const char* m_Tree;
    } cases[] = {
        {"", ""},
        {"group {\n  name \"g\"\n  rotate {\n    speed 2\n  }\n}\nafter 1\n",
         "str:group\n  str:name str:g\n  str:rotate\n    str:speed int:2\nstr:after int:1\n"},
        // A brace on its own line opens no block, and its close ends the root.
        {"group\n{\nname x\n}\nlater 1\nother {\nx 1\n}\n", "str:group\nstr:name str:x\n"},
        // A missing close leaves the rest inside the block.
        {"a {\nb {\nc 1\n}\nd 2\n", "str:a\n  str:b\n    str:c int:1\n  str:d int:2\n"},
        {"a 1\rb 2", "str:a int:1\nstr:b int:2\n"},
        {"a {\r\nx (0 1.5 -3)\r\n}\r\n", "str:a\n  str:x vec3:(0.000000 1.500000 -3.000000)\n"},
        {"a {\nx 1 }\ny 2\n", "str:a\n  str:x int:1\nstr:y int:2\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DumpText(c.m_Script), c.m_Tree) << c.m_Script;
    CContainer root;
    NKeth::CFileReader missing("/nonexistent/vornscr/script.txt");
    EXPECT_TRUE(root.Read(missing));
    EXPECT_EQ(root.m_Children.GetCount(), 0);
}

TEST(ContainerRead, ErrorsStopTheReadAndLeaveAFreeableTree)
{
    CContainer root;
    EXPECT_EQ(ErrorOf([&] { ReadScript(root, "a {\nb 1\nc 1e5\nd 1\n}\n"); }), "error");
    ASSERT_EQ(root.m_Children.GetCount(), 1);
    EXPECT_EQ(root.m_Children[0]->m_Children.GetCount(), 1);

    CLogCapture log;
    CContainer longLine;
    const std::string text = "a " + std::string(CContainer::LINE_BUFFER_SIZE, 'x') + "\n";
    EXPECT_EQ(ErrorOf([&] { ReadScript(longLine, text); }), "error");
    EXPECT_TRUE(log.Contains("line longer than 65535 bytes"));
    CContainer fits;
    ReadScript(fits, "a " + std::string(CContainer::LINE_BUFFER_SIZE - 3, 'x'));
    ASSERT_EQ(fits.m_Children.GetCount(), 1);
    EXPECT_EQ(fits.m_Children[0]->m_Values[1]->m_Text.GetLength(), CContainer::LINE_BUFFER_SIZE - 3);
}

TEST(ContainerRead, DeepNestingAndLongBlocks)
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
    for (; node->m_Children.GetCount() > 0; ++levels)
        node = node->m_Children[0];
    EXPECT_EQ(levels, depth + 1);
    delete root; // without recursion, or the stack would not hold

    text = "block {\n";
    for (int i = 0; i < 1000; ++i)
        text += "line " + std::to_string(i) + "\n";
    CContainer many;
    ReadScript(many, text + "}\n");
    const CContainer* block = many.m_Children[0];
    ASSERT_EQ(block->m_Children.GetCount(), 1000);
    EXPECT_EQ(block->m_Children.GetCapacity(), 1000);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(block->m_Children[i]->m_Values[1]->ToInt(), i);
}

// --- Lookups ------------------------------------------------------------------------------

// What a lookup of the key gives: "found" or "default" and the value stored, or the error.
std::string Lookup(CContainer& root, char kind, const char* key)
{
    if (kind == 'n')
    {
        const CContainer* line = root.Find(key);
        return line ? line->m_Values[1]->ToString().GetText() : "none";
    }
    int i = -1;
    float f = -1, v[3] = {9, 9, 9};
    CString s;
    bool found = false;
    const std::string error = ErrorOf(
        [&]
        {
            if (kind == 'i')
                found = root.GetInt(key, &i, 5);
            else if (kind == 'f')
                found = root.GetFloat(key, &f, 1.5f);
            else if (kind == 's')
                found = root.GetString(key, &s, "d");
            else
                found = root.GetVector3(key, v, 7, 8, 9);
        });
    if (!error.empty())
        return error;
    const CString value = kind == 'i'   ? CString("%d", i)
                          : kind == 'f' ? CString("%g", double(f))
                          : kind == 's' ? s
                                        : CString("%g %g %g", double(v[0]), double(v[1]), double(v[2]));
    return (found ? "found " : "default ") + std::string(value.GetText());
}

TEST(ContainerLookups, FirstLineByTextFormCaseSensitivelyWithTheDefaultStoredWhenMissingAndReadVars)
{
    CContainer root;
    ReadScript(root, "name first\nname second\nNAME upper\n5 five\n(1 2) vec\ncount 3\nratio 2.75\n"
                     "text \"hi there\"\npos (1 2 3)\ncolor (1 2 3 4)\nalone\n"
                     "part intro 2.5 3 -4\nvec 7 (1 2 3 4) (5 6) word\nshort a 1\n");
    const struct
    {
        char m_Kind; // n: Find, i, f, s, v: GetInt, GetFloat, GetString, GetVector3
        const char* m_Key;
        const char* m_Result;
    } cases[] = {
        {'n', "name", "first"},
        {'n', "NAME", "upper"},
        {'n', "Name", "none"},
        {'n', "5", "five"},
        {'n', "(1.000000 2.000000)", "vec"},
        {'i', "count", "found 3"},
        {'i', "alone", "default 5"},
        {'i', "text", "Variant type error"},
        {'f', "ratio", "found 2.75"},
        {'f', "missing", "default 1.5"},
        {'s', "text", "found hi there"},
        {'s', "pos", "found (1.000000 2.000000 3.000000)"},
        {'s', "alone", "default d"},
        {'v', "pos", "found 1 2 3"},
        {'v', "color", "found 0 0 0"},
        {'v', "missing", "default 7 8 9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lookup(root, c.m_Kind, c.m_Key), c.m_Result) << c.m_Kind << " " << c.m_Key;
    EXPECT_EQ(root.Find(nullptr), nullptr);

    // ReadVars reads one value per letter and raises on bad letters and short lines.

    CString name;
    float time = 0, x = 0, four[4] = {}, two[2] = {}, three[3] = {9, 9, 9};
    int y = 0, seven = 0;
    EXPECT_TRUE(CContainer::ReadVars(root.Find("part"), "sffi", &name, &time, &x, &y));
    EXPECT_TRUE(CContainer::ReadVars(root.Find("vec"), "i423", &seven, four, two, three));
    // The data words of a string are zero.
    EXPECT_EQ(std::make_tuple(std::string(name.GetText()), time, x, y, seven, four[3], two[1], three[0]),
              std::make_tuple(std::string("intro"), 2.5f, 3.0f, -4, 7, 4.0f, 6.0f, 0.0f));

    CContainer* line = root.Find("short");
    x = 42;
    EXPECT_EQ(ErrorOf([&] { CContainer::ReadVars(line, "sx", &name, &time); }), "CContainer::ReadVars error");
    EXPECT_EQ(ErrorOf([&] { CContainer::ReadVars(line, "sff", &name, &time, &x); }),
              "CContainer::ReadVars error");
    EXPECT_EQ(x, 42.0f);
    EXPECT_EQ(ErrorOf([&] { CContainer::ReadVars(line, "f", &time); }), "Variant type error");
}

// --- INCLUDE ------------------------------------------------------------------------------

TEST(ContainerInclude, IncludeRules)
{
    const CContainer::TIncludeOpener previous = CContainer::SetIncludeOpener(OpenFromMemory);
    for (int i = 0; i < 30; ++i)
        g_Files["f" + std::to_string(i)] =
            "level " + std::to_string(i) + "\nINCLUDE f" + std::to_string(i + 1) + "\n";
    std::string levels;
    for (int i = 0; i < CContainer::MAX_INCLUDE_DEPTH; ++i)
        levels += "str:level int:" + std::to_string(i) + "\n";
    g_Files["parts/a.txt"] = "x 1\ninner {\ny 2\n}\n";
    g_Files["more"] = "z 1\n";
    g_Files["closes"] = "a 1\n}\nignored 2\n";
    g_Files["loop"] = "x 1\nINCLUDE loop\n";
    const struct
    {
        const char* m_Script;
        std::string m_Tree;
        const char* m_Log;
    } cases[] = {
        {"first 0\ngroup {\nINCLUDE \"parts/a.txt\"\nlast 3\n}\n",
         "str:first int:0\nstr:group\n  str:x int:1\n  str:inner\n    str:y int:2\n  str:last int:3\n", ""},
        // Only a line of exactly two strings is an include.
        {"INCLUDE more extra\nINCLUDE 5\ninclude more\n",
         "str:INCLUDE str:more str:extra\nstr:INCLUDE int:5\nstr:include str:more\n", ""},
        {"a 1\nINCLUDE nothere\nb 2\n", "str:a int:1\nstr:b int:2\n", ""},
        {"INCLUDE more {\nafter 1\n", "str:z int:1\nstr:after int:1\n", ""},
        // An unmatched close ends only the included file.
        {"g {\nINCLUDE closes\nb 3\n}\nc 4\n", "str:g\n  str:a int:1\n  str:b int:3\nstr:c int:4\n", ""},
        {"INCLUDE loop\n", "str:x int:1\n", "INCLUDE of a file that is being read, skipped: loop"},
        {"INCLUDE f0\n", levels, "INCLUDE nested deeper than 16 files, skipped: f16"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_Script);
        CLogCapture log;
        EXPECT_EQ(DumpText(c.m_Script), c.m_Tree);
        if (*c.m_Log)
            EXPECT_TRUE(log.Contains(c.m_Log)) << log.Text();
        else
            EXPECT_EQ(log.Text(), "");
    }

    g_Files["bad"] = "ok 1\nbad 1e3\n";
    CContainer root;
    EXPECT_EQ(ErrorOf([&] { ReadScript(root, "a 1\nINCLUDE bad\nb 2\n"); }), "error");
    EXPECT_EQ(root.m_Children.GetCount(), 1);
    CContainer::SetIncludeOpener(previous);
}

TEST(ContainerInclude, ReadsRealFilesRelativeToTheWorkingDirectory)
{
    CTempDir dir;
    ASSERT_TRUE(WriteBytes(dir / "sub/part.txt", "from file 1\r\n"));
    CWorkingDirectory inside(dir.Path());
    ASSERT_TRUE(inside.Entered());
    EXPECT_EQ(DumpText("INCLUDE \"sub/part.txt\"\nINCLUDE \"sub\\part.txt\"\nINCLUDE \"sub/none.txt\"\n"),
              "str:from str:file int:1\nstr:from str:file int:1\n");
}
