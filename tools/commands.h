// The sub-commands of vornscr-tool. Each takes the words after its name and returns the exit
// status: 0 done, 1 failed, 2 wrong usage.
#pragma once

int RunImage(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunList(int argc, char** argv);
int RunExtract(int argc, char** argv);
int RunModel(int argc, char** argv);
int RunSample(int argc, char** argv);
int RunImport(int argc, char** argv);
int RunShow(int argc, char** argv);
int RunFormats(int argc, char** argv);

// Writes every file below DIRECTORY into a new archive; 0 on success, as RunPack.
int PackDirectory(const char* archive, const char* directory);
