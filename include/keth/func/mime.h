#pragma once
#include "keth/func/string.h"

#include <cstdint>

namespace NKeth
{
// MIME type text with its hash; compared by hash first, then by text.
class CMimeType
{
public:
    CMimeType();
    explicit CMimeType(const char* name);

    bool operator==(const CMimeType& other) const;
    bool operator!=(const CMimeType& other) const { return !(*this == other); }
    bool IsEmpty() const { return m_Name.GetLength() == 0; }

    CString m_Name;
    int32_t m_Hash;
};

extern const CMimeType g_EmptyMimeType;

bool RegisterMimeType(const char* extension, const char* mimeType);
CMimeType GetMimeTypeFromFileName(const char* fileName);
} // namespace NKeth
