#include "showdir.h"

#include <cstring>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

const char* const CShowDirectory::MANIFEST = "vornscr/manifest.txt";

namespace
{
std::string Header(const std::string& kind)
{
    return "// Files written by vornscr-tool " + kind + "; it replaces them when it runs here again.";
}

// A relative name that stays inside the directory.
bool Inside(const std::string& name)
{
    if (name.empty() || name[0] == '/' || name.find('\\') != std::string::npos)
        return false;
    for (const fs::path& part : fs::path(name))
        if (part == "..")
            return false;
    return true;
}
} // namespace

bool CShowDirectory::Open(const fs::path& directory, const std::string& kind, bool force, std::string& error)
{
    m_Path = directory;
    m_Kind = kind;
    m_Earlier.clear();
    std::error_code code;
    const fs::file_status status = fs::status(directory, code);
    if (!fs::exists(status))
    {
        const fs::path parent = fs::absolute(directory, code).parent_path();
        if (!fs::is_directory(parent, code))
        {
            error = "cannot make " + directory.string() + ": " + parent.string() + " does not exist";
            return false;
        }
        if (!fs::create_directory(directory, code))
        {
            error = "cannot make " + directory.string() + ": " + code.message();
            return false;
        }
    }
    else if (!fs::is_directory(status))
    {
        error = directory.string() + " is not a directory";
        return false;
    }

    std::ifstream manifest(directory / MANIFEST);
    std::string line, other;
    const bool ours = manifest && std::getline(manifest, line) && line == Header(kind);
    for (const char* command : {"show", "sample"})
        if (!ours && line == Header(command))
            other = command;
    while (ours && std::getline(manifest, line))
        if (Inside(line))
            m_Earlier.push_back(line);
    if (!ours && !force && !fs::is_empty(directory, code))
    {
        error = directory.string() +
                (other.empty() ? " holds files that are not a show of vornscr-tool " + kind
                               : " holds a show of vornscr-tool " + other + ", not of vornscr-tool " + kind) +
                " (--force writes into it all the same)";
        return false;
    }
    m_Before = Snapshot();
    for (const std::string& name : m_Earlier)
        m_Before.erase(name);
    m_Before.erase(MANIFEST);
    return true;
}

void CShowDirectory::RemoveEarlierShow()
{
    std::set<fs::path> parents;
    std::error_code code;
    for (const std::string& name : m_Earlier)
    {
        const fs::path file = m_Path / name;
        if (fs::is_regular_file(fs::symlink_status(file, code)))
            fs::remove(file, code);
        for (fs::path p = fs::path(name).parent_path(); !p.empty(); p = p.parent_path())
            parents.insert(p);
    }
    fs::remove(m_Path / MANIFEST, code);
    // Deepest first, so a directory goes once its children have gone.
    for (auto p = parents.rbegin(); p != parents.rend(); ++p)
        if (fs::is_empty(m_Path / *p, code))
            fs::remove(m_Path / *p, code);
    m_Earlier.clear();
}

CShowDirectory::TSnapshot CShowDirectory::Snapshot() const
{
    TSnapshot files;
    std::error_code code;
    for (fs::recursive_directory_iterator it(m_Path, code), end; !code && it != end; it.increment(code))
    {
        std::error_code fileCode;
        if (!it->is_regular_file(fileCode))
            continue;
        const uintmax_t size = it->file_size(fileCode);
        const fs::file_time_type time = it->last_write_time(fileCode);
        files[fs::relative(it->path(), m_Path, fileCode).generic_string()] = {size, time};
    }
    return files;
}

bool CShowDirectory::Close(std::string& error)
{
    std::error_code code;
    fs::create_directories(m_Path / fs::path(MANIFEST).parent_path(), code);
    std::ofstream manifest(m_Path / MANIFEST, std::ios::trunc);
    manifest << Header(m_Kind) << "\n";
    for (const auto& file : Snapshot())
    {
        const auto before = m_Before.find(file.first);
        if (file.first != MANIFEST && (before == m_Before.end() || before->second != file.second))
            manifest << file.first << "\n";
    }
    if (!manifest.flush())
    {
        error = "cannot write " + (m_Path / MANIFEST).string();
        return false;
    }
    return true;
}

bool TakeForce(int& argc, char**& argv)
{
    if (argc > 0 && strcmp(argv[0], "--force") == 0)
    {
        --argc;
        ++argv;
        return true;
    }
    return false;
}
