#pragma once
// The monitor list behind GetMonitorCount and GetMonitorSize, which each platform's
// EnumerateMonitors fills.
#include <cstdint>

struct SMonitor
{
    // The monitor's rectangle in virtual-screen pixels.
    int32_t m_Left, m_Top, m_Right, m_Bottom;
    // The name the platform knows the display by (the mode switch takes it on Windows).
    char m_DeviceName[32];
    int32_t m_Width;
    int32_t m_Height;
};

namespace NMonitors
{
// Empties the list, keeping room for one record.
void Clear();
void Add(const SMonitor& monitor);
// One "#i: rect=..." line per record.
void LogAll();
// Null for an index outside the list.
const SMonitor* Get(int index);
} // namespace NMonitors
