#include "demosystem.h"
#include "logcapture.h"
#include "modelfiles.h"
#include "scripttest.h"
#include "stuffreader.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
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

int32_t IntValue(CContainer* node, int index)
{
    return node->m_Values[index]->ToInt();
}
} // namespace

TEST(StuffReader, EmptyArchiveHasAnEmptyTreeAndDataAtFour)
{
    CArchive archive(Archive({}));
    EXPECT_TRUE(archive.m_Reader.Load());
    EXPECT_EQ(archive.m_Reader.m_Root.m_Children.GetCount(), 0);
    EXPECT_EQ(archive.m_Reader.m_Reader.GetPosition(), 4);
    EXPECT_EQ(archive.m_Reader.FindDirectory(CString()), &archive.m_Reader.m_Root);
    EXPECT_EQ(archive.m_Reader.OpenFile("a"), nullptr);
}

TEST(StuffReader, DirectoryOffsetsAndTree)
{
    CArchive archive(Archive({{"a", TBytes(10, 'A')}, {"b\\c", TBytes(20, 'C')}}));
    ASSERT_TRUE(archive.m_Reader.Load());
    CContainer* a = archive.m_Reader.FindNode("a", false);
    CContainer* c = archive.m_Reader.FindNode("b\\c", false);
    ASSERT_TRUE(a && c);
    EXPECT_EQ(IntValue(a, 0), CStuffReader::KIND_FILE);
    EXPECT_STREQ(a->m_Values[1]->ToString().GetText(), "a");
    EXPECT_EQ(IntValue(a, 2), 10);
    EXPECT_EQ(IntValue(a, 3), 26);
    EXPECT_EQ(IntValue(c, 2), 20);
    EXPECT_EQ(IntValue(c, 3), 36);

    CContainer* b = archive.m_Reader.FindDirectory("b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_Values.GetCount(), 2);
    EXPECT_EQ(IntValue(b, 0), CStuffReader::KIND_DIRECTORY);
    ASSERT_EQ(b->m_Children.GetCount(), 1);
    EXPECT_EQ(b->m_Children[0], c);
    EXPECT_EQ(c->m_Parent, b);

    EXPECT_EQ(archive.Content("a"), std::string(10, 'A'));
    EXPECT_EQ(archive.Content("b\\c"), std::string(20, 'C'));
    // Opening twice reads twice; directories and missing paths give nothing.
    EXPECT_EQ(archive.Content("b\\c"), std::string(20, 'C'));
    EXPECT_EQ(archive.m_Reader.OpenNode(b), nullptr);
    EXPECT_EQ(archive.m_Reader.OpenNode(nullptr), nullptr);
    EXPECT_EQ(archive.Content("b"), "<none>");
    EXPECT_EQ(archive.m_Reader.FindDirectory("a"), nullptr);
    EXPECT_EQ(archive.m_Reader.FindDirectory("b\\x"), nullptr);
}

TEST(StuffReader, NamesAreLowerCasedAndLookupsExact)
{
    CArchive archive(Archive({{"Textures\\Crate.DDS", "x"}}));
    ASSERT_TRUE(archive.m_Reader.Load());
    EXPECT_EQ(archive.Content("textures\\crate.dds"), "x");
    EXPECT_EQ(archive.Content("Textures\\Crate.DDS"), "<none>");
    EXPECT_EQ(archive.m_Reader.FindDirectory("Textures"), nullptr);
    EXPECT_NE(archive.m_Reader.FindDirectory("textures"), nullptr);
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

    CString path;
    archive.m_Reader.GetDirectoryPath(archive.m_Reader.FindNode("root.dds", false), path);
    EXPECT_STREQ(path.GetText(), "");
    archive.m_Reader.GetDirectoryPath(archive.m_Reader.FindNode("textures\\props\\lamp.dds", false), path);
    EXPECT_STREQ(path.GetText(), "textures\\props\\");
}

TEST(StuffReader, ZeroLengthEntriesGiveClosedBlocks)
{
    CArchive archive(Archive({{"empty", ""}, {"after", "xyz"}}));
    ASSERT_TRUE(archive.m_Reader.Load());
    CMemoryBlock* block = archive.m_Reader.OpenFile("empty");
    ASSERT_NE(block, nullptr);
    EXPECT_FALSE(block->IsOpen());
    EXPECT_TRUE(block->IsEOF());
    EXPECT_EQ(block->GetSize(), 0);
    delete block;
    EXPECT_EQ(archive.Content("after"), "xyz");
}

TEST(StuffReader, OnlyTheFirstLoadReads)
{
    CArchive archive(Archive({{"a", "1"}}));
    EXPECT_TRUE(archive.m_Reader.Load());
    EXPECT_FALSE(archive.m_Reader.Load());
    EXPECT_EQ(archive.m_Reader.m_Root.m_Children.GetCount(), 1);
    EXPECT_EQ(archive.Content("a"), "1");

    CStuffReader missing;
    missing.m_FileName = "/nonexistent/archive.stuff";
    CLogCapture log;
    EXPECT_FALSE(missing.Load());
    EXPECT_FALSE(missing.Load());
    EXPECT_EQ(missing.OpenFile("a"), nullptr);
    EXPECT_EQ(log.Text(), "");
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

TEST(StuffReader, ADuplicatedPathKeepsTheFirstEntry)
{
    CArchive archive(Archive({{"dir\\same", "first"}, {"DIR\\Same", "second!"}, {"tail", "end"}}));
    CLogCapture log;
    ASSERT_TRUE(archive.m_Reader.Load());
    EXPECT_EQ(log.Text(), std::string("CStuffReader: ") + archive.m_Reader.m_FileName.GetText() +
                              ": duplicate entry dir\\same, the first one is kept\n");
    EXPECT_EQ(archive.Content("dir\\same"), "first");
    EXPECT_EQ(archive.Content("tail"), "end");
    EXPECT_EQ(archive.m_Reader.FindDirectory("dir")->m_Children.GetCount(), 1);
}

TEST(MemoryBlock, SeekAndReadStayInside)
{
    CMemoryBlock block(4);
    memcpy(block.m_Data, "abcd", 4);
    char out[8] = {};
    EXPECT_EQ(block.Seek(4, 0), 4);
    EXPECT_TRUE(block.IsEOF());
    EXPECT_EQ(block.Read(out, 1), 0);
    EXPECT_EQ(block.Seek(5, 0), 5);
    EXPECT_EQ(block.m_Position, 4);
    EXPECT_EQ(block.Seek(-1, 0), -1);
    EXPECT_EQ(block.m_Position, 4);
    EXPECT_EQ(block.Seek(1, 0), 1);
    EXPECT_EQ(block.Seek(2, 1), 3);
    EXPECT_EQ(block.m_Position, 3);
    EXPECT_EQ(block.Seek(1, 1), 4); // the end itself is not reached relatively
    EXPECT_EQ(block.m_Position, 3);
    EXPECT_EQ(block.Seek(-9, 1), -6);
    EXPECT_EQ(block.m_Position, 3);
    EXPECT_EQ(block.Seek(-3, 2), 1);
    EXPECT_EQ(block.m_Position, 1);
    EXPECT_EQ(block.Read(out, 8), 3);
    EXPECT_STREQ(out, "bcd");
    EXPECT_EQ(block.Seek(0, 0), 0);
    EXPECT_EQ(block.Read(nullptr, 2), 2);
    EXPECT_EQ(block.Read(out, -1), 0);
    EXPECT_EQ(block.m_Position, 2);
    EXPECT_EQ(block.GetPosition(), -1);
    EXPECT_TRUE(block.m_MimeType.IsEmpty());
}

TEST(StuffReader, ScriptBlockPublishesTheReaderAndStaysPassive)
{
    CTestShow show("stufffile {\n name arc\n filename \"data/x.stuff\"\n starttime 3\n}\n");
    CVariant value;
    ASSERT_TRUE(show.m_System.FindOutput("arc", &value));
    ASSERT_EQ(value.m_Type, CVariant::TYPE_POINTER);
    CStuffReader* reader = static_cast<CStuffReader*>(value.ToPointer());
    EXPECT_STREQ(reader->m_FileName.GetText(), "data/x.stuff");
    EXPECT_FALSE(reader->m_Loaded);
    EXPECT_EQ(reader->m_StartTime, -1.0f);
    EXPECT_EQ(reader->m_EndTime, -1.0f);
    EXPECT_EQ(reader->m_Duration, 0.0f);
    EXPECT_STREQ(reader->GetKeyword(), "stufffile");
}
