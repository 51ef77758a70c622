#include "registry.h"

#include "appmain.h"

#include "keth/func/stream.h"

using namespace NKeth;

namespace
{
const char* const VORNSCR_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VornScr";
const char* const INSTALLER_KEY =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
} // namespace

void EnterDataDirectory()
{
    if (!NRegistry::CreateKey(VORNSCR_KEY))
        return;
    CString directory;
    if (NRegistry::ReadString(VORNSCR_KEY, "Dir", directory))
        NPlatform::SetWorkingDirectory(directory.GetText());
    else
        NRegistry::WriteString(VORNSCR_KEY, "Dir", "replaceme");
}

CString GetInstallerLocation()
{
    CString location;
    if (!NRegistry::ReadString(INSTALLER_KEY, "InstallerLocation", location))
        return CString();
    return location;
}

CString DescribeInstallation()
{
    CString directory;
    CString text;
    if (NRegistry::ReadString(VORNSCR_KEY, "Dir", directory) && directory.GetLength() > 0 &&
        !(directory == "replaceme"))
        text = CString("The show is played from the data directory\n%s\n(its vornscr\\script.txt).\n\n",
                       directory.GetText());
    else
        text = "No show is installed yet.\n\n";
    text += CString("To install a show, run \"vornscr.exe -install\" in the show's directory, the one that "
                    "holds vornscr\\script.txt. The show itself is its settings.\n\n"
                    "The show author's manual is docs\\manual.md of the vornscr distribution.");
    return text;
}

void InstallScreensaver()
{
    if (!NRegistry::CreateKey(VORNSCR_KEY))
        return;
    CString directory = NPlatform::GetWorkingDirectory();
    NRegistry::WriteString(VORNSCR_KEY, "Dir", directory.GetText());
    NPlatform::InstallProgram(GetInstallerLocation().GetText());
}

bool EnterSampleShow(const char* sampleDirectory)
{
    if (!sampleDirectory || !*sampleDirectory || CFileReader("vornscr/script.txt").IsOpen())
        return false;
    CString script("%s/vornscr/script.txt", sampleDirectory);
    CString here = NPlatform::GetWorkingDirectory();
    if (!CFileReader(script.GetText()).IsOpen() || !NPlatform::SetWorkingDirectory(sampleDirectory))
        return false;
    AppLog("No show in %s; playing the sample show of %s\n", here.GetText(), sampleDirectory);
    return true;
}

void EnterPackagedSample()
{
#ifdef VORNSCR_SAMPLE_DIR
    EnterSampleShow(VORNSCR_SAMPLE_DIR);
#endif
}
