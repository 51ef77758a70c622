// The Windows screensaver dialog's calls have no counterpart here: xscreensaver embeds its
// programs through -window-id and keeps the settings in its own file.
#include "ogldevice.h"

bool SelectPreviewWindow(const char*)
{
    return false;
}

void ShowSettings() {}
