// vornscr-tool: content tools built on the system's own code. Each sub-command is one entry of
// the command table; the first word of the command line picks it.
#include "commands.h"

#include "keth/base/log.h"
#include "keth/ext/loader/dds/dds.h"
#include "keth/ext/loader/tga/tga.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "keth/ext/loader/lwo/lwo.h"
#include "effect_vornmodel.h"
#include "model.h"
#include "stuffreader.h"

#include <algorithm>
#include <cfloat>
#include <filesystem>
#include <vector>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

using namespace NKeth;

namespace
{
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
// Archive paths use backslashes; a slash typed on the command line means the same.
std::string ArchivePath(const char* text)
{
    std::string path(text);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}
} // namespace

int RunImage(int argc, char** argv)
{
    if (argc != 2)
        return Fail("usage: vornscr-tool image IN OUT.tga");
    const char* inName = argv[0];
    const std::string outName = argv[1];
    if (outName.size() < 5 || outName.compare(outName.size() - 4, 4, ".tga") != 0)
        return Fail("the output name must end in .tga: " + outName);
    std::error_code same;
    if (outName == inName || std::filesystem::equivalent(inName, outName, same))
        return Fail("the output would overwrite the input " + std::string(inName));

    CImage image, out;
    std::string error = DecodeImage(inName, image);
    if (error.empty())
    {
        CLastLogLine log;
        AddLogListener(&log);
        if (!ToTGALayout(image, out))
            error = log.m_Line.empty() ? "cannot convert the pixels" : log.m_Line;
        RemoveLogListener(&log);
    }
    if (!error.empty())
        return Fail(std::string("cannot decode ") + inName + ": " + error);

    CFileWriter writer(outName.c_str(), 0);
    if (!writer.IsOpen())
        return Fail("cannot write " + outName);
    CTGAFormat tga;
    if (!tga.Save(writer, out) || !writer.Flush())
        return Fail("cannot write " + outName);
    return 0;
}

int RunPack(int argc, char** argv)
{
    if (argc != 2)
        return Fail("usage: vornscr-tool pack ARCHIVE DIR");
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_directory(argv[1], error))
        return Fail(std::string("not a directory: ") + argv[1]);
    std::vector<std::pair<std::string, fs::path>> files;
    for (fs::recursive_directory_iterator it(argv[1], error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file())
        {
            std::string name = fs::relative(it->path(), argv[1]).generic_string();
            std::replace(name.begin(), name.end(), '/', '\\');
            files.emplace_back(name, it->path());
        }
    if (error)
        return Fail(std::string("cannot list ") + argv[1] + ": " + error.message());
    std::sort(files.begin(), files.end());

    int64_t total = 4;
    std::vector<int32_t> sizes;
    for (const auto& file : files)
    {
        if (file.first.size() > 1023)
            return Fail("name longer than 1023 bytes: " + file.first);
        const uintmax_t size = fs::file_size(file.second, error);
        total += 9 + int64_t(file.first.size()) + int64_t(size);
        if (error || total > INT32_MAX)
            return Fail("archive would exceed 2 GiB at " + file.first);
        sizes.push_back(int32_t(size));
    }
    CFileWriter out(argv[0], 0);
    if (!out.IsOpen())
        return Fail(std::string("cannot write ") + argv[0]);
    bool ok = true;
    auto write = [&](const void* data, size_t size)
    { ok = ok && (size == 0 || out.Write(data, int32_t(size)) == int32_t(size)); };
    const int32_t count = int32_t(files.size());
    write(&count, 4);
    for (size_t i = 0; i < files.size(); ++i)
    {
        const int32_t length = int32_t(files[i].first.size());
        write(&sizes[i], 4);
        write(&length, 4);
        write(files[i].first.c_str(), files[i].first.size() + 1);
    }
    for (size_t i = 0; i < files.size() && ok; ++i)
    {
        CFileReader in(files[i].second.string().c_str());
        std::vector<char> bytes(static_cast<size_t>(sizes[i]));
        if (!in.IsOpen() || (sizes[i] > 0 && in.Read(bytes.data(), sizes[i]) != sizes[i]))
            return Fail("cannot read " + files[i].second.string());
        write(bytes.data(), bytes.size());
    }
    if (!ok || !out.Flush())
        return Fail(std::string("cannot write ") + argv[0]);
    return 0;
}

int RunList(int argc, char** argv)
{
    if (argc != 1)
        return Fail("usage: vornscr-tool list ARCHIVE");
    CStuffReader reader;
    std::string error;
    if (!OpenArchive(reader, argv[0], error))
        return Fail(error);
    for (int i = 0; i < reader.GetEntryCount(); ++i)
    {
        CContainer* node = reader.m_Files[i];
        if (!node)
            continue;
        printf("%10d %10d %s\n", reader.GetEntrySize(i), node->m_Values[CStuffReader::VALUE_OFFSET]->ToInt(),
               reader.GetPath(node).GetText());
    }
    return 0;
}

int RunExtract(int argc, char** argv)
{
    if (argc != 3)
        return Fail("usage: vornscr-tool extract ARCHIVE PATH OUT");
    CStuffReader reader;
    std::string error;
    if (!OpenArchive(reader, argv[0], error))
        return Fail(error);
    CString path;
    path = ArchivePath(argv[1]).c_str();
    path.MakeLower();
    CMemoryBlock* block = reader.OpenFile(path);
    if (!block)
        return Fail(std::string("no file ") + argv[1] + " in " + argv[0]);
    CFileWriter out(argv[2], 0);
    const bool ok = out.IsOpen() &&
                    (block->m_Size == 0 || out.Write(block->m_Data, block->m_Size) == block->m_Size) &&
                    out.Flush();
    delete block;
    return ok ? 0 : Fail(std::string("cannot write ") + argv[2]);
}

