// The registry as a text file: one "[<root>\<key path>]" section per key and "Name=value" lines,
// in $XDG_CONFIG_HOME/vornscr/registry (default ~/.config/vornscr/registry).
#include "platform.h"

#include "keth/base/sys.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace NKeth;

namespace
{
struct SKey
{
    std::string m_Path;
    std::vector<std::pair<std::string, std::string>> m_Values;
};

std::string ConfigDirectory()
{
    const char* config = getenv("XDG_CONFIG_HOME");
    if (config && *config)
        return std::string(config) + "/vornscr";
    const char* home = getenv("HOME");
    return std::string(home ? home : ".") + "/.config/vornscr";
}

std::string RegistryFile()
{
    return ConfigDirectory() + "/registry";
}

// Key paths compare without regard to case, as the platform registry does.
bool SamePath(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// A missing or unreadable file is an empty registry.
std::vector<SKey> Load()
{
    std::vector<SKey> keys;
    FILE* file = fopen(RegistryFile().c_str(), "rb");
    if (!file)
        return keys;
    std::string line;
    int c;
    auto takeLine = [&]()
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
            keys.push_back(SKey{line.substr(1, line.size() - 2), {}});
        else if (!keys.empty() && line.find('=') != std::string::npos)
        {
            size_t equals = line.find('=');
            keys.back().m_Values.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        }
        line.clear();
    };
    while ((c = fgetc(file)) != EOF)
    {
        if (c == '\n')
            takeLine();
        else
            line += char(c);
    }
    takeLine();
    fclose(file);
    return keys;
}

bool MakeDirectories(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i)
    {
        if (i != path.size() && path[i] != '/')
            continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// Written to a temporary file and renamed, so a crash never leaves half a registry.
bool Save(const std::vector<SKey>& keys)
{
    if (!MakeDirectories(ConfigDirectory()))
        return false;
    std::string target = RegistryFile();
    std::string temporary = target + ".tmp" + std::to_string(getpid());
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    bool ok = true;
    for (const SKey& key : keys)
    {
        ok = ok && fprintf(file, "[%s]\n", key.m_Path.c_str()) > 0;
        for (const auto& value : key.m_Values)
            ok = ok && fprintf(file, "%s=%s\n", value.first.c_str(), value.second.c_str()) > 0;
    }
    ok = fflush(file) == 0 && fsync(fileno(file)) == 0 && ok;
    ok = fclose(file) == 0 && ok;
    if (!ok || rename(temporary.c_str(), target.c_str()) != 0)
    {
        remove(temporary.c_str());
        return false;
    }
    return true;
}

SKey* FindKey(std::vector<SKey>& keys, const char* path)
{
    for (SKey& key : keys)
        if (SamePath(key.m_Path, path))
            return &key;
    return nullptr;
}

// Values hold one line of text; line breaks would split the file's records.
bool IsStorable(const char* text)
{
    for (const char* c = text; *c; ++c)
        if (*c == '\n' || *c == '\r')
            return false;
    return true;
}
} // namespace

namespace NRegistry
{
bool CreateKey(const char* key)
{
    std::vector<SKey> keys = Load();
    if (FindKey(keys, key))
        return true;
    if (!IsStorable(key))
        return false;
    keys.push_back(SKey{key, {}});
    return Save(keys);
}

bool ReadString(const char* key, const char* name, CString& value)
{
    std::vector<SKey> keys = Load();
    SKey* found = FindKey(keys, key);
    if (!found)
        return false;
    for (const auto& entry : found->m_Values)
        if (SamePath(entry.first, name))
        {
            value = entry.second.c_str();
            return true;
        }
    return false;
}

bool WriteString(const char* key, const char* name, const char* value)
{
    if (!IsStorable(key) || !IsStorable(name) || !IsStorable(value) ||
        std::string(name).find('=') != std::string::npos)
        return false;
    std::vector<SKey> keys = Load();
    SKey* found = FindKey(keys, key);
    if (!found)
    {
        keys.push_back(SKey{key, {}});
        found = &keys.back();
    }
    for (auto& entry : found->m_Values)
        if (SamePath(entry.first, name))
        {
            entry.second = value;
            return Save(keys);
        }
    found->m_Values.emplace_back(name, value);
    return Save(keys);
}
} // namespace NRegistry

namespace NPlatform
{
CString GetWorkingDirectory()
{
    std::vector<char> buffer(4096);
    CString result;
    while (!getcwd(buffer.data(), buffer.size()))
    {
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return result;
        buffer.resize(buffer.size() * 2);
    }
    result = buffer.data();
    return result;
}

bool SetWorkingDirectory(const char* path)
{
    char translated[4096];
    return TranslatePath(path, translated, sizeof translated) && chdir(translated) == 0;
}

bool InstallProgram(const char* installerLocation)
{
    std::string location = installerLocation ? installerLocation : "";
    if (location.empty())
    {
        const char* home = getenv("HOME");
        location = std::string(home ? home : ".") + "/.local/bin/";
        if (!MakeDirectories(location.substr(0, location.size() - 1)))
            return false;
    }
    std::string destination = location + "vornscr";
    int in = open("/proc/self/exe", O_RDONLY);
    if (in < 0)
        return false;
    std::string temporary = destination + ".tmp" + std::to_string(getpid());
    int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
    bool ok = out >= 0;
    char chunk[65536];
    ssize_t got;
    while (ok && (got = read(in, chunk, sizeof chunk)) > 0)
        ok = write(out, chunk, size_t(got)) == got;
    close(in);
    if (out >= 0)
        ok = close(out) == 0 && ok;
    if (!ok || rename(temporary.c_str(), destination.c_str()) != 0)
    {
        remove(temporary.c_str());
        return false;
    }
    // The screensaver host finds its programs in a list of its own.
    printf("vornscr installed as %s\n"
           "To add it to xscreensaver's list, put this entry into the \"programs:\" list of\n"
           "~/.xscreensaver (entries there end with \"\\n\\\") and restart xscreensaver:\n"
           "  GL: %s -root\n",
           destination.c_str(), destination.c_str());
    fflush(stdout);
    return true;
}

CString GetComputerName()
{
    char name[128] = {};
    gethostname(name, 127);
    name[127] = 0;
    CString result;
    result = name;
    return result;
}

void Sleep(double seconds)
{
    if (!(seconds > 0))
        return;
    timespec rest;
    rest.tv_sec = time_t(seconds);
    rest.tv_nsec = long((seconds - double(rest.tv_sec)) * 1e9);
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR)
    {
    }
}
} // namespace NPlatform
