#include "testsupport.h"
#include "testplatform.h"

#include <cstdio>

#include <fstream>
#include <sstream>

std::vector<SCorpusFile> CorpusFiles(const std::string& prefix, const std::string& extension)
{
    std::vector<SCorpusFile> files;
    for (const std::string dir : {"/", "/synthetic/"})
    {
        std::ifstream manifest(CORPUS_DIR + dir + "MANIFEST.tsv");
        std::string line;
        std::getline(manifest, line); // the column names
        while (std::getline(manifest, line))
        {
            std::vector<std::string> cells;
            std::stringstream row(line);
            std::string cell;
            while (std::getline(row, cell, '\t'))
                cells.push_back(cell);
            const std::string& name = cells.empty() ? line : cells[0];
            if (name.rfind(prefix, 0) != 0 || name.size() < extension.size() ||
                name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
                continue;
            bool accept = false, reject = false;
            for (const std::string& c : cells)
            {
                accept = accept || c == "accept";
                reject = reject || c == "reject";
            }
            if (accept != reject)
                files.push_back({CORPUS_DIR + dir + name, accept});
        }
    }
    return files;
}

int RunCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    return NTestPlatform::ExitCode(pclose(pipe));
}
