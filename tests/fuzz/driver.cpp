// Replays inputs through a fuzz target without libFuzzer: every file named on the command line,
// or every file in a named directory, is fed to LLVMFuzzerTestOneInput once. Inputs above 1 MiB
// are skipped: the targets are written for what libFuzzer generates from the small seeds.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int RunFile(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
    {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    fclose(f);
    if (data.size() > (1 << 20))
        return 0;
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return 0;
}

int main(int argc, char** argv)
{
    int failures = 0, runs = 0;
    for (int i = 1; i < argc; ++i)
    {
        struct stat info;
        if (stat(argv[i], &info) != 0)
        {
            fprintf(stderr, "missing %s\n", argv[i]);
            ++failures;
            continue;
        }
        if (!S_ISDIR(info.st_mode))
        {
            failures += RunFile(argv[i]);
            ++runs;
            continue;
        }
        DIR* dir = opendir(argv[i]);
        while (dirent* entry = dir ? readdir(dir) : nullptr)
        {
            std::string path = std::string(argv[i]) + "/" + entry->d_name;
            if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            {
                failures += RunFile(path);
                ++runs;
            }
        }
        if (dir)
            closedir(dir);
    }
    printf("%d inputs replayed, %d unreadable\n", runs, failures);
    return failures == 0 && runs > 0 ? 0 : 1;
}
