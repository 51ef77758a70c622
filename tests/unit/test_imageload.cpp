// Loading an image with its reason: every decoder's refusal arrives the same way.
#include "keth/ext/loader/dds/dds.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "logcapture.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using namespace NKeth;

namespace
{
std::string TGA(int type, int bits, const std::string& pixels)
{
    std::string header(18, '\0');
    header[2] = char(type);
    header[12] = header[14] = 1; // 1 x 1
    header[16] = char(bits);
    header[17] = 0x20;
    return header + pixels;
}

std::string DDS(const char* fourCC)
{
    std::string file = "DDS " + std::string(124, '\0');
    file[4 + 8] = file[4 + 12] = 4; // 4 x 4
    file.replace(4 + 80, 4, fourCC);
    return file + std::string(16, '\x55');
}
} // namespace

TEST(TryLoadImage, GivesEachDecodersReason)
{
    struct SCase
    {
        const char* m_Name;
        std::string m_Bytes;
        bool m_Loaded;
        const char* m_Reason;
    } cases[] = {
        {"a.tga", TGA(2, 24, "abc"), true, ""},
        {"a.tga", TGA(1, 8, "a"), false, "tgaloader: image type 1 is not supported"},
        {"a.tga", TGA(2, 16, "ab"), false, "tgaloader: bad format"},
        {"a.dds", DDS("DXT5"), true, ""},
        {"a.dds", DDS("DXT1"), false, "ddsloader: only DXT3 and DXT5 images are supported"},
        {"a.dds", "XXXX" + DDS("DXT5").substr(4), false, "ddsloader: not a DDS file"},
        {"a.jpg", "\xFF\xD9", false, "Err: not a jpeg"},
        {"a.jpg", "\xFF\xD8\x42", false, "Err: not a segment, 2"},
        {"a.png", "not a png", false, ""},
        {"a.unknown", TGA(2, 24, "abc"), false, ""},
        {"A.TGA", TGA(2, 24, "abc"), false, ""}, // types are named in lower case
    };
    for (const SCase& c : cases)
    {
        CMemoryReader in(c.m_Bytes.data(), int32_t(c.m_Bytes.size()));
        in.m_MimeType = GetMimeTypeFromFileName(c.m_Name);
        CImage image;
        CString reason("stale");
        EXPECT_EQ(TryLoadImage(in, image, reason), c.m_Loaded) << c.m_Name << " " << c.m_Reason;
        EXPECT_STREQ(reason.GetText(), c.m_Reason) << c.m_Name;
        EXPECT_EQ(image.m_Data != nullptr, c.m_Loaded) << c.m_Name << " " << c.m_Reason;
    }

    // A format given by the caller is used whatever the stream's name says.
    const std::string dds = DDS("DXT3");
    CMemoryReader in(dds.data(), int32_t(dds.size()));
    in.m_MimeType = GetMimeTypeFromFileName("a.dds.bak");
    CDDSFormat format;
    CImage image;
    CString reason;
    EXPECT_TRUE(TryLoadImage(in, image, reason, &format));
    EXPECT_EQ(image.m_Format.m_Size, 16);
}

TEST(LoadImageOrLog, LogsTheReasonOnceAndNamesTheFile)
{
    CTempDir dir;
    const std::string jpeg = dir / "bad.jpg", png = dir / "bad.png";
    std::ofstream(jpeg, std::ios::binary) << "\xFF\xD9";
    std::ofstream(png, std::ios::binary) << "not a png";

    CLogCapture log;
    CImage image;
    CFileReader jpegIn(jpeg.c_str());
    EXPECT_FALSE(LoadImageOrLog(jpegIn, image));
    EXPECT_EQ(log.Text(), "Err: not a jpeg\nImage not loaded: " + jpeg + "\n");

    // A decoder with nothing to say leaves only the file's line.
    log.Clear();
    CFileReader pngIn(png.c_str());
    EXPECT_FALSE(LoadImageOrLog(pngIn, image));
    EXPECT_EQ(log.Text(), "Image not loaded: " + png + "\n");
}
