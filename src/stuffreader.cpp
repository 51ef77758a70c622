#include "stuffreader.h"
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/func/classregistry.h"

#include <cstring>
#include <vector>

using namespace NKeth;

CMemoryBlock::CMemoryBlock(int32_t size) : m_Data(nullptr), m_Position(0), m_Size(0)
{
    if (size < 1)
        return;
    m_Data = static_cast<unsigned char*>(NMemoryManager::Allocate(size, __FILE__, __LINE__));
    if (m_Data)
        m_Size = size;
}

CMemoryBlock::~CMemoryBlock()
{
    if (m_Data)
        NMemoryManager::Free(m_Data, __FILE__, __LINE__);
}

bool CMemoryBlock::IsOpen()
{
    return m_Data != nullptr;
}

bool CMemoryBlock::IsEOF()
{
    return m_Position >= m_Size;
}

int32_t CMemoryBlock::GetSize()
{
    return m_Size;
}

bool CMemoryBlock::CanSeek()
{
    return true;
}

int32_t CMemoryBlock::Seek(int32_t offset, int32_t origin)
{
    int64_t target;
    switch (origin)
    {
        case 0:
            if (offset >= 0 && offset <= m_Size)
                m_Position = offset;
            return offset;
        case 1:
            target = int64_t(m_Position) + offset;
            if (target >= 0 && target < m_Size)
                m_Position = int32_t(target);
            return int32_t(target);
        case 2:
            target = int64_t(m_Size) + offset;
            if (target >= 0 && target <= m_Size)
                m_Position = int32_t(target);
            return int32_t(target);
        default:
            return -1;
    }
}

int32_t CMemoryBlock::Read(void* buffer, int32_t size)
{
    if (size < 1 || m_Position >= m_Size)
        return 0;
    const int32_t left = m_Size - m_Position;
    const int32_t n = size < left ? size : left;
    if (buffer)
        memcpy(buffer, m_Data + m_Position, size_t(n));
    m_Position += n;
    return n;
}

namespace
{
int32_t KindOf(const CContainer* node)
{
    return node->m_Values.GetCount() > 0 ? node->m_Values[0]->ToInt() : 0;
}

// The name without a copy for the string values the reader makes itself.
bool NameIs(const CContainer* node, const char* name, int length)
{
    if (node->m_Values.GetCount() < 2)
        return false;
    const CVariant* value = node->m_Values[1];
    if (value->m_Type == CVariant::TYPE_STRING)
        return value->m_Text.GetLength() == length &&
               memcmp(value->m_Text.GetText(), name, size_t(length)) == 0;
    CString text = value->ToString();
    return text.GetLength() == length && memcmp(text.GetText(), name, size_t(length)) == 0;
}

CString NameOf(const CContainer* node)
{
    return node->m_Values.GetCount() < 2 ? CString() : node->m_Values[1]->ToString();
}

CContainer* FindChild(CContainer* parent, int32_t kind, const char* name, int length)
{
    for (int i = 0; i < parent->m_Children.GetCount(); ++i)
    {
        CContainer* child = parent->m_Children[i];
        if (child->m_Values.GetCount() > 0 && KindOf(child) == kind && NameIs(child, name, length))
            return child;
    }
    return nullptr;
}

CContainer* AddChild(CContainer* parent, int32_t kind, const char* name, int length)
{
    CContainer* child = NEW CContainer;
    child->m_Values.Add(NEW CVariant(CVariant::FromInt(kind)));
    CString text;
    text.Set(name, length);
    child->m_Values.Add(NEW CVariant(text.GetText()));
    child->m_Parent = parent;
    parent->m_Children.Add(child);
    return child;
}

void SetIntValue(CContainer* node, int index, int32_t value)
{
    if (index < node->m_Values.GetCount())
        *node->m_Values[index] = CVariant::FromInt(value);
    else
        node->m_Values.Add(NEW CVariant(CVariant::FromInt(value)));
}
} // namespace

CStuffReader::CStuffReader() : m_Loaded(false) {}

CStuffReader::~CStuffReader() = default;

void CStuffReader::Read(CContainer& node)
{
    CEffect::Read(node);
    m_Loaded = false;
    node.GetString("filename", &m_FileName, "");
    SetOutput("", CVariant::FromPointer(this));
    MakePassive();
}

