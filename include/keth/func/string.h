#pragma once
#include <cstdarg>
#include <cstdint>

namespace NKeth
{
char* StrCpy(char* to, const char* from);
// Bytes compared as unsigned values; -1, 0 or 1.
int StrCmp(const char* a, const char* b);
int StrLen(const char* text);
char* SPrintF(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));
char* VSPrintF(char* buffer, const char* format, va_list args);
// Lowers A to Z only.
char* StrLwr(char* text);
// hash = hash * 31 + byte, the byte taken as a signed char, modulo 2^32.
int32_t StrHash(const char* text);

// Owned, zero-terminated byte string. Every change makes a new exact-size buffer.
class CString
{
public:
    static const int FORMAT_BUFFER_SIZE = 40920;

    CString();
    // Always formats: text that may hold a per-cent sign is assigned, not passed here.
    CString(const char* format, ...) __attribute__((format(printf, 2, 3)));
    CString(const CString& other);
    ~CString();

    CString& operator=(const char* text);
    CString& operator=(const CString& other);
    CString& operator+=(const CString& other);

    void Set(const char* text, int length);
    void Append(const char* text, int length);
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A fresh buffer of size bytes holding an empty text, for the caller to fill with
    // size - 1 characters and a terminator.
    char* GetBuffer(int size);

    int Find(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    bool Contains(const char* text) const;
    bool operator==(const char* text) const;
    bool operator!=(const char* text) const;

    void MakeLower();
    CString Remove(int start, int count) const;
    CString Token(const char* separator);

    int GetLength() const { return m_Size - 1; }
    const char* GetText() const { return m_Buffer; }
    operator const char*() const { return m_Buffer; }

    char* m_Buffer;
    int32_t m_Size;

private:
    void Assign(const char* text, int length);
    void FormatV(const char* format, va_list args);
};

CString operator+(const CString& a, const CString& b);
} // namespace NKeth
