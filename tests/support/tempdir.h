#pragma once
// A temporary directory removed with everything in it, and a guard that enters a directory
// and returns to the previous one.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

class CTempDir
{
public:
    CTempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vornscr-XXXXXX").string();
        m_Path = mkdtemp(&pattern[0]) ? pattern : std::string();
    }
    ~CTempDir()
    {
        std::error_code ignored;
        if (!m_Path.empty())
            std::filesystem::remove_all(m_Path, ignored);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    std::string operator/(const std::string& name) const { return m_Path + "/" + name; }
    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path;
};

class CWorkingDirectory
{
public:
    explicit CWorkingDirectory(const std::string& path)
    {
        char previous[4096];
        m_Previous = getcwd(previous, sizeof previous) ? previous : "";
        m_Entered = chdir(path.c_str()) == 0;
    }
    ~CWorkingDirectory()
    {
        if (m_Entered && !m_Previous.empty() && chdir(m_Previous.c_str()) != 0)
            abort();
    }
    CWorkingDirectory(const CWorkingDirectory&) = delete;
    CWorkingDirectory& operator=(const CWorkingDirectory&) = delete;
    bool Entered() const { return m_Entered; }

private:
    std::string m_Previous;
    bool m_Entered;
};

inline bool WriteBytes(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
