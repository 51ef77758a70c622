#include "keth/func/mime.h"
#include "keth/base/memorymanager.h"

namespace NKeth
{
namespace
{
struct SMimeEntry
{
    const char* m_Extension;
    const char* m_MimeType;
    SMimeEntry* m_Next;
};

SMimeEntry* g_MimeRegistry = nullptr;

// Entries live for the whole run; released at exit so that the exit report lists real leaks.
struct SEntriesRelease
{
    ~SEntriesRelease()
    {
        while (SMimeEntry* entry = g_MimeRegistry)
        {
            g_MimeRegistry = entry->m_Next;
            delete entry;
        }
    }
} s_EntriesRelease;
} // namespace

const CMimeType g_EmptyMimeType;

CMimeType::CMimeType() : m_Hash(0) {}

CMimeType::CMimeType(const char* name) : m_Hash(0)
{
    m_Name = name;
    m_Hash = StrHash(m_Name.GetText());
}

bool CMimeType::operator==(const CMimeType& other) const
{
    return m_Hash == other.m_Hash && StrCmp(m_Name.GetText(), other.m_Name.GetText()) == 0;
}

bool RegisterMimeType(const char* extension, const char* mimeType)
{
    g_MimeRegistry = NEW SMimeEntry{extension, mimeType, g_MimeRegistry};
    return true;
}

CMimeType GetMimeTypeFromFileName(const char* fileName)
{
    if (!fileName)
        return CMimeType();
    const char* dot = nullptr;
    for (const char* c = fileName; *c; ++c)
        if (*c == '.')
            dot = c;
    if (!dot)
        return CMimeType();
    for (SMimeEntry* entry = g_MimeRegistry; entry; entry = entry->m_Next)
        if (StrCmp(entry->m_Extension, dot + 1) == 0)
            return CMimeType(entry->m_MimeType);
    return CMimeType();
}
} // namespace NKeth
