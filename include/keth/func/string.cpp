#include "keth/func/string.h"
#include "keth/base/memorymanager.h"
#include "keth/base/sys.h"

#include <cstdio>

namespace NKeth
{
char* StrCpy(char* to, const char* from)
{
    char* out = to;
    while ((*out++ = *from++) != 0)
    {
    }
    return to;
}

int StrCmp(const char* a, const char* b)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    while (*x && *x == *y)
        ++x, ++y;
    return *x < *y ? -1 : (*x > *y ? 1 : 0);
}

int StrLen(const char* text)
{
    int length = 0;
    while (text[length])
        ++length;
    return length;
}

char* VSPrintF(char* buffer, const char* format, va_list args)
{
    vsprintf(buffer, format, args);
    return buffer;
}

char* SPrintF(char* buffer, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VSPrintF(buffer, format, args);
    va_end(args);
    return buffer;
}

char* StrLwr(char* text)
{
    for (char* c = text; *c; ++c)
        if (*c >= 'A' && *c <= 'Z')
            *c = char(*c - 'A' + 'a');
    return text;
}

int32_t StrHash(const char* text)
{
    uint32_t hash = 0;
    for (; *text; ++text)
        hash = hash * 31u + uint32_t(int32_t(static_cast<signed char>(*text)));
    return int32_t(hash);
}

CString::CString() : m_Buffer(nullptr), m_Size(0)
{
    Assign("", 0);
}

CString::CString(const char* format, ...) : m_Buffer(nullptr), m_Size(0)
{
    if (!format)
    {
        Assign("", 0);
        return;
    }
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

CString::CString(const CString& other) : m_Buffer(nullptr), m_Size(0)
{
    if (other.m_Buffer)
        Assign(other.m_Buffer, other.m_Size - 1);
    else
        Assign("", 0);
}

CString::~CString()
{
    delete[] m_Buffer;
}

// Takes the copy before the old buffer goes, so text from inside this string is safe.
void CString::Assign(const char* text, int length)
{
    char* buffer = NEW char[length + 1];
    MemMove(buffer, text, size_t(length));
    buffer[length] = 0;
    delete[] m_Buffer;
    m_Buffer = buffer;
    m_Size = length + 1;
}

void CString::FormatV(const char* format, va_list args)
{
    char buffer[FORMAT_BUFFER_SIZE];
    int length = vsnprintf(buffer, sizeof buffer, format, args);
    if (length < 0)
        length = 0;
    if (length > FORMAT_BUFFER_SIZE - 1)
        length = FORMAT_BUFFER_SIZE - 1;
    Assign(buffer, length);
}

CString& CString::operator=(const char* text)
{
    if (!text)
        Assign("", 0);
    else
        Assign(text, StrLen(text));
    return *this;
}

CString& CString::operator=(const CString& other)
{
    if (this == &other)
        return *this;
    if (other.m_Buffer)
        Assign(other.m_Buffer, other.m_Size - 1);
    else
        Assign("", 0);
    return *this;
}

CString& CString::operator+=(const CString& other)
{
    if (other.m_Buffer)
        Append(other.m_Buffer, other.m_Size - 1);
    return *this;
}

void CString::Set(const char* text, int length)
{
    if (length < 0)
        length = 0;
    Assign(text, length);
}

void CString::Append(const char* text, int length)
{
    if (length <= 0)
        return;
    int size = m_Size > 0 ? m_Size : 1;
    char* buffer = NEW char[size + length];
    if (m_Buffer)
        MemMove(buffer, m_Buffer, size_t(size - 1));
    MemMove(buffer + size - 1, text, size_t(length));
    buffer[size - 1 + length] = 0;
    delete[] m_Buffer;
    m_Buffer = buffer;
    m_Size = size + length;
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

char* CString::GetBuffer(int size)
{
    if (size < 1)
        size = 1;
    char* buffer = NEW char[size];
    buffer[0] = 0;
    delete[] m_Buffer;
    m_Buffer = buffer;
    m_Size = size;
    return m_Buffer;
}

int CString::Find(const char* format, ...) const
{
    char pattern[FORMAT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    int p = vsnprintf(pattern, sizeof pattern, format, args);
    va_end(args);
    if (p < 0)
        return -1;
    if (p > FORMAT_BUFFER_SIZE - 1)
        p = FORMAT_BUFFER_SIZE - 1;
    int l = GetLength();
    if (p > l)
        return -1;
    for (int i = 0; i <= l - p; ++i)
        if (MemCmp(m_Buffer + i, pattern, size_t(p)) == 0)
            return i;
    return -1;
}

bool CString::Contains(const char* text) const
{
    return Find("%s", text) != -1;
}

bool CString::operator==(const char* text) const
{
    if (!m_Buffer)
        return false;
    return StrCmp(m_Buffer, text ? text : "") == 0;
}

bool CString::operator!=(const char* text) const
{
    if (!m_Buffer)
        return false;
    return StrCmp(m_Buffer, text ? text : "") != 0;
}

void CString::MakeLower()
{
    StrLwr(m_Buffer);
}

CString CString::Remove(int start, int count) const
{
    CString result;
    int l = GetLength();
    if (count <= 0 || start < 0 || start > l)
        return result;
    if (count > l)
        count = l;
    if (start + count > l)
        count = l - start;
    if (l - count <= 0)
        return result;
    char* buffer = result.GetBuffer(l - count + 1);
    MemMove(buffer, m_Buffer, size_t(start));
    MemMove(buffer + start, m_Buffer + start + count, size_t(l - start - count));
    buffer[l - count] = 0;
    return result;
}

CString CString::Token(const char* separator)
{
    int i = Find("%s", separator);
    if (i < 0)
    {
        CString result(*this);
        *this = CString();
        return result;
    }
    CString result;
    result.Set(m_Buffer, i);
    *this = Remove(0, i + StrLen(separator));
    return result;
}

CString operator+(const CString& a, const CString& b)
{
    CString result(a);
    result += b;
    return result;
}
} // namespace NKeth
