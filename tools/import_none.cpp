// Builds without the import library (the Windows cross build) keep the commands and say why
// they cannot run.
#include "commands.h"

#include <cstdio>

namespace
{
int NoImporter(const char* command)
{
    fprintf(stderr,
            "vornscr-tool: %s: this build has no model importer (build on Linux with libassimp-dev)\n",
            command);
    return 2;
}
} // namespace

int RunImport(int, char**)
{
    return NoImporter("import");
}
int RunShow(int, char**)
{
    return NoImporter("show");
}
int RunFormats(int, char**)
{
    return NoImporter("formats");
}
