#pragma once
#include "container.h"
#include "effect.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/stream.h"
#include "keth/func/string.h"

#include <cstdint>

// An input stream over a private copy of one archive entry's bytes.
class CMemoryBlock : public NKeth::CInputStream
{
public:
    // Nothing is allocated for a size below 1.
    explicit CMemoryBlock(int32_t size);
    ~CMemoryBlock() override;

    bool IsOpen() override;
    bool IsEOF() override;
    int32_t GetSize() override;
    bool CanSeek() override;
    // Origin 0 accepts 0..size, origin 1 a target in 0..size-1, origin 2 counts back from the
    // end; a target outside leaves the position unchanged. Returns the target.
    int32_t Seek(int32_t offset, int32_t origin) override;
    // Copies (or skips, for a null buffer) at most the bytes left; returns the bytes consumed.
    int32_t Read(void* buffer, int32_t size) override;

    unsigned char* m_Data;
    int32_t m_Position;
    int32_t m_Size;
};

// "stufffile": a resource archive whose directory is read on first use and whose entries are
// served as memory blocks.
class CStuffReader : public CEffect
{
public:
    // Node values by position.
    enum
    {
        VALUE_KIND = 0,
        VALUE_NAME = 1,
        VALUE_SIZE = 2,
        VALUE_OFFSET = 3,
    };
    enum
    {
        KIND_DIRECTORY = 1,
        KIND_FILE = 2,
    };
    static constexpr int NAME_BUFFER_SIZE = 1024;

    CStuffReader();
    ~CStuffReader() override;

    void Read(CContainer& node) override;

    // Reads the directory on the first call; true only for the call that read it. An entry
    // that is impossible or runs past the end is refused with one log line and the others are
    // served; a directory that cannot be read to its end serves nothing.
    bool Load();
    CContainer* FindNode(const NKeth::CString& path, bool create);
    CContainer* FindDirectory(const NKeth::CString& path);
    // The caller owns the block; null when the archive is not open or the node is no file.
    CMemoryBlock* OpenNode(CContainer* fileNode);
    CMemoryBlock* OpenFile(const NKeth::CString& path);
    // Depth-first, in directory order, every file below start whose name contains pattern.
    void FindFiles(const NKeth::CString& pattern, NKeth::TDynamicArray<CContainer*>& out,
                   CContainer* start = nullptr);
    // Puts "dir\sub\" of the node's directories in front of path.
    void GetDirectoryPath(CContainer* node, NKeth::CString& path);
    void SetFilePos(int32_t start);

    // The archive path of a node ("dir\sub\name").
    NKeth::CString GetPath(CContainer* node);
    int32_t GetEntryCount() const { return m_Files.GetCount(); }
    // The entry's size as stored in the directory.
    int32_t GetEntrySize(int index) const { return m_Entries[index].m_Size; }

    CContainer m_Root;
    NKeth::TDynamicArray<CContainer*> m_Files;
    NKeth::CFileReader m_Reader;
    NKeth::CString m_FileName;
    bool m_Loaded;

private:
    bool ReadDirectory();
    void Reject(const char* reason, int32_t entry);

    struct SEntry
    {
        int32_t m_Size = 0;
        // The bytes the entry occupies; offsets advance over duplicates and refusals too.
        uint32_t m_Span = 0;
        bool m_Refused = false;
    };
    NKeth::TDynamicArray<SEntry> m_Entries;
};
