#pragma once
#include "keth/func/string.h"

// The screensaver's data directory and its installation, kept in the platform registry.
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
