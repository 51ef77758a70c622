// Loading helpers that the commands share: each says why a file was refused.
#include "commands.h"

#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "stuffreader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace NKeth;

namespace
{
bool IsRegularFile(const char* path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}
} // namespace

bool OpenArchive(CStuffReader& reader, const char* name, std::string& error)
{
    if (!IsRegularFile(name))
    {
        error = std::string("cannot open ") + name;
        return false;
    }
    reader.m_FileName = name;
    CLastLogLine log;
    AddLogListener(&log);
    const bool loaded = reader.Load();
    RemoveLogListener(&log);
    if (!loaded)
        error = log.m_Line.empty() ? std::string("cannot read archive ") + name : log.m_Line;
    return loaded;
}

std::string DecodeImage(const char* path, CImage& image)
{
    if (!IsRegularFile(path))
        return "cannot open the file";
    CFileReader in(path);
    if (!in.IsOpen())
        return "cannot open the file";
    if (!FindImageFormat(in.m_MimeType))
    {
        std::string error = "no image format for this file name extension";
        const char* dot = strrchr(path, '.');
        if (dot && std::any_of(dot, dot + strlen(dot), [](char c) { return c >= 'A' && c <= 'Z'; }))
            error += " (extensions are matched as written: rename it to lower case)";
        return error;
    }
    CString reason;
    if (TryLoadImage(in, image, reason))
        return "";
    return reason.GetLength() > 0 ? reason.GetText() : "not a supported image";
}
