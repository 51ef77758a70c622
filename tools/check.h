// "vornscr-tool check": finds what a show's script gets wrong, with the file and line of each
// problem. The program itself stays silent about most of these; the checker tells.
#pragma once

#include <string>
#include <vector>

namespace NCheck
{
struct SProblem
{
    std::string m_File;
    int m_Line; // 0 when the problem belongs to no one line
    std::string m_Text;
};

struct SInclude
{
    int m_Line;
    std::string m_Path;
};

// How a key's value is taken.
enum EValue
{
    VALUE_ANY,         // text of any kind
    VALUE_NUMBER,      // int or float; text throws while the show is read
    VALUE_VECTOR3,     // anything else silently becomes (0 0 0)
    VALUE_PRESENT,     // the line's presence is what counts
    VALUE_IMAGE,       // image file, relative to the data directory
    VALUE_DATAIMAGE,   // image file below data/
    VALUE_DATAFILE,    // file below data/
    VALUE_LIGHTWAVE,   // LightWave object below data/ (or its cache beside it)
    VALUE_ARCHIVE,     // resource archive file
    VALUE_COLOUR,      // palette colour name, looked up while the show is read
    VALUE_TEXTURE,     // key of a texture, cube map or image texture
    VALUE_SHADER,      // key of a shader
    VALUE_TRANSFORM,   // output key that holds a transform
    VALUE_CAMERA,      // effect whose NAME.transform and NAME.pos are read
    VALUE_LIGHT,       // effect whose NAME.lightpos is read
    VALUE_OBJECTS,     // an object effect defined earlier
    VALUE_ARCHIVEFILE, // ARCHIVE|path of a file in an archive defined earlier
    VALUE_ARCHIVEDIR,  // ARCHIVE|path of a directory in an archive defined earlier
};

struct SKey
{
    const char* m_Name;
    EValue m_Value;
    bool m_Required;
};

// What a block keyword's effect reads and publishes.
struct SBlock
{
    const char* m_Keyword;
    bool m_Group;    // child blocks are effects
    bool m_Resource; // publishes something for others and is never active
    std::vector<SKey> m_Keys;
    // Outputs by name ("" is the object itself); "*" for the clock every updated effect has.
    std::vector<const char*> m_Outputs;
};

// Every block keyword the program knows, and the keys every effect reads.
const std::vector<SBlock>& Blocks();
const std::vector<SKey>& BaseKeys();
const std::vector<SKey>& MaterialKeys();
const SBlock* FindBlock(const std::string& keyword);

// Reads one file's text as the script reader does and reports syntax, block and bare-word
// problems. Returns the text with the unreadable lines emptied, so the rest can be read as
// the program would read the file without them.
std::string ScanScript(const std::string& file, const std::string& text, std::vector<SProblem>& problems,
                       std::vector<SInclude>& includes);

// Checks the show in the working directory; problems in file and line order.
std::vector<SProblem> CheckShow();

// One "FILE:LINE: text" line per problem ("FILE: text" when it belongs to no one line).
std::string ProblemLines(const std::vector<SProblem>& problems);

// Closest of the candidates within a small edit distance; "" when none is close.
std::string Nearest(const std::string& word, const std::vector<std::string>& candidates);
} // namespace NCheck
