// The examples of the show author's manual: every script reads clean, names only blocks that
// exist, and every keyword of the program is documented. Whole shows are played by the
// end-to-end tests.
#include "check.h"
#include "container.h"
#include "keth/func/classregistry.h"
#include "scripttest.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include "testsupport.h"

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
struct SExample
{
    std::string m_Kind; // "show", "script" or "file"
    std::string m_Name; // what follows the kind, such as the file's path
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
    bool inBlock = false;
    while (std::getline(in, line))
    {
        ++number;
        if (line.rfind("```", 0) == 0)
        {
            inBlock = !inBlock;
            const std::string info = line.substr(3);
            const size_t blank = info.find(' ');
            const std::string kind = info.substr(0, blank);
            open = nullptr;
            if (inBlock && (kind == "show" || kind == "script" || kind == "file"))
            {
                examples.push_back(
                    {kind, blank == std::string::npos ? "" : info.substr(blank + 1), number, ""});
                open = &examples.back();
            }
        }
        else if (open)
            open->m_Text += line + "\n";
    }
    EXPECT_FALSE(inBlock) << "a code block of the manual is not closed";
    return examples;
}

// Effect blocks of a level, and of the groups inside it, must be blocks the program knows.
int ExpectKnownBlocks(const CContainer& level)
{
    int blocks = 0;
    for (int i = 0; i < level.m_Children.GetCount(); ++i)
    {
        const CContainer& line = *level.m_Children[i];
        if (line.m_Children.GetCount() == 0 || line.m_Values.GetCount() == 0)
            continue;
        const std::string keyword = line.m_Values[0]->ToString().GetText();
        const NCheck::SBlock* block = NCheck::FindBlock(keyword);
        EXPECT_TRUE(block) << "unknown block \"" << keyword << "\"";
        blocks += 1 + (block && block->m_Group ? ExpectKnownBlocks(line) : 0);
    }
    return blocks;
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

TEST_F(ManualTest, EveryScriptExampleReadsCleanAndNamesOnlyKnownBlocks)
{
    int shows = 0, scripts = 0;
    for (const SExample& example : m_Examples)
    {
        if (example.m_Kind == "file")
            continue;
        (example.m_Kind == "show" ? shows : scripts)++;
        SCOPED_TRACE("the example at line " + std::to_string(example.m_Line) + " of the manual");
        // Syntax, braces (a stray one ends the script early) and bare words.
        std::vector<NCheck::SProblem> problems;
        std::vector<NCheck::SInclude> includes;
        NCheck::ScanScript("example", example.m_Text, problems, includes);
        EXPECT_EQ(NCheck::ProblemLines(problems), "");
        CContainer root;
        ASSERT_EQ(ErrorOf([&] { ReadScript(root, example.m_Text); }), "");
        EXPECT_GT(ExpectKnownBlocks(root), 0);
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
    EXPECT_TRUE(headings.count("imageformat"));
    for (const NCheck::SBlock& block : NCheck::Blocks())
    {
        EXPECT_TRUE(headings.count(block.m_Keyword)) << "no section for \"" << block.m_Keyword << "\"";
        EXPECT_TRUE(NKeth::NClassRegistry::Find(block.m_Keyword))
            << "not in the program: " << block.m_Keyword;
    }
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
        ASSERT_TRUE(example.m_Kind != "file" || WriteBytes(show + "/" + example.m_Name, example.m_Text));
    CWorkingDirectory enter(show);
    ASSERT_TRUE(enter.Entered());
    for (const SExample& example : m_Examples)
    {
        if (example.m_Kind != "show")
            continue;
        SCOPED_TRACE("the example at line " + std::to_string(example.m_Line) + " of the manual");
        ASSERT_TRUE(WriteBytes("vornscr/script.txt", example.m_Text));
        EXPECT_EQ(NCheck::ProblemLines(NCheck::CheckShow()), "");
    }
}
#endif
