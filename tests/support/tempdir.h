#pragma once
// A temporary directory removed with everything in it, and a guard that enters a directory
// and returns to the previous one.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "testplatform.h"

class CTempDir
{
public:
    CTempDir() : m_Path(NTestPlatform::MakeTemporaryDirectory("vornscr")) {}
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
        std::error_code error;
        m_Previous = std::filesystem::current_path(error).string();
        std::filesystem::current_path(path, error);
        m_Entered = !error;
    }
    ~CWorkingDirectory()
    {
        std::error_code error;
        if (m_Entered && !m_Previous.empty())
            std::filesystem::current_path(m_Previous, error);
        if (error)
            abort();
    }
    CWorkingDirectory(const CWorkingDirectory&) = delete;
    CWorkingDirectory& operator=(const CWorkingDirectory&) = delete;
    bool Entered() const { return m_Entered; }

private:
    std::string m_Previous;
    bool m_Entered = false;
};

// A temporary directory that the test works in while it lives.
class CTempWorkingDirectory : public CTempDir
{
public:
    CTempWorkingDirectory() : m_Enter(Path()) {}
    bool Entered() const { return m_Enter.Entered(); }

private:
    CWorkingDirectory m_Enter;
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
