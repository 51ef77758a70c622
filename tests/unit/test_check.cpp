// The show checker against broken shows, and the script reader's locations in the log.
#include "check.h"
#include "container.h"
#include "content.h"
#include "logcapture.h"
#include "modelfiles.h"
#include "tempdir.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
typedef std::map<std::string, std::string> TFiles;

// Every expected "FILE:LINE: part" matches one problem, and nothing else is reported.
void ExpectProblems(const TFiles& files, const std::vector<std::string>& expected)
{
    CTempDir dir;
    const NContent::SPixels pixels(4, 4);
    ASSERT_TRUE(WriteBytes(dir / "data/grid.tga", NContent::WriteTGA(pixels, false, false)));
    for (const auto& file : files)
        ASSERT_TRUE(WriteBytes(dir / file.first, file.second));
    CWorkingDirectory enter(dir.Path());
    ASSERT_TRUE(enter.Entered());
    const std::vector<NCheck::SProblem> problems = NCheck::CheckShow();
    const std::string all = NCheck::ProblemLines(problems);
    for (const std::string& line : expected)
    {
        const size_t colon = line.find(": ");
        bool found = false;
        for (const NCheck::SProblem& p : problems)
            found = found || (line.compare(0, colon, p.m_File + ":" + std::to_string(p.m_Line)) == 0 &&
                              p.m_Text.find(line.substr(colon + 2)) != std::string::npos);
        EXPECT_TRUE(found) << "missing " << line << "\nreported:\n" << all;
    }
    EXPECT_EQ(problems.size(), expected.size()) << all;
}

const char* const SCRIPT = "vornscr/script.txt";

std::string OneTriangle()
{
    NContent::SModelFile model;
    model.m_Vertices.assign(3 * size_t(model.FloatsPerVertex()), 0.0f);
    model.m_Vertices[size_t(model.FloatsPerVertex())] = 1.0f;
    model.m_Vertices[2 * size_t(model.FloatsPerVertex()) + 1] = 1.0f;
    model.m_Indices = {0, 1, 2};
    return NContent::WriteModelFile(model);
}
} // namespace

