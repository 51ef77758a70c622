// vornscr-tool: content tools built on the system's own code. Each sub-command is one entry of
// the command table; the first word of the command line picks it.
#include "keth/base/log.h"
#include "keth/ext/loader/tga/tga.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

using namespace NKeth;

namespace
{
// Keeps the last log line, so that a decoder that only logs why it refused a file can still
// be quoted in the one line of output.
class CLastLogLine : public CLogListener
{
public:
    void Write(const char* text) override
    {
        std::string line(text);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!line.empty())
            m_Line = line;
    }
    std::string m_Line;
};

int Fail(const std::string& message)
{
    fprintf(stderr, "vornscr-tool: %s\n", message.c_str());
    return 1;
}

bool IsRegularFile(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool HasAlpha(const CImage::CFormat& format)
{
    for (int i = 0; i < format.m_ChannelCount && i < 4; ++i)
        if (format.m_Components[i] == CImage::CFormat::COMPONENT_ALPHA)
            return true;
    return false;
}

// Brings a decoded image into a layout the TGA writer takes as it is: grey, BGR or BGRA.
bool ToTGALayout(CImage& image, CImage& out)
{
    typedef CImage::CFormat CFormat;
    const CFormat& f = image.m_Format;
    const CFormat l8(CFormat::PRESET_L8, f.m_Width, f.m_Height);
    const CFormat bgr8(CFormat::MODEL_RGB, 0x08080800, 0x020100FF);
    const CFormat bgra8(CFormat::MODEL_RGB, 0x08080808, 0x02010003);
    if (f.m_Type == CFormat::TYPE_COMPRESSED)
    {
        if (f.m_ChannelCount == CFormat::KIND_DXT3 || f.m_ChannelCount == CFormat::KIND_DXT5)
            return CDDSFormat::Decompress(image, out);
        CImage rgba;
        return image.Convert(CFormat(CFormat::PRESET_RGBA8, 0, 0), rgba) && rgba.Convert(bgra8, out);
    }
    if (f == l8 || f == bgr8 || f == bgra8)
        return out.CopyFrom(image);
    return image.Convert(HasAlpha(f) ? bgra8 : bgr8, out);
}

int RunImage(int argc, char** argv)
{
    if (argc != 2)
        return Fail("usage: vornscr-tool image IN OUT.tga");
    const char* inName = argv[0];
    const char* outName = argv[1];
    if (!IsRegularFile(inName))
        return Fail(std::string("cannot open ") + inName);
    CFileReader in(inName);
    if (!in.IsOpen())
        return Fail(std::string("cannot open ") + inName);

    CLastLogLine log;
    AddLogListener(&log);
    CImage image, out;
    std::string error;
    try
    {
        if (!FindImageFormat(in.m_MimeType))
            error = "no image format for this file name extension";
        else if (!image.Load(in))
            error = log.m_Line.empty() ? "not a supported image" : log.m_Line;
        else if (!ToTGALayout(image, out))
            error = log.m_Line.empty() ? "cannot convert the pixels" : log.m_Line;
    }
    catch (const CException& e)
    {
        error = e.GetMessage();
    }
    RemoveLogListener(&log);
    if (!error.empty())
        return Fail(std::string("cannot decode ") + inName + ": " + error);

    CFileWriter writer(outName, 0);
    if (!writer.IsOpen())
        return Fail(std::string("cannot write ") + outName);
    CTGAFormat tga;
    if (!tga.Save(writer, out) || !writer.Flush())
        return Fail(std::string("cannot write ") + outName);
    return 0;
}

struct SCommand
{
    const char* m_Name;
    const char* m_Arguments;
    const char* m_Help;
    int (*m_Run)(int argc, char** argv);
};

const SCommand s_Commands[] = {
    {"image", "IN OUT.tga", "decode IN (chosen by its extension) and write it as a TGA file", RunImage},
};

int Usage()
{
    fprintf(stderr, "usage: vornscr-tool COMMAND ARGUMENTS...\n");
    for (const SCommand& command : s_Commands)
        fprintf(stderr, "  %s %s\n      %s\n", command.m_Name, command.m_Arguments, command.m_Help);
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    for (const SCommand& command : s_Commands)
        if (strcmp(argv[1], command.m_Name) == 0)
            return command.m_Run(argc - 2, argv + 2);
    if (strcmp(argv[1], "-h") != 0 && strcmp(argv[1], "--help") != 0)
        fprintf(stderr, "vornscr-tool: unknown command %s\n", argv[1]);
    return Usage();
}
