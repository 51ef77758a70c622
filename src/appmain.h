#pragma once

class CDemoSystem;
// The show the program plays; only the start-up and the frame loop reach it by name.
extern CDemoSystem g_DemoSystem;

// Line output of the program: formats into a 4096-byte buffer and hands the text to the log.
void AppLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The whole program behind the platform entry: 0 after a normal end of the show, -1 for the
// preview, configuration and install calls and for every start-up failure.
int AppMain(const char* commandLine);