bool CStuffReader::Load()
{
    if (m_Loaded)
        return false;
    m_Loaded = true;
    m_Reader.Open(m_FileName.GetText());
    if (!m_Reader.IsOpen())
        return false;
    if (!ReadDirectory())
    {
        // Without a whole directory no entry's offset is known: serve nothing.
        for (int i = 0; i < m_Root.m_Children.GetCount(); ++i)
            delete m_Root.m_Children[i];
        m_Root.m_Children.Clear();
        m_Files.Clear();
        m_Entries.Clear();
        m_Reader.Close();
        return false;
    }
    NMemoryManager::CheckMemory(true);
    SetFilePos(m_Reader.GetPosition());
    return true;
}

void CStuffReader::Reject(const char* reason, int32_t entry)
{
    if (entry < 0)
        Log("CStuffReader: %s: %s\n", m_FileName.GetText(), reason);
    else
        Log("CStuffReader: %s: %s (entry %d)\n", m_FileName.GetText(), reason, entry);
}

bool CStuffReader::ReadDirectory()
{
    const int64_t fileSize = m_Reader.GetSize();
    int32_t count = 0;
    if (m_Reader.Read(&count, 4) != 4)
    {
        Reject("truncated directory", -1);
        return false;
    }
    if (count <= 0)
        return true;
    // Every entry takes at least nine bytes (size, length, terminator).
    if (int64_t(count) * 9 > fileSize - 4)
    {
        Reject("entry count does not fit the archive", -1);
        return false;
    }
    if (!m_Files.SetCount(count) || !m_Entries.SetCount(count))
        return false;

    // The names wait until the directory's end is known, which places every entry's data.
    std::vector<CString> paths{size_t(count)};
    std::vector<const char*> refusals(size_t(count), nullptr);
    char name[NAME_BUFFER_SIZE];
    for (int32_t i = 0; i < count; ++i)
    {
        m_Files[i] = nullptr;
        m_Entries[i] = SEntry();
        int32_t header[2];
        if (m_Reader.Read(header, 8) != 8)
        {
            Reject("truncated directory", i);
            return false;
        }
        const int32_t size = header[0], length = header[1];
        // A negative size is a huge one: it and everything after it lie past the end.
        m_Entries[i].m_Size = size;
        m_Entries[i].m_Span = uint32_t(size);
        if (length < 0 || int64_t(m_Reader.GetPosition()) + length + 1 > fileSize)
        {
            Reject("truncated directory", i);
            return false;
        }
        if (length >= NAME_BUFFER_SIZE)
        {
            refusals[size_t(i)] = "entry name longer than 1023 bytes";
            m_Reader.Seek(m_Reader.GetPosition() + length + 1, 0);
            continue;
        }
        if (m_Reader.Read(name, length + 1) != length + 1)
        {
            Reject("truncated directory", i);
            return false;
        }
        name[length] = 0;
        paths[size_t(i)].Set(name, int(strlen(name)));
        paths[size_t(i)].MakeLower();
        if (size < 0)
            refusals[size_t(i)] = "negative entry size";
    }

    int64_t pos = m_Reader.GetPosition();
    for (int32_t i = 0; i < count; ++i)
    {
        pos += m_Entries[i].m_Span;
        const char* refusal = refusals[size_t(i)];
        if (!refusal && pos > fileSize)
            refusal = "entry runs past the end of the archive";
        m_Entries[i].m_Refused = refusal != nullptr;
        if (refusal)
        {
            Reject(refusal, i);
            continue;
        }
        const CString& path = paths[size_t(i)];
        CContainer* node = FindNode(path, true);
        m_Files[i] = node;
        if (node->m_Values.GetCount() > 3)
            Log("CStuffReader: %s: duplicate entry %s, the first one is kept\n", m_FileName.GetText(),
                path.GetText());
        else if (node->m_Values.GetCount() == 2)
        {
            SetIntValue(node, VALUE_SIZE, m_Entries[i].m_Size);
            SetIntValue(node, VALUE_OFFSET, -1);
        }
        else
            Log("ERROR: Container: %s damaged\n", path.GetText());
    }
    return true;
}

