#include "logcapture.h"
#include "modelfiles.h"
#include "scripttest.h"
#include "stuffreader.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace NKeth;
using namespace NModelFiles;

namespace
{
// A reader over an archive written into a temporary directory.
class CArchive
{
public:
    explicit CArchive(const TBytes& bytes)
    {
        WriteBytes(m_Dir / "archive.stuff", bytes);
        m_Reader.m_FileName = (m_Dir / "archive.stuff").c_str();
    }
    std::string Content(const char* path)
    {
        CMemoryBlock* block = m_Reader.OpenFile(path);
        if (!block)
            return "<none>";
        std::string bytes(size_t(block->GetSize()), '\0');
        block->Read(&bytes[0], block->GetSize());
        delete block;
        return bytes;
    }
    std::vector<std::string> Paths(const char* pattern, CContainer* start = nullptr)
    {
        TDynamicArray<CContainer*> files;
        m_Reader.FindFiles(pattern, files, start);
        std::vector<std::string> paths;
        for (int i = 0; i < files.GetCount(); ++i)
            paths.push_back(m_Reader.GetPath(files[i]).GetText());
        return paths;
    }

    CTempDir m_Dir;
    CStuffReader m_Reader;
};

} // namespace

TEST(StuffReader, EmptyArchiveHasAnEmptyTreeAndDataAtFourAndAMissingOneNone)
{
    CArchive archive(Archive({}));
    EXPECT_TRUE(archive.m_Reader.Load());
    EXPECT_EQ(archive.m_Reader.m_Root.m_Children.GetCount(), 0);
    EXPECT_EQ(archive.m_Reader.m_Reader.GetPosition(), 4);
    EXPECT_EQ(archive.m_Reader.FindDirectory(CString()), &archive.m_Reader.m_Root);
    EXPECT_EQ(archive.m_Reader.OpenFile("a"), nullptr);

    CStuffReader missing;
    missing.m_FileName = "/nonexistent/archive.stuff";
    CLogCapture log;
    EXPECT_FALSE(missing.Load());
    EXPECT_EQ(missing.OpenFile("a"), nullptr);
    EXPECT_EQ(log.Text(), "");
}

TEST(StuffReader, ContentsTreeAndExactLowerCaseLookups)
{
    CArchive archive(Archive({{"a", TBytes(10, 'A')}, {"B\\C", TBytes(20, 'C')}, {"empty", ""}}));
    ASSERT_TRUE(archive.m_Reader.Load());
    EXPECT_FALSE(archive.m_Reader.Load()); // only the first load reads
    CContainer* c = archive.m_Reader.FindNode("b\\c", false);
    CContainer* b = archive.m_Reader.FindDirectory("b");
    ASSERT_TRUE(b && c);
    ASSERT_EQ(b->m_Children.GetCount(), 1);
    EXPECT_EQ(b->m_Children[0], c);
    EXPECT_EQ(c->m_Parent, b);
    EXPECT_EQ(archive.m_Reader.m_Root.m_Children.GetCount(), 3);

    EXPECT_EQ(archive.Content("a"), std::string(10, 'A'));
    EXPECT_EQ(archive.Content("b\\c"), std::string(20, 'C'));
    // Opening twice reads twice; directories and other cases give nothing.
    EXPECT_EQ(archive.Content("b\\c"), std::string(20, 'C'));
    EXPECT_EQ(archive.Content("B\\C"), "<none>");
    EXPECT_EQ(archive.Content("b"), "<none>");
    EXPECT_EQ(archive.m_Reader.OpenNode(nullptr), nullptr);
    EXPECT_EQ(archive.m_Reader.FindDirectory("B"), nullptr);
    EXPECT_EQ(archive.m_Reader.FindDirectory("a"), nullptr);
    EXPECT_EQ(archive.m_Reader.FindDirectory("b\\x"), nullptr);

    // A zero-length entry gives a closed block.
    CMemoryBlock* block = archive.m_Reader.OpenFile("empty");
    ASSERT_NE(block, nullptr);
    EXPECT_FALSE(block->IsOpen());
    EXPECT_TRUE(block->IsEOF());
    EXPECT_EQ(block->GetSize(), 0);
    delete block;
}

TEST(StuffReader, FindFilesIsDepthFirstInDirectoryOrder)
{
    CArchive archive(Archive({{"textures\\b.dds", "1"},
                              {"textures\\props\\lamp.dds", "2"},
                              {"models\\m.dds", "3"},
                              {"textures\\a.dds.bak", "4"},
                              {"textures\\props\\deep\\x.dds", "5"},
                              {"textures\\z.tga", "6"},
                              {"root.dds", "7"}}));
    ASSERT_TRUE(archive.m_Reader.Load());
    CContainer* textures = archive.m_Reader.FindDirectory("textures");
    EXPECT_EQ(archive.Paths(".dds", textures),
              (std::vector<std::string>{"textures\\b.dds", "textures\\props\\lamp.dds",
                                        "textures\\props\\deep\\x.dds", "textures\\a.dds.bak"}));
    EXPECT_EQ(archive.Paths(".dds").size(), 6u);
    EXPECT_EQ(archive.Paths(".DDS").size(), 0u);
}

