#pragma once
#include "keth/func/dynamicarray.h"
#include "keth/func/stream.h"
#include "keth/func/string.h"
#include "variant.h"

#include <cstdint>

// Receiver of parsed script lines.
class CContainerReader
{
public:
    virtual void AddLine(CVariant* values, int count, bool opensBlock) = 0;
    virtual void BeginBlock() = 0;
    virtual void EndBlock() = 0;

    // Reads the stream line by line to its end and hands every line that has values to
    // AddLine, then BeginBlock or EndBlock when the line opened or closed a block.
    void Read(NKeth::CInputStream& stream);

protected:
    ~CContainerReader() = default;

    // Called inside the handler of a line's parse error. The default logs where the line is
    // and what it holds, and lets the error end the read; a reader that returns goes on with
    // the next line.
    virtual void LineFailed(const char* text);

    // The file being read, for messages; and the number of the line being handed over
    // (counting "\n", "\r\n" and a lone "\r" as one line end each).
    const char* m_SourceName = "";
    int m_LineNumber = 0;
};

// One script line (its values) with the lines of its block (children); the root has no values.
class CContainer
{
public:
    // Longest line the reader takes, terminator included; a longer one throws "error".
    static constexpr int LINE_BUFFER_SIZE = 65536;
    // Values kept per line; further values on a line are parsed and dropped.
    static constexpr int MAX_LINE_VALUES = 64;
    // INCLUDE files nested deeper than this are skipped with a log line.
    static constexpr int MAX_INCLUDE_DEPTH = 16;

    // Opens the file an INCLUDE line names; null when it does not open. The caller deletes
    // the stream. The default opens a file reader relative to the working directory.
    typedef NKeth::CInputStream* (*TIncludeOpener)(const char* path);

    CContainer();
    ~CContainer();
    CContainer(const CContainer&) = delete;
    CContainer& operator=(const CContainer&) = delete;

    // Parses the whole stream into this node as root. Malformed text throws "error".
    // The source name is what locations name; a file reader's own name by default.
    bool Read(NKeth::CInputStream& stream);
    bool Read(NKeth::CInputStream& stream, const char* sourceName);

    // First child whose first value, in text form, equals key exactly; null if none.
    CContainer* Find(const char* key);

    // Each stores the default first, then reads values[1] of the line found by key; false if
    // there is no such line or it has fewer than two values.
    bool GetInt(const char* key, int* out, int defaultValue);
    bool GetFloat(const char* key, float* out, float defaultValue);
    bool GetString(const char* key, NKeth::CString* out, const char* defaultValue);
    bool GetVector3(const char* key, float out[3], float x, float y, float z);

    // Reads values[1], values[2], ... of line into the pointers that follow, one per letter:
    // 'i' int*, 'f' float*, 's' CString*, '2' '3' '4' float* receiving that many data words.
    // Another letter, or a line with fewer values than letters, throws
    // "CContainer::ReadVars error".
    static bool ReadVars(CContainer* line, const char* format, ...);

    // Parses one line of text. On entry *count is the capacity of out, on return the number
    // of values stored. Returns 0 at the end of the line or a comment, 1 if the line ends
    // with '{', -1 if it ends with '}'. Malformed text throws "error".
    static int ParseValues(const char* text, CVariant* out, int* count);

    // Replaces the way INCLUDE files are opened (null restores the default); returns the
    // previous opener.
    static TIncludeOpener SetIncludeOpener(TIncludeOpener opener);

    // Logs "SCRIPT: FILE:LINE: TEXT" for this line, the text rebuilt from its values.
    void LogLocation() const;

    CContainer* m_Parent;
    NKeth::TDynamicArray<CContainer*> m_Children;
    NKeth::TDynamicArray<CVariant*> m_Values;
    // Where the line was read: the file as INCLUDE named it (kept for the whole run) and its
    // line number; "" and 0 for nodes made in code.
    const char* m_File;
    int m_Line;
};