TEST(Check, TellsWhatIsWrongAndWhere)
{
    struct SCase
    {
        const char* m_Name;
        TFiles m_Files;
        std::vector<std::string> m_Expected;
    };
    const SCase cases[] = {
        {"syntax",
         {{SCRIPT, "clear {\n starttime 1.5e3\n pos (1, 2)\n name \"open\n prio 0;\n pos (1 2 3 4a)\n}\n"}},
         {"vornscr/script.txt:2: without an exponent", "vornscr/script.txt:3: not commas",
          "vornscr/script.txt:4: is not closed", "vornscr/script.txt:5: without ';'",
          "vornscr/script.txt:6: words that start with a letter"}},
        {"braces",
         {{SCRIPT, "group {\n clear\n {\n }\n grid {\n }\n}\n}\nclear {\n name late\n}\n"},
          {"vornscr/more.txt", "grid {\n name g\n"}},
         {"vornscr/script.txt:3: a '{' alone", "vornscr/script.txt:5: grid block has no lines",
          "vornscr/script.txt:7: its 4 later lines are ignored"}},
        {"an unclosed block in an include",
         {{SCRIPT, "INCLUDE \"vornscr/more.txt\"\n"}, {"vornscr/more.txt", "grid {\n name g\n"}},
         {"vornscr/more.txt:1: grid block opened here is not closed"}},
        {"keywords, keys and bare words",
         {{SCRIPT, "texure {\n name x\n}\nrotate {\n scael 2\n position 1\n scale 1\n scale 2\n}\n"
                   "texture {\n texturefile data/grid.tga\n}\n"}},
         {"vornscr/script.txt:1: did you mean texture?", "vornscr/script.txt:5: did you mean scale?",
          "vornscr/script.txt:6: read as (0 0 0)", "vornscr/script.txt:8: only line 7 is read",
          "vornscr/script.txt:11: file datagridtga does not exist",
          "vornscr/script.txt:10: texture without a name is never used",
          "vornscr/script.txt:11: is read as datagridtga"}},
        {"files",
         {{SCRIPT,
           "INCLUDE \"vornscr/gone.txt\"\ncubemap {\n name sky\n posx \"grid.tga\"\n negx \"nx.tga\"\n"
           " posy \"grid.tga\"\n negy \"grid.tga\"\n posz \"grid.tga\"\n negz \"photo.JPG\"\n}\n"
           "shader {\n name s\n shaderfile \"none.shader\"\n}\nmodel {\n name m\n modelfile \"bad.lwo\"\n}\n"
           "texture {\n name t\n texturefile \"data/broken.png\"\n}\n"
           "screen {\n texture sky\n}\nvornmodel {\n name v\n stuff \"m|x.mdl\"\n materials {\n"
           "  default {\n   texture t\n   shader s\n  }\n }\n}\n"},
          {"data/photo.JPG", "\xff\xd8\xff"},
          {"data/broken.png", "\x89PNG\r\n\x1a\nnot really"},
          {"data/bad.lwo", "FORM"}},
         {"vornscr/script.txt:1: INCLUDE file vornscr/gone.txt does not exist",
          "vornscr/script.txt:5: data/nx.tga does not exist", "vornscr/script.txt:9: rename it to lower case",
          "vornscr/script.txt:13: data/none.shader does not exist",
          "vornscr/script.txt:17: cannot be read as a LightWave object",
          "vornscr/script.txt:21: data/broken.png cannot be used",
          "vornscr/script.txt:26: vornmodel v is never used",
          "vornscr/script.txt:28: m is a model, not a stufffile"}},
        {"names and colours",
         {{SCRIPT, "palette {\n red (1 0 0 1)\n pink (1 0.5 0.5)\n}\nclear {\n color rde\n}\nclear {\n color "
                   "blue\n}\n"
                   "object {\n light sun\n objects {\n  box red\n }\n}\nscreen {\n objects stage\n}\n"
                   "camera {\n transform spin\n}\nnullobj {\n transform \"spin.position\"\n}\n"
                   "rotate {\n name spin\n}\npalette {\n blue (0 0 1 1)\n}\nobject {\n name stage\n}\n"}},
         {"vornscr/script.txt:3: needs four numbers", "vornscr/script.txt:6: did you mean red?",
          "vornscr/script.txt:9: defined in a palette after this line",
          "vornscr/script.txt:12: no block is named sun", "vornscr/script.txt:14: no block is named box",
          "vornscr/script.txt:18: stage is defined after this line",
          "vornscr/script.txt:24: spin (a rotate) publishes no position"}},
        {"times",
         {{SCRIPT,
           "clear {\n starttime 10\n endtime 4\n}\ngroup {\n endtime 5\n grid {\n  starttime 6\n }\n}\n"
           "grid {\n starttime 1\n endtime 2\n duration 3\n}\ntimedchain {\n part a 1\n part b 2 0 0\n"
           " grid {\n  name a\n }\n}\n"}},
         {"vornscr/script.txt:1: starts at 10 and ends at 4",
          "vornscr/script.txt:7: when its group (line 5) has ended",
          "vornscr/script.txt:14: duration is not used",
          "vornscr/script.txt:17: needs a name, a time and two numbers",
          "vornscr/script.txt:18: no block of this timedchain is named b"}},
        {"archives",
         {{SCRIPT,
           "palette {\n x (1 1 1 1)\n}\nvornmodel {\n name early\n stuff \"props|models\\box.mdl\"\n}\n"
           "stufffile {\n name props\n filename \"data/props.stuff\"\n}\n"
           "vornmodel {\n name a\n stuff \"props|models\\box.mdl\"\n}\n"
           "vornmodel {\n name b\n stuff \"props|models/box.mdl\"\n}\n"
           "vornmodel {\n name c\n stuff \"props|models\\bx.mdl\"\n}\n"
           "vorntextures {\n outputdir \"out\"\n stuff \"props|texture\"\n}\n"
           "object {\n objects {\n  a x\n  b x\n  c x\n  early x\n }\n}\n"},
          {"data/props.stuff",
           NModelFiles::Archive({{"models\\box.mdl", OneTriangle()}, {"textures\\a.dds", "DDS "}})}},
         {"vornscr/script.txt:6: props is defined after this line",
          "vornscr/script.txt:18: written with '\\'", "vornscr/script.txt:22: did you mean models\\box.mdl?",
          "vornscr/script.txt:26: props has no directory texture"}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.m_Name);
        ExpectProblems(c.m_Files, c.m_Expected);
    }
}

