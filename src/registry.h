#pragma once
#include "keth/func/string.h"

// The registry of the platform, addressed by full key paths such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\VornScr". Failures are silent: a key that cannot be opened or a
// value that cannot be read simply is not there.
namespace NRegistry
{
// Opens the key with full access, creating it when it does not exist.
bool CreateKey(const char* key);
bool ReadString(const char* key, const char* name, NKeth::CString& value);
bool WriteString(const char* key, const char* name, const char* value);
} // namespace NRegistry

// Platform services of the installation.
namespace NPlatform
{
NKeth::CString GetWorkingDirectory();
bool SetWorkingDirectory(const char* path);
// Copies the running program to the installer location; false when the copy failed.
bool InstallProgram(const char* installerLocation);
NKeth::CString GetComputerName();
} // namespace NPlatform

void EnterDataDirectory();
void InstallScreensaver();
NKeth::CString GetInstallerLocation();
// Where the data directory holds no show, changes to the sample show in sampleDirectory when that
// holds one; true when it did.
bool EnterSampleShow(const char* sampleDirectory);
// The same with the sample show that an installed package brings, if any.
void EnterPackagedSample();
// What the settings dialog tells: the recorded data directory or that none is installed, how to
// install a show and where the manual is.
NKeth::CString DescribeInstallation();
