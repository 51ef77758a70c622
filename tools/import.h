#pragma once
// Model import: any format the import library reads becomes one LightWave object of
// triangles (one surface per source material) with its model cache beside it.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace NImport
{
struct SOptions
{
    bool m_KeepOrigin = false; // else the bounding-box centre moves to the origin
    bool m_UpZ = false;        // the source's +Z becomes +Y
};

struct SSurface
{
    std::string m_Name; // a bare script word
    float m_Colour[4];
};

struct SResult
{
    std::string m_Error; // empty when the model was written
    uint64_t m_Triangles = 0;
    uint64_t m_Points = 0;
    uint64_t m_Bytes = 0; // object and cache on disk
    std::vector<SSurface> m_Surfaces;
};

// Lower-case extensions with their dot, sorted.
std::vector<std::string> Extensions();
// searching: for files found in directories, which leaves out names that are rarely models.
bool HasModelExtension(const std::string& path, bool searching);

// Writes OUT (a LightWave object) and OUT.bin (its cache, made by the program's own builder).
// The work runs in a child process with a memory and time limit, so a file that crashes or
// exhausts the library costs that one model only; nothing is left at OUT when it fails.
SResult ImportModel(const std::string& in, const std::string& out, const SOptions& options);

// Letters, digits and '_' only, starting with a letter: the script keeps such a word whole.
std::string SafeWord(const std::string& text);
// SafeWord made unique against used (and added to it) by a numbered suffix.
std::string UniqueWord(const std::string& text, std::set<std::string>& used);
} // namespace NImport