TEST(ScriptErrors, NameTheFileTheLineAndWhatWasRead)
{
    struct SCase
    {
        const char* m_Script;
        const char* m_Error;
        const char* m_Location;
    };
    const SCase cases[] = {
        {"group {\n\tstarttime 1.5e3\n}\n", "error", "SCRIPT: show.txt:2: starttime 1.5e3\n"},
        {"a\r\nb\r\n  pos (1, 2)\n", "error", "SCRIPT: show.txt:3: pos (1, 2)\n"},
        {"a\rb\r\tname \"open\n", "error", "SCRIPT: show.txt:3: name \"open\n"},
        {"group {\n name g\n\n starttime \"soon\"\n}\n", "Variant type error",
         "SCRIPT: show.txt:4: starttime \"soon\"\n"},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.m_Script);
        CTextReader in(c.m_Script);
        CContainer root;
        CLogCapture log;
        float value;
        EXPECT_EQ(ErrorOf(
                      [&]
                      {
                          root.Read(in, "show.txt");
                          root.m_Children[0]->GetFloat("starttime", &value, 0);
                      }),
                  c.m_Error);
        EXPECT_EQ(log.Text(), c.m_Location);
    }
}

#ifdef VORNSCR_TOOL
TEST(ToolCommands, ExitStatusAndWhereTheyWrite)
{
    if (!NTestPlatform::RunsShellCommands())
        GTEST_SKIP() << "needs the POSIX shell to run the tool";
    CTempDir dir;
    ASSERT_TRUE(WriteBytes(dir / "in.tga", NContent::WriteTGA(NContent::SPixels(4, 4), false, false)));
    ASSERT_TRUE(WriteBytes(dir / "show/vornscr/script.txt", "clear {\n color none\n}\n"));
    struct SCase
    {
        std::string m_Arguments;
        int m_Status;
        std::string m_Stdout; // start of standard output
        std::string m_Stderr; // part of standard error
    };
    const SCase cases[] = {
        {"help", 0, "usage: vornscr-tool", ""},
        {"", 2, "", "usage: vornscr-tool"},
        {"frobnicate", 2, "", "unknown command frobnicate"},
        {"image " + (dir / "in.tga") + " " + (dir / "out.png"), 1, "", "must end in .tga"},
        {"image " + (dir / "in.tga") + " " + (dir / "in.tga"), 1, "", "would overwrite the input"},
        {"model " + (dir / "in.tga"), 1, "", "not an archive model file, LightWave object or model cache"},
        {"check " + (dir / "show"), 1, "vornscr/script.txt:2: no palette defines the colour none", ""},
        {"check " + (dir / "none"), 2, "", "cannot enter"},
        {"check a b", 2, "", "usage: vornscr-tool check"},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.m_Arguments);
        std::string stdoutText;
        const int status = RunCommand(
            std::string(VORNSCR_TOOL) + " " + c.m_Arguments + " 2>" + (dir / "stderr"), stdoutText);
        const std::string stderrText = ReadBytes(dir / "stderr");
        EXPECT_EQ(status, c.m_Status);
        EXPECT_EQ(stdoutText.rfind(c.m_Stdout, 0), 0u) << stdoutText;
        EXPECT_NE(stderrText.find(c.m_Stderr), std::string::npos) << stderrText;
    }
}
#endif
