// The sub-commands of vornscr-tool and the helpers they share. Each command takes the words
// after its name and returns the exit status: 0 done, 1 failed, 2 wrong usage.
#pragma once

#include "keth/base/log.h"

#include <algorithm>
#include <string>
#include <vector>

class CStuffReader;
namespace NKeth
{
class CImage;
}

int RunImage(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunList(int argc, char** argv);
int RunExtract(int argc, char** argv);
int RunModel(int argc, char** argv);
int RunSample(int argc, char** argv);
int RunCheck(int argc, char** argv);
int RunImport(int argc, char** argv);
int RunShow(int argc, char** argv);
int RunFormats(int argc, char** argv);

// Writes every file below DIRECTORY into a new archive; 0 on success, as RunPack.
int PackDirectory(const char* archive, const char* directory);

// Decodes an image file by its extension; "" on success, else why it was refused.
std::string DecodeImage(const char* path, NKeth::CImage& image);

// Loads an archive; false with the reader's own reason when it refuses it.
bool OpenArchive(CStuffReader& reader, const char* name, std::string& error);

// Keeps the log lines written while it listens, so that a loader that only logs why it
// refused a file can still be quoted.
class CLastLogLine : public NKeth::CLogListener
{
public:
    void Write(const char* text) override
    {
        std::string line(text);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty())
            return;
        // Users are told the reason, not which of the program's classes gave it.
        const size_t colon = line.find(": ");
        if (colon != std::string::npos && colon > 0 && line[0] >= 'A' && line[0] <= 'Z' &&
            line.find(' ') > colon &&
            std::count_if(line.begin(), line.begin() + long(colon),
                          [](char c) { return c >= 'A' && c <= 'Z'; }) > 1)
            line.erase(0, colon + 2);
        m_Line = line;
        m_Lines.push_back(line);
    }
    std::string m_Line;
    std::vector<std::string> m_Lines;
};