int RunModel(int argc, char** argv)
{
    if (argc != 1)
        return Fail("usage: vornscr-tool model FILE");
    const char* name = argv[0];
    CFileReader in(name);
    if (!IsRegularFile(name) || !in.IsOpen())
        return Fail(std::string("cannot open ") + name);
    unsigned char head[4] = {};
    const int32_t got = in.Read(head, 4);
    in.Close();

    TDynamicArray<CMesh*> meshes;
    CLastLogLine log;
    AddLogListener(&log);
    bool ok;
    const char* kind;
    if (got == 4 && memcmp(head, "FORM", 4) == 0)
    {
        kind = "LightWave object";
        ok = BuildModelFromLightWave(meshes, name) && meshes.GetCount() > 0;
        if (ok || log.m_Line.rfind("Material:", 0) == 0)
            log.m_Line.clear();
    }
    else if (got >= 2 && head[0] == 0x01 && head[1] == 0x04)
    {
        kind = "archive model file";
        CFileReader file(name);
        CMemoryBlock block(file.GetSize());
        if (block.m_Data)
            file.Read(block.m_Data, block.m_Size);
        ok =
            CEffect_VornModel::ReadModelFile(meshes, &block) || (meshes.GetCount() > 0 && log.m_Line.empty());
    }
    else
    {
        kind = "model cache";
        ok = ReadModelCache(meshes, name);
    }
    RemoveLogListener(&log);
    if (!ok)
    {
        meshes.DeleteAll();
        // Anything that is neither of the other two is tried as a cache last of all.
        if (strcmp(kind, "model cache") == 0)
            return Fail(std::string("cannot read ") + name +
                        ": not an archive model file, LightWave object or model cache");
        return Fail(std::string("cannot read ") + name + " as " + kind +
                    (log.m_Line.empty() ? "" : ": " + log.m_Line));
    }
    printf("%s: %s, %d meshes\n", name, kind, meshes.GetCount());
    for (int m = 0; m < meshes.GetCount(); ++m)
    {
        const CMesh& mesh = *meshes[m];
        float low[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, high[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
        for (int i = 0; i < mesh.m_Positions.GetCount(); ++i)
        {
            const float p[3] = {mesh.m_Positions[i].x, mesh.m_Positions[i].y, mesh.m_Positions[i].z};
            for (int k = 0; k < 3; ++k)
            {
                low[k] = std::min(low[k], p[k]);
                high[k] = std::max(high[k], p[k]);
            }
        }
        printf("mesh %d \"%s\": %d vertices, %d triangles, %d indices", m, mesh.m_MaterialName.GetText(),
               mesh.m_Positions.GetCount(), mesh.m_Indices.GetCount() / 3, mesh.m_Indices.GetCount());
        if (mesh.m_Positions.GetCount() > 0)
            printf(", box (%g %g %g) - (%g %g %g)", low[0], low[1], low[2], high[0], high[1], high[2]);
        printf("\n");
    }
    meshes.DeleteAll();
    return 0;
}

int PackDirectory(const char* archive, const char* directory)
{
    char* arguments[2] = {const_cast<char*>(archive), const_cast<char*>(directory)};
    return RunPack(2, arguments);
}

namespace
{
struct SCommand
{
    const char* m_Name;
    const char* m_Arguments;
    const char* m_Help;
    int (*m_Run)(int argc, char** argv);
};

const SCommand s_Commands[] = {
    {"check", "[DIR]", "report every problem of the show in DIR (default: here) as FILE:LINE: what is wrong",
     RunCheck},
    {"image", "IN OUT.tga", "decode IN (chosen by its extension) and write it as a TGA file", RunImage},
    {"pack", "ARCHIVE DIR", "write every file below DIR into a new archive, in sorted order", RunPack},
    {"list", "ARCHIVE", "print size, offset and path of every archive entry", RunList},
    {"extract", "ARCHIVE PATH OUT", "write the archive entry PATH to the file OUT", RunExtract},
    {"model", "FILE", "print the meshes of an archive model file, a LightWave object or a model cache",
     RunModel},
#ifdef VORNSCR_TOOL_SAMPLE
    {"sample", "[--force] DIR", "write the sample show into DIR", RunSample},
#endif
    {"import", "[--keep-origin] [--up y|z] MODEL OUT.lwo",
     "convert one model file (see formats) into a LightWave object and its model cache", RunImport},
    {"formats", "", "list the file name extensions that import reads", RunFormats},
    {"show", "[--force] [--keep-origin] [--up y|z] DIR INPUT...",
     "import every model file of the inputs (files or directories) into a show in DIR", RunShow},
};

int Usage(FILE* out, int status)
{
    fprintf(out, "usage: vornscr-tool COMMAND ARGUMENTS...\n");
    for (const SCommand& command : s_Commands)
        fprintf(out, "  %s %s\n      %s\n", command.m_Name, command.m_Arguments, command.m_Help);
    fprintf(out, "  help\n      print this list\n");
    return status;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage(stderr, 2);
    for (const SCommand& command : s_Commands)
        if (strcmp(argv[1], command.m_Name) == 0)
            return command.m_Run(argc - 2, argv + 2);
    if (strcmp(argv[1], "help") == 0 || strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)
        return Usage(stdout, 0);
    fprintf(stderr, "vornscr-tool: unknown command %s\n", argv[1]);
    return Usage(stderr, 2);
}
