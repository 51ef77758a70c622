// The examples of the show author's manual: every script parses completely, names only blocks
// that exist, and every keyword of the program is documented. Whole shows are played by the
// end-to-end tests.
#include "check.h"
#include "container.h"
#include "keth/func/classregistry.h"
#include "keth/func/exception.h"
#include "keth/func/stream.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include "testsupport.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// The block keywords of the registration table.
const std::set<std::string> EFFECT_KEYWORDS = {
    "camera", "chain",  "timedchain", "clear",   "palette",          "vornmodel",   "vorntextures",
    "grid",   "group",  "light",      "model",   "nullobj",          "object",      "screen",
    "rotate", "shader", "texture",    "cubemap", "generatedcubemap", "breltexture", "stufffile"};
// Blocks whose child blocks are effects; in all others they are parameters (materials, objects).
const std::set<std::string> GROUPS = {"group", "chain", "timedchain", "generatedcubemap"};

struct SExample
{
    std::string m_Kind; // "show", "script" or "file"
    int m_Line;         // of the opening fence
    std::string m_Text;
};

std::string ReadManual()
{
    std::ifstream in(MANUAL_PATH);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<SExample> Examples(const std::string& manual)
{
    std::vector<SExample> examples;
    std::istringstream in(manual);
    std::string line;
    int number = 0;
    SExample* open = nullptr;
    bool inOther = false;
    while (std::getline(in, line))
    {
        ++number;
        if (line.rfind("```", 0) == 0)
        {
            if (open || inOther)
            {
                open = nullptr;
                inOther = false;
                continue;
            }
            std::string info = line.substr(3);
            std::string kind = info.substr(0, info.find(' '));
            if (kind == "show" || kind == "script" || kind == "file")
            {
                examples.push_back({kind, number, ""});
                open = &examples.back();
            }
            else
                inOther = true;
            continue;
        }
        if (open)
            open->m_Text += line + "\n";
    }
    EXPECT_FALSE(open || inOther) << "a code block of the manual is not closed";
    return examples;
}

// Lines of the text that must become nodes: everything but blank, comment, closing and
// include lines.
int ExpectedNodes(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    int count = 0;
    while (std::getline(in, line))
    {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        std::string rest = line.substr(start);
        if (rest[0] == '/' || rest[0] == '}' || rest.rfind("INCLUDE", 0) == 0)
            continue;
        ++count;
    }
    return count;
}

int CountNodes(const CContainer& node)
{
    int count = 0;
    for (int i = 0; i < node.m_Children.GetCount(); ++i)
        count += 1 + CountNodes(*node.m_Children[i]);
    return count;
}

// Effect blocks of a level, and of the groups inside it.
void CollectKeywords(const CContainer& level, std::vector<std::string>& keywords)
{
    for (int i = 0; i < level.m_Children.GetCount(); ++i)
    {
        const CContainer& line = *level.m_Children[i];
        if (line.m_Children.GetCount() == 0 || line.m_Values.GetCount() == 0)
            continue;
        std::string keyword = line.m_Values[0]->ToString().GetText();
        keywords.push_back(keyword);
        if (GROUPS.count(keyword))
            CollectKeywords(line, keywords);
    }
}

class ManualTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Manual = ReadManual();
        ASSERT_FALSE(m_Manual.empty()) << "no manual at " << MANUAL_PATH;
        m_Examples = Examples(m_Manual);
    }
    std::string m_Manual;
    std::vector<SExample> m_Examples;
};
} // namespace

TEST_F(ManualTest, EveryScriptExampleParsesWhollyAndNamesOnlyKnownBlocks)
{
    int shows = 0, scripts = 0;
    for (const SExample& example : m_Examples)
    {
        if (example.m_Kind == "file")
            continue;
        (example.m_Kind == "show" ? shows : scripts)++;
        SCOPED_TRACE("the example at line " + std::to_string(example.m_Line) + " of the manual");
        NKeth::CMemoryReader in(example.m_Text.data(), int32_t(example.m_Text.size()));
        CContainer root;
        const std::string error = ErrorOf([&] { root.Read(in); });
        if (!error.empty())
        {
            ADD_FAILURE() << "raises \"" << error << "\"";
            continue;
        }
        // A stray brace ends the script early: every line must be in the tree.
        EXPECT_EQ(CountNodes(root), ExpectedNodes(example.m_Text));
        std::vector<std::string> keywords;
        CollectKeywords(root, keywords);
        EXPECT_FALSE(keywords.empty());
        for (const std::string& keyword : keywords)
            EXPECT_TRUE(EFFECT_KEYWORDS.count(keyword)) << "unknown block \"" << keyword << "\"";
    }
    EXPECT_GE(shows, 5);
    EXPECT_GE(scripts, 3);
}

TEST_F(ManualTest, EveryKeywordIsDocumentedAndTheProgramKnowsTheDocumentedOnes)
{
    std::set<std::string> headings;
    std::istringstream in(m_Manual);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("### ", 0) == 0)
            headings.insert(line.substr(4));
    for (const std::string& keyword : EFFECT_KEYWORDS)
        EXPECT_TRUE(headings.count(keyword)) << "no section for \"" << keyword << "\"";
    EXPECT_TRUE(headings.count("imageformat"));

    for (const std::string& keyword : EFFECT_KEYWORDS)
        EXPECT_TRUE(NKeth::NClassRegistry::Find(keyword.c_str()))
            << "documented, not in the program: " << keyword;
}

#ifdef VORNSCR_TOOL
// Every whole show of the manual checks clean inside the sample show, whose files it names.
TEST_F(ManualTest, EveryShowChecksCleanInTheSampleShow)
{
    if (!NTestPlatform::RunsShellCommands())
        GTEST_SKIP() << "needs the POSIX shell to run the tool";
    CTempDir dir;
    const std::string show = dir / "show";
    std::string output;
    ASSERT_EQ(RunTool("sample '" + show + "'", output), 0) << output;
    for (const SExample& example : m_Examples)
        if (example.m_Kind == "file")
        {
            std::istringstream lines(m_Manual);
            std::string line;
            for (int n = 1; std::getline(lines, line) && n <= example.m_Line; ++n)
            {
                if (n == example.m_Line)
                {
                    ASSERT_TRUE(WriteBytes(show + "/" + line.substr(line.find(' ') + 1), example.m_Text));
                }
            }
        }
    CWorkingDirectory enter(show);
    ASSERT_TRUE(enter.Entered());
    for (const SExample& example : m_Examples)
    {
        if (example.m_Kind != "show")
            continue;
        SCOPED_TRACE("the example at line " + std::to_string(example.m_Line) + " of the manual");
        ASSERT_TRUE(WriteBytes("vornscr/script.txt", example.m_Text));
        std::string problems;
        for (const NCheck::SProblem& p : NCheck::CheckShow())
            problems += p.m_File + ":" + std::to_string(p.m_Line) + ": " + p.m_Text + "\n";
        EXPECT_EQ(problems, "");
    }
}
#endif
