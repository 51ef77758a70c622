#pragma once

class CDemoSystem;
// The show the program plays; only the start-up and the frame loop reach it by name.
extern CDemoSystem g_DemoSystem;

// The whole program behind the platform entry: 0 after a normal end of the show or the usage
// text, -1 for the preview, configuration and install calls and for every start-up failure, 2
// for a switch without a valid value.
int AppMain(const char* commandLine);
