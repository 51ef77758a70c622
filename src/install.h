#pragma once
#include "keth/func/string.h"

// The screensaver's data directory and its installation, kept in the platform registry.
void EnterDataDirectory();
void InstallScreensaver();
NKeth::CString GetInstallerLocation();
