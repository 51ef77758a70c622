#include "keth/func/stream.h"
#include "keth/func/byteorder.h"
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/base/sys.h"
#include "keth/func/exception.h"

#include <climits>

namespace NKeth
{
namespace
{
FILE* OpenFile(const char* fileName, const char* mode)
{
    char path[4096];
    if (!fileName || !TranslatePath(fileName, path, sizeof path))
        return nullptr;
    return fopen(path, mode);
}
} // namespace

void ReadFully(CInputStream& in, void* buffer, int64_t size, const char* text)
{
    unsigned char* out = static_cast<unsigned char*>(buffer);
    while (size > 0)
    {
        int32_t piece = size > 0x40000000 ? 0x40000000 : int32_t(size);
        int32_t got = in.Read(out, piece);
        if (got <= 0)
            throw CException(text);
        if (out)
            out += got;
        size -= got;
    }
}

CFileReader::CFileReader(const char* fileName) : m_Size(0), m_File(nullptr)
{
    if (fileName)
        Open(fileName);
}

CFileReader::~CFileReader()
{
    Close();
}

void CFileReader::Close()
{
    if (m_File)
        fclose(m_File);
    m_File = nullptr;
    m_Size = 0;
}

bool CFileReader::Open(const char* fileName)
{
    Close();
    m_File = OpenFile(fileName, "rb");
    if (!m_File)
        return false;
    m_FileName = fileName;
    fseek(m_File, 0, SEEK_END);
    long size = ftell(m_File);
    // Sizes are 32-bit; a larger (or unseekable) file is not something this reader can serve.
    if (size < 0 || size > INT_MAX)
    {
        Close();
        return false;
    }
    m_Size = int32_t(size);
    fseek(m_File, 0, SEEK_SET);
    m_MimeType = GetMimeTypeFromFileName(fileName);
    return true;
}

bool CFileReader::IsOpen()
{
    return m_File != nullptr;
}
bool CFileReader::IsEOF()
{
    return !m_File || ftell(m_File) >= m_Size;
}
int32_t CFileReader::GetSize()
{
    return m_Size;
}
int32_t CFileReader::GetPosition()
{
    return m_File ? int32_t(ftell(m_File)) : -1;
}
bool CFileReader::CanSeek()
{
    return true;
}
bool CFileReader::CanClone()
{
    return true;
}

int32_t CFileReader::Seek(int32_t offset, int32_t origin)
{
    ASSERT(m_File != nullptr);
    if (!m_File)
        return -1;
    switch (origin)
    {
        case 0:
            return fseek(m_File, offset, SEEK_SET);
        case 1:
            return fseek(m_File, offset, SEEK_CUR);
        case 2:
            return fseek(m_File, offset, SEEK_END);
        default:
            Break();
            return -1;
    }
}

CInputStream* CFileReader::Clone()
{
    return NEW CFileReader(m_FileName.GetText());
}

int32_t CFileReader::Read(void* buffer, int32_t size)
{
    if (size < 1 || !m_File)
        return 0;
    if (!buffer)
        return fseek(m_File, size, SEEK_CUR) == 0 ? size : 0;
    return int32_t(fread(buffer, 1, size_t(size), m_File));
}

CMemoryReader::CMemoryReader(const void* data, int32_t size)
    : m_Data(static_cast<const unsigned char*>(data)), m_Position(0), m_Size(size < 0 ? 0 : size)
{
}

bool CMemoryReader::IsOpen()
{
    return m_Data != nullptr;
}
bool CMemoryReader::IsEOF()
{
    return m_Position >= m_Size;
}
int32_t CMemoryReader::GetSize()
{
    return m_Size;
}

int32_t CMemoryReader::Read(void* buffer, int32_t size)
{
    int32_t left = m_Size - m_Position;
    if (size <= 0 || left <= 0 || !m_Data)
        return 0;
    if (size > left)
        size = left;
    if (buffer)
        MemMove(buffer, m_Data + m_Position, size_t(size));
    m_Position += size;
    return size;
}

int32_t CMemoryReader::Peek(const unsigned char** data)
{
    int32_t left = m_Data ? m_Size - m_Position : 0;
    *data = left > 0 ? m_Data + m_Position : nullptr;
    return left > 0 ? left : 0;
}

CBlockReader::CBlockReader(CInputStream* source, int32_t blockSize)
    : CChainedInputStream(source), m_Buffer(nullptr), m_BlockSize(blockSize < 1 ? 1 : blockSize),
      m_BufferOffset(0), m_BufferLeft(0)
{
    m_Buffer = NEW unsigned char[size_t(m_BlockSize)];
}

CBlockReader::~CBlockReader()
{
    delete[] m_Buffer;
}

bool CBlockReader::IsOpen()
{
    return CChainedInputStream::IsOpen();
}
bool CBlockReader::IsEOF()
{
    return m_BufferLeft == 0 && (!m_Source || m_Source->IsEOF());
}
int32_t CBlockReader::GetSize()
{
    return m_Source ? m_Source->GetSize() : -1;
}
int32_t CBlockReader::GetPosition()
{
    return m_Source ? m_Source->GetPosition() : -1;
}
bool CBlockReader::CanSeek()
{
    return m_Source && m_Source->CanSeek();
}
int32_t CBlockReader::Seek(int32_t offset, int32_t origin)
{
    return m_Source ? m_Source->Seek(offset, origin) : 0;
}

int32_t CBlockReader::Read(void* buffer, int32_t size)
{
    if (size <= 0 || !m_Source)
        return 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int32_t left = size;
    for (;;)
    {
        if (m_BufferLeft == 0)
        {
            m_BufferOffset = 0;
            int32_t got = m_Source->Read(m_Buffer, m_BlockSize);
            m_BufferLeft = got > 0 ? (got < m_BlockSize ? got : m_BlockSize) : 0;
            if (m_BufferLeft == 0)
                return size - left;
        }
        int32_t chunk = left < m_BufferLeft ? left : m_BufferLeft;
        if (out)
        {
            MemMove(out, m_Buffer + m_BufferOffset, size_t(chunk));
            out += chunk;
        }
        m_BufferOffset += chunk;
        m_BufferLeft -= chunk;
        if (chunk == left)
            return size;
        left -= chunk;
    }
}

int32_t CBlockReader::Peek(const unsigned char** data)
{
    if (m_BufferLeft == 0 && m_Source)
    {
        m_BufferOffset = 0;
        int32_t got = m_Source->Read(m_Buffer, m_BlockSize);
        m_BufferLeft = got > 0 ? (got < m_BlockSize ? got : m_BlockSize) : 0;
    }
    *data = m_BufferLeft > 0 ? m_Buffer + m_BufferOffset : nullptr;
    return m_BufferLeft;
}

CFileWriter::CFileWriter(const char* fileName, int32_t mode) : m_File(nullptr)
{
    if (fileName)
        Open(fileName, mode);
}

CFileWriter::~CFileWriter()
{
    Close();
}

void CFileWriter::Close()
{
    if (m_File)
        fclose(m_File);
    m_File = nullptr;
}

bool CFileWriter::Open(const char* fileName, int32_t mode)
{
    static const char* const MODES[] = {"wb", "wt", "ab", "at"};
    Close();
    if (mode < 0 || mode > 3)
        throw CException("(CFileWriter::Open): Invalid mode");
    m_File = OpenFile(fileName, MODES[mode]);
    if (!m_File)
        return false;
    m_MimeType = GetMimeTypeFromFileName(fileName);
    return true;
}

bool CFileWriter::IsOpen()
{
    return m_File != nullptr;
}

bool CFileWriter::Flush()
{
    if (m_File)
        fflush(m_File);
    return true;
}

int32_t CFileWriter::GetPosition()
{
    return m_File ? int32_t(ftell(m_File)) : -1;
}

int32_t CFileWriter::Write(const void* buffer, int32_t size)
{
    if (!m_File || !buffer || size <= 0)
        return 0;
    return int32_t(fwrite(buffer, 1, size_t(size), m_File));
}

CMemoryWriter::CMemoryWriter(void* destination)
    : m_Cursor(static_cast<unsigned char*>(destination)), m_Written(0)
{
}

bool CMemoryWriter::IsOpen()
{
    return m_Cursor != nullptr;
}
int32_t CMemoryWriter::GetPosition()
{
    return m_Written;
}

int32_t CMemoryWriter::Write(const void* buffer, int32_t size)
{
    if (!m_Cursor || !buffer || size <= 0)
        return 0;
    MemMove(m_Cursor, buffer, size_t(size));
    m_Cursor += size;
    m_Written += size;
    return size;
}

char* ReadLine(CInputStream& in, char* buffer, int32_t bufferSize, bool* truncated)
{
    static char s_Line[READLINE_BUFFER_SIZE];
    if (!buffer)
    {
        buffer = s_Line;
        if (bufferSize > READLINE_BUFFER_SIZE)
            bufferSize = READLINE_BUFFER_SIZE;
    }
    if (truncated)
        *truncated = false;
    if (bufferSize < 1)
        return buffer;
    int32_t length = 0;
    buffer[0] = 0;
    while (!in.IsEOF())
    {
        char c;
        // A stream that claims more bytes but delivers none ends the line instead of looping.
        if (in.Read(&c, 1) != 1 || c == '\n' || c == '\r')
            break;
        if (length < bufferSize - 1)
            buffer[length++] = c;
        else if (truncated)
            *truncated = true;
    }
    buffer[length] = 0;
    return buffer;
}

CString ReadString(CInputStream& in)
{
    unsigned char prefix[2] = {0, 0};
    in.Read(prefix, 2);
    int n = ReadBE16(prefix);
    CString text;
    char* buffer = text.GetBuffer(n + 1);
    int32_t got = in.Read(buffer, n);
    buffer[n] = 0;
    // A short read keeps only what arrived, never bytes the stream did not deliver.
    if (got < n)
    {
        CString whole;
        whole.Set(buffer, got > 0 ? got : 0);
        return whole;
    }
    return text;
}

int32_t WriteString(COutputStream& out, CString text)
{
    int32_t length = text.GetLength();
    int32_t n = length > 65535 ? 65535 : length;
    unsigned char prefix[2];
    WriteBE16(prefix, uint32_t(n));
    out.Write(prefix, 2);
    out.Write(text.GetText(), n);
    return length;
}
} // namespace NKeth
