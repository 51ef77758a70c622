#include "appmain.h"

#include "keth/func/string.h"

// The screensaver host's command line is one string: the arguments joined by single blanks.
int main(int argc, char** argv)
{
    NKeth::CString commandLine;
    for (int i = 1; i < argc; ++i)
    {
        if (i > 1)
            commandLine += NKeth::CString(" ");
        NKeth::CString argument;
        argument = argv[i];
        commandLine += argument;
    }
    return AppMain(commandLine.GetText());
}