TEST(StuffReader, DamagedArchivesServeWhatLiesInsideAndSayWhy)
{
    const TBytes good = Archive({{"a", "12345"}, {"b", "67"}});
    TBytes hugeCount = good;
    hugeCount[0] = char(0xFF);
    hugeCount[1] = char(0xFF);
    TBytes negativeSize = good;
    negativeSize[4 + 3] = char(0x80);
    struct SCase
    {
        const char* m_Name;
        TBytes m_Bytes;
        // Every entry's content ("<none>" when refused), then the reason of each log line.
        std::vector<std::pair<const char*, const char*>> m_Contents;
        std::vector<const char*> m_Reasons;
    } cases[] = {
        {"name too long",
         Archive({{"a", "1"}, {std::string(1024, 'n'), "x"}, {"c", "3"}}),
         {{"a", "1"}, {"c", "3"}},
         {"entry name longer than 1023 bytes (entry 1)"}},
        {"negative size, and so everything after it",
         negativeSize,
         {{"a", "<none>"}, {"b", "<none>"}},
         {"negative entry size (entry 0)", "entry runs past the end of the archive (entry 1)"}},
        {"data past the end",
         good.substr(0, good.size() - 1),
         {{"a", "12345"}, {"b", "<none>"}},
         {"entry runs past the end of the archive (entry 1)"}},
        {"count", hugeCount, {{"a", "<none>"}}, {"entry count does not fit"}},
        {"truncated directory",
         Archive({{"abcdefghij", TBytes(30, 'x')}}).substr(0, 4 + 8 + 3),
         {{"abcdefghij", "<none>"}},
         {"truncated directory"}},
        {"no count", good.substr(0, 3), {{"a", "<none>"}}, {"truncated directory"}},
        {"a duplicated path keeps the first entry",
         Archive({{"dir\\same", "first"}, {"DIR\\Same", "second!"}, {"tail", "end"}}),
         {{"dir\\same", "first"}, {"tail", "end"}},
         {"duplicate entry dir\\same, the first one is kept"}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.m_Name);
        CArchive archive(c.m_Bytes);
        CLogCapture log;
        archive.m_Reader.Load();
        EXPECT_EQ(size_t(std::count(log.Text().begin(), log.Text().end(), '\n')), c.m_Reasons.size())
            << log.Text();
        for (const char* reason : c.m_Reasons)
            EXPECT_TRUE(log.Contains(std::string("archive.stuff: ") + reason)) << log.Text();
        for (const auto& [path, content] : c.m_Contents)
            EXPECT_EQ(archive.Content(path), content) << path;
    }

    // The longest name that fits is read.
    CArchive longest(Archive({{std::string(1023, 'n'), "x"}}));
    EXPECT_TRUE(longest.m_Reader.Load());
    EXPECT_EQ(longest.Content(std::string(1023, 'n').c_str()), "x");
}

TEST(MemoryBlock, SeekAndReadStayInside)
{
    CMemoryBlock block(4);
    memcpy(block.m_Data, "abcd", 4);
    // Offset, origin, the result and the position after; the end is not reached relatively.
    const int32_t seeks[][4] = {{4, 0, 4, 4}, {5, 0, 5, 4}, {-1, 0, -1, 4}, {1, 0, 1, 1},
                                {2, 1, 3, 3}, {1, 1, 4, 3}, {-9, 1, -6, 3}, {-3, 2, 1, 1}};
    for (const auto& seek : seeks)
    {
        EXPECT_EQ(block.Seek(seek[0], seek[1]), seek[2]) << seek[0] << " from " << seek[1];
        EXPECT_EQ(block.m_Position, seek[3]) << seek[0] << " from " << seek[1];
    }
    char out[8] = {};
    EXPECT_EQ(block.Read(out, 8), 3);
    EXPECT_STREQ(out, "bcd");
    EXPECT_TRUE(block.IsEOF());
    EXPECT_EQ(block.Read(out, 1), 0);
    EXPECT_EQ(block.Seek(0, 0), 0);
    EXPECT_EQ(block.Read(nullptr, 2), 2);
    EXPECT_EQ(block.Read(out, -1), 0);
    EXPECT_EQ(block.m_Position, 2);
    EXPECT_EQ(block.GetPosition(), -1);
}

TEST(StuffReader, ScriptBlockPublishesTheReaderAndStaysPassive)
{
    CTestShow show("stufffile {\n name arc\n filename \"data/x.stuff\"\n starttime 3\n}\n");
    CVariant value;
    ASSERT_TRUE(show.m_System.FindOutput("arc", &value));
    ASSERT_EQ(value.m_Type, CVariant::TYPE_POINTER);
    CStuffReader* reader = static_cast<CStuffReader*>(value.ToPointer());
    EXPECT_STREQ(reader->m_FileName.GetText(), "data/x.stuff");
    EXPECT_EQ(std::make_tuple(reader->m_Loaded, reader->m_StartTime, reader->m_EndTime, reader->m_Duration),
              std::make_tuple(false, -1.0f, -1.0f, 0.0f));
}
