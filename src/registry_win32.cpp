// The Win32 registry behind full key paths such as "HKEY_LOCAL_MACHINE\SOFTWARE\VornScr", and the
// file-system side of the installation.
#include "platform.h"

#include "keth/base/memorymanager.h"

#include <windows.h>
// The platform header renames this to its ANSI function; ours keeps its name.
#undef GetComputerName

#include <cstring>

using namespace NKeth;

namespace
{
// Registry strings and the working directory are read into buffers of this size.
const DWORD TEXT_SIZE = 500;

struct SRoot
{
    const char* m_Name;
    HKEY m_Key;
};

const SRoot ROOTS[] = {
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

// Splits "<root>\<path>" into the predefined root key and the path below it.
bool SplitKey(const char* key, HKEY& root, const char*& path)
{
    for (const SRoot& candidate : ROOTS)
    {
        size_t length = strlen(candidate.m_Name);
        if (_strnicmp(key, candidate.m_Name, length) == 0 && (key[length] == '\\' || key[length] == 0))
        {
            root = candidate.m_Key;
            path = key[length] ? key + length + 1 : key + length;
            return true;
        }
    }
    return false;
}

bool OpenKey(const char* key, REGSAM access, bool create, HKEY& opened)
{
    HKEY root;
    const char* path;
    if (!SplitKey(key, root, path))
        return false;
    if (create)
        return RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &opened, nullptr) == ERROR_SUCCESS;
    return RegOpenKeyExA(root, path, 0, access, &opened) == ERROR_SUCCESS;
}
} // namespace

namespace NRegistry
{
bool CreateKey(const char* key)
{
    HKEY opened;
    if (!OpenKey(key, KEY_ALL_ACCESS, true, opened))
        return false;
    RegCloseKey(opened);
    return true;
}

bool ReadString(const char* key, const char* name, CString& value)
{
    HKEY opened;
    if (!OpenKey(key, KEY_READ, false, opened))
        return false;
    char text[TEXT_SIZE + 1];
    DWORD size = TEXT_SIZE;
    DWORD type = 0;
    LONG status = RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(opened);
    // Anything but text would be read as a path; a stored string need not carry its terminator.
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    text[size < TEXT_SIZE ? size : TEXT_SIZE] = 0;
    value = text;
    return true;
}

bool WriteString(const char* key, const char* name, const char* value)
{
    HKEY opened;
    if (!OpenKey(key, KEY_ALL_ACCESS, true, opened))
        return false;
    LONG status = RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                 DWORD(strlen(value) + 1));
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}
} // namespace NRegistry

namespace NPlatform
{
CString GetWorkingDirectory()
{
    CString result;
    // A directory longer than the usual buffer is taken whole rather than cut.
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    if (needed == 0)
        return result;
    char* text = NEW char[needed + 1];
    DWORD got = GetCurrentDirectoryA(needed + 1, text);
    if (got > 0 && got <= needed)
        result = text;
    delete[] text;
    return result;
}

bool SetWorkingDirectory(const char* path)
{
    return SetCurrentDirectoryA(path) != 0;
}

bool InstallProgram(const char* installerLocation)
{
    // Without a location there is nowhere to install to; a location without its closing
    // separator still names the directory (the system reports it either way).
    if (!installerLocation || !*installerLocation)
        return false;
    CString destination;
    destination = installerLocation;
    char last = installerLocation[strlen(installerLocation) - 1];
    if (last != '\\' && last != '/')
        destination += CString("\\");
    destination += CString("vornscr.scr");
    CString source = GetWorkingDirectory();
    source += CString("\\vornscr.exe");
    return CopyFileA(source.GetText(), destination.GetText(), FALSE) != 0;
}

CString GetComputerName()
{
    char name[128] = {};
    DWORD size = 127;
    if (!GetComputerNameA(name, &size))
        size = 0;
    name[size < 127 ? size : 127] = 0;
    CString result;
    result = name;
    return result;
}

void Sleep(double seconds)
{
    if (seconds > 0)
        ::Sleep(DWORD(seconds * 1000 + 0.5));
}
} // namespace NPlatform
