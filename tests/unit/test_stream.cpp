#include "keth/func/stream.h"
#include "tempdir.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace NKeth;

TEST(FileStreams, ReadSeekWriteAndAppend)
{
    CTempDir dir;
    ASSERT_TRUE(WriteBytes(dir / "data.bin", std::string(300, 'a') + "XYZ"));
    CFileReader reader((dir / "data.bin").c_str());
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.GetSize(), 303);
    char buffer[8] = {};
    EXPECT_EQ(reader.Read(buffer, 0), 0);
    EXPECT_EQ(reader.Seek(-3, 2), 0);
    EXPECT_FALSE(reader.IsEOF());
    EXPECT_EQ(reader.Read(buffer, 8), 3);
    EXPECT_STREQ(buffer, "XYZ");
    EXPECT_TRUE(reader.IsEOF());
    CInputStream* clone = reader.Clone();
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetPosition(), 0);
    EXPECT_EQ(clone->GetSize(), 303);
    delete clone;

    const std::string out = dir / "out.bin";
    CFileWriter writer(out.c_str(), 0);
    ASSERT_TRUE(writer.IsOpen());
    EXPECT_EQ(writer.Write("abc", 3), 3);
    EXPECT_EQ(writer.GetPosition(), 3);
    // An invalid mode closes the file it had open.
    EXPECT_EQ(ErrorOf([&] { writer.Open(out.c_str(), 4); }), "(CFileWriter::Open): Invalid mode");
    EXPECT_FALSE(writer.IsOpen());
    {
        CFileWriter append(out.c_str(), 2);
        append.Write("two", 3);
    }
    EXPECT_EQ(ReadBytes(out), "abctwo");
}

TEST(CMemoryReader, ReadsAreClampedToTheBytesLeft)
{
    const char data[] = "0123456789";
    CMemoryReader reader(data, 10);
    char buffer[16] = {};
    EXPECT_EQ(reader.Read(buffer, 4), 4);
    EXPECT_EQ(reader.Read(nullptr, 2), 2);
    EXPECT_EQ(reader.Read(buffer, 16), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_TRUE(reader.IsEOF());
    EXPECT_EQ(reader.Read(buffer, 1), 0);
    EXPECT_EQ(reader.GetPosition(), -1);
    reader.Seek(0, 0);
    EXPECT_TRUE(reader.IsEOF());
}

TEST(ReadLine, CutsOverlongLinesToTheBuffer)
{
    std::string text = std::string(20, 'x') + "\nnext\n";
    CMemoryReader longer(text.data(), int32_t(text.size()));
    char buffer[8];
    bool truncated = false;
    EXPECT_STREQ(ReadLine(longer, buffer, sizeof buffer, &truncated), "xxxxxxx");
    EXPECT_TRUE(truncated);
    EXPECT_STREQ(ReadLine(longer, buffer, sizeof buffer, &truncated), "next");
    EXPECT_FALSE(truncated);
}

TEST(LengthPrefixedString, ClampsAtTheLargest16BitLength)
{
    std::vector<char> out(80000);
    CMemoryWriter writer(out.data());
    CString big;
    big.Set(std::string(70000, 'k').c_str(), 70000);
    EXPECT_EQ(WriteString(writer, big), 70000);
    EXPECT_EQ(writer.GetPosition(), 2 + 65535);
    EXPECT_EQ(std::string(out.data(), 2), "\xff\xff");
    CMemoryReader reader(out.data(), writer.GetPosition());
    CString back = ReadString(reader);
    EXPECT_EQ(back.GetLength(), 65535);
    EXPECT_EQ(back.GetText()[65534], 'k');

    char empty[4] = {1, 1, 1, 1};
    CMemoryWriter emptyWriter(empty);
    CString nothing;
    EXPECT_EQ(WriteString(emptyWriter, nothing), 0);
    EXPECT_EQ(emptyWriter.GetPosition(), 2);
    EXPECT_EQ(std::string(empty, 3), std::string("\0\0\1", 3));

    // A short read keeps only what arrived.
    const unsigned char shortData[] = {0x00, 0x05, 'a', 'b'};
    CMemoryReader shortReader(shortData, 4);
    EXPECT_STREQ(ReadString(shortReader).GetText(), "ab");
}
