#pragma once
#include "keth/func/mime.h"
#include "keth/func/string.h"

#include <cstdint>
#include <cstdio>

namespace NKeth
{
class CInputStream
{
public:
    explicit CInputStream(const CMimeType& mimeType = g_EmptyMimeType) : m_MimeType(mimeType) {}
    virtual ~CInputStream() = default;
    CInputStream(const CInputStream&) = delete;
    CInputStream& operator=(const CInputStream&) = delete;

    virtual bool IsOpen() = 0;
    virtual bool IsEOF() = 0;
    virtual int32_t GetSize() { return -1; }
    virtual int32_t GetPosition() { return -1; }
    virtual bool CanSeek() { return false; }
    virtual int32_t Seek(int32_t, int32_t) { return 0; }
    virtual bool CanClone() { return false; }
    virtual CInputStream* Clone() { return nullptr; }
    // Copies up to size bytes, or skips them when buffer is null; returns the bytes consumed.
    virtual int32_t Read(void* buffer, int32_t size) = 0;
    // The bytes from the position on that the stream already holds in memory, for parsers that
    // read in place and consume with Read(nullptr, n); 0 when it holds none. Valid until the
    // next call on the stream.
    virtual int32_t Peek(const unsigned char** data)
    {
        *data = nullptr;
        return 0;
    }

    CMimeType m_MimeType;
};

// Reads exactly size bytes (or skips them for a null buffer), in pieces so that a stream's
// 32-bit sizes never overflow; throws text when the stream ends first.
void ReadFully(CInputStream& in, void* buffer, int64_t size, const char* text);

class COutputStream
{
public:
    explicit COutputStream(const CMimeType& mimeType = g_EmptyMimeType) : m_MimeType(mimeType) {}
    virtual ~COutputStream() = default;
    COutputStream(const COutputStream&) = delete;
    COutputStream& operator=(const COutputStream&) = delete;

    virtual bool IsOpen() = 0;
    virtual bool Flush() { return true; }
    virtual int32_t GetPosition() { return -1; }
    virtual int32_t Write(const void* buffer, int32_t size) = 0;

    CMimeType m_MimeType;
};

class CFileReader : public CInputStream
{
public:
    explicit CFileReader(const char* fileName = nullptr);
    ~CFileReader() override;

    bool Open(const char* fileName);
    void Close();

    bool IsOpen() override;
    bool IsEOF() override;
    int32_t GetSize() override;
    int32_t GetPosition() override;
    bool CanSeek() override;
    int32_t Seek(int32_t offset, int32_t origin) override;
    bool CanClone() override;
    CInputStream* Clone() override;
    int32_t Read(void* buffer, int32_t size) override;

    int32_t m_Size;
    FILE* m_File;
    CString m_FileName;
};

class CMemoryReader : public CInputStream
{
public:
    CMemoryReader(const void* data, int32_t size);

    bool IsOpen() override;
    bool IsEOF() override;
    int32_t GetSize() override;
    // Reads are clamped to the bytes left and return the count consumed.
    int32_t Read(void* buffer, int32_t size) override;
    int32_t Peek(const unsigned char** data) override;

    const unsigned char* m_Data;
    int32_t m_Position;
    int32_t m_Size;
};

// A stream that reads through another one, which it borrows.
class CChainedInputStream : public CInputStream
{
public:
    explicit CChainedInputStream(CInputStream* source, const CMimeType& mimeType = g_EmptyMimeType)
        : CInputStream(mimeType), m_Source(source)
    {
    }

    bool IsOpen() override { return m_Source && m_Source->IsOpen(); }

    CInputStream* m_Source;
};

// Turns many small reads into whole-block reads of its source; forward reading only.
class CBlockReader : public CChainedInputStream
{
public:
    CBlockReader(CInputStream* source, int32_t blockSize);
    ~CBlockReader() override;

    bool IsOpen() override;
    bool IsEOF() override;
    int32_t GetSize() override;
    int32_t GetPosition() override;
    bool CanSeek() override;
    int32_t Seek(int32_t offset, int32_t origin) override;
    int32_t Read(void* buffer, int32_t size) override;
    // Fills the block first when it is used up.
    int32_t Peek(const unsigned char** data) override;

    unsigned char* m_Buffer;
    int32_t m_BlockSize;
    int32_t m_BufferOffset;
    int32_t m_BufferLeft;
};

class CFileWriter : public COutputStream
{
public:
    explicit CFileWriter(const char* fileName = nullptr, int32_t mode = 0);
    ~CFileWriter() override;

    // Modes: 0 "wb", 1 "wt", 2 "ab", 3 "at"; any other throws.
    bool Open(const char* fileName, int32_t mode);
    void Close();

    bool IsOpen() override;
    bool Flush() override;
    int32_t GetPosition() override;
    int32_t Write(const void* buffer, int32_t size) override;

    FILE* m_File;
};

// Writes into memory the caller provides; it has no bound of its own.
class CMemoryWriter : public COutputStream
{
public:
    explicit CMemoryWriter(void* destination);

    bool IsOpen() override;
    int32_t GetPosition() override;
    int32_t Write(const void* buffer, int32_t size) override;

    unsigned char* m_Cursor;
    int32_t m_Written;
};

// Skips size bytes by reading them through read(buffer, count) into a scratch buffer, for
// streams that must see every byte (checksums) even when the caller does not want them.
// Returns the bytes consumed; stops early when a read comes back short.
template <class TRead> int32_t SkipByReading(int32_t size, TRead read)
{
    unsigned char sink[4096];
    int32_t total = 0;
    while (total < size)
    {
        int32_t n = size - total < int32_t(sizeof sink) ? size - total : int32_t(sizeof sink);
        int32_t got = read(sink, n);
        total += got;
        if (got < n)
            break;
    }
    return total;
}

const int READLINE_BUFFER_SIZE = 4096;

// Reads one line without its break ('\n' or '\r' ends it, so CR LF yields an empty line next).
// At most bufferSize - 1 bytes are stored; the rest of a longer line is consumed and dropped,
// and *truncated tells whether that happened. A null buffer means one shared static buffer
// of READLINE_BUFFER_SIZE bytes.
char* ReadLine(CInputStream& in, char* buffer = nullptr, int32_t bufferSize = READLINE_BUFFER_SIZE,
               bool* truncated = nullptr);
// Length-prefixed string: 16-bit big-endian length, then the bytes.
CString ReadString(CInputStream& in);
int32_t WriteString(COutputStream& out, CString text);
} // namespace NKeth
