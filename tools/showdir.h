#pragma once
// The directory that a show-writing command fills. It accepts a missing directory (whose parent
// exists: only the named directory is made), an empty one, or one that holds an earlier show of
// the same command; anything else only with force. The files a command wrote are listed in the
// show's manifest, so that the next run removes exactly those and keeps everything else.
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CShowDirectory
{
public:
    // kind names the command ("show", "sample"); false with a one-line reason.
    bool Open(const std::filesystem::path& directory, const std::string& kind, bool force,
              std::string& error);
    // Deletes the files of the earlier show, and directories that this leaves empty.
    void RemoveEarlierShow();
    // Lists every file added or changed since Open as this show's; false with a reason.
    bool Close(std::string& error);

    const std::filesystem::path& Path() const { return m_Path; }

    static const char* const MANIFEST; // relative to the directory

private:
    typedef std::map<std::string, std::pair<uintmax_t, std::filesystem::file_time_type>> TSnapshot;
    TSnapshot Snapshot() const;

    std::filesystem::path m_Path;
    std::string m_Kind;
    std::vector<std::string> m_Earlier; // relative names from the manifest
    TSnapshot m_Before;
};

// For the command lines of both commands: takes a leading "--force" out of the arguments.
bool TakeForce(int& argc, char**& argv);