void CStuffReader::SetFilePos(int32_t start)
{
    int64_t pos = start;
    for (int i = 0; i < m_Files.GetCount(); ++i)
    {
        CContainer* node = m_Files[i];
        const bool known = i < m_Entries.GetCount();
        if (!node)
        {
            if (!known || !m_Entries[i].m_Refused)
                Log("ERROR: CStuffReader::SetFilePos Empty file: %d\n", i);
            if (known)
                pos += m_Entries[i].m_Span;
            continue;
        }
        // A duplicate keeps the first entry's offset; its own bytes are stepped over.
        if (node->m_Values.GetCount() > 3 && node->m_Values[VALUE_OFFSET]->ToInt() == -1)
            *node->m_Values[VALUE_OFFSET] = CVariant::FromInt(int32_t(pos));
        pos += known ? m_Entries[i].m_Span : uint32_t(node->m_Values[VALUE_SIZE]->ToInt());
    }
}

CContainer* CStuffReader::FindNode(const CString& path, bool create)
{
    const char* text = path.GetText();
    CContainer* node = &m_Root;
    for (;;)
    {
        const char* separator = strchr(text, '\\');
        if (!separator)
            break;
        const int length = int(separator - text);
        CContainer* child = FindChild(node, KIND_DIRECTORY, text, length);
        if (!child)
        {
            if (!create)
                return nullptr;
            child = AddChild(node, KIND_DIRECTORY, text, length);
        }
        node = child;
        text = separator + 1;
    }
    const int length = int(strlen(text));
    CContainer* file = FindChild(node, KIND_FILE, text, length);
    if (file || !create)
        return file;
    return AddChild(node, KIND_FILE, text, length);
}

CContainer* CStuffReader::FindDirectory(const CString& path)
{
    const char* text = path.GetText();
    CContainer* node = &m_Root;
    while (*text)
    {
        const char* separator = strchr(text, '\\');
        const int length = separator ? int(separator - text) : int(strlen(text));
        node = FindChild(node, KIND_DIRECTORY, text, length);
        if (!node)
            return nullptr;
        text += length + (separator ? 1 : 0);
    }
    return node;
}

CMemoryBlock* CStuffReader::OpenNode(CContainer* fileNode)
{
    if (!m_Reader.IsOpen() || !fileNode || fileNode->m_Values.GetCount() < 4 || KindOf(fileNode) != KIND_FILE)
        return nullptr;
    const int32_t size = fileNode->m_Values[VALUE_SIZE]->ToInt();
    m_Reader.Seek(fileNode->m_Values[VALUE_OFFSET]->ToInt(), 0);
    CMemoryBlock* block = NEW CMemoryBlock(size);
    if (block->m_Data)
        m_Reader.Read(block->m_Data, block->m_Size);
    return block;
}

CMemoryBlock* CStuffReader::OpenFile(const CString& path)
{
    return OpenNode(FindNode(path, false));
}

void CStuffReader::FindFiles(const CString& pattern, TDynamicArray<CContainer*>& out, CContainer* start)
{
    if (!start)
        start = &m_Root;
    for (int i = 0; i < start->m_Children.GetCount(); ++i)
    {
        CContainer* child = start->m_Children[i];
        if (child->m_Values.GetCount() < 2)
            continue;
        const int32_t kind = KindOf(child);
        if (kind == KIND_FILE && NameOf(child).Contains(pattern.GetText()))
            out.Add(child);
        else if (kind == KIND_DIRECTORY)
            FindFiles(pattern, out, child);
    }
}

void CStuffReader::GetDirectoryPath(CContainer* node, CString& path)
{
    for (; node; node = node->m_Parent)
        if (node->m_Values.GetCount() > 0 && KindOf(node) == KIND_DIRECTORY)
            path = NameOf(node) + CString("\\") + path;
}

CString CStuffReader::GetPath(CContainer* node)
{
    CString path;
    GetDirectoryPath(node, path);
    if (node && node->m_Values.GetCount() > 1 && KindOf(node) == KIND_FILE)
        path += NameOf(node);
    return path;
}

KETH_REGISTER_CLASS(CStuffReader, "stufffile");
