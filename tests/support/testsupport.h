#pragma once
// What tests of many modules share: the text of a thrown error and the files of the corpus.
#include "keth/func/exception.h"
#include "keth/func/stream.h"

#include <string>
#include <vector>

// The message of the error a call raises, or "" when it raises none.
template <class F> std::string ErrorOf(F call)
{
    try
    {
        call();
    }
    catch (const NKeth::CException& e)
    {
        return e.GetMessage();
    }
    return "";
}

// A memory stream over its own copy of a text, for script readers served from memory.
class CTextReader : public NKeth::CMemoryReader
{
public:
    explicit CTextReader(const std::string& text) : CMemoryReader(nullptr, 0), m_Text(text)
    {
        m_Data = reinterpret_cast<const unsigned char*>(m_Text.data());
        m_Size = int32_t(m_Text.size());
    }

private:
    std::string m_Text;
};

struct SCorpusFile
{
    std::string m_Path;
    bool m_Accept;
};

// The corpus files whose names start with the prefix (such as "png/") and end with the
// extension, from the main and the synthetic manifest, with the verdict each must get.
std::vector<SCorpusFile> CorpusFiles(const std::string& prefix, const std::string& extension = "");

// Runs a command through the host's shell: its exit code, and what it wrote to standard output.
int RunCommand(const std::string& command, std::string& output);

#ifdef VORNSCR_TOOL
// Runs the content tool: its exit code, and what it wrote to either stream.
inline int RunTool(const std::string& arguments, std::string& output)
{
    return RunCommand(std::string(VORNSCR_TOOL) + " " + arguments + " 2>&1", output);
}
#endif
