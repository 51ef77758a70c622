#include "monitors.h"
#include "platform.h"

#include "keth/base/log.h"
#include "keth/func/dynamicarray.h"

using namespace NKeth;

namespace
{
TDynamicArray<SMonitor> g_Monitors;
}

void NMonitors::Clear()
{
    g_Monitors.Clear();
    g_Monitors.SetCapacity(1);
}

void NMonitors::Add(const SMonitor& monitor)
{
    g_Monitors.Add(monitor);
}

void NMonitors::LogAll()
{
    for (int i = 0; i < g_Monitors.GetCount(); ++i)
    {
        const SMonitor& m = g_Monitors[i];
        Log("#%d: rect=%d,%d,%d,%d size=%d,%d device=\"%s\"\n", i, int(m.m_Left), int(m.m_Top),
            int(m.m_Right), int(m.m_Bottom), int(m.m_Right - m.m_Left), int(m.m_Bottom - m.m_Top),
            m.m_DeviceName);
    }
}

const SMonitor* NMonitors::Get(int index)
{
    return index >= 0 && index < g_Monitors.GetCount() ? &g_Monitors[index] : nullptr;
}

int GetMonitorCount()
{
    return g_Monitors.GetCount();
}

TVector2<int> GetMonitorSize(int index)
{
    const SMonitor* monitor = NMonitors::Get(index);
    return monitor ? TVector2<int>(monitor->m_Width, monitor->m_Height) : TVector2<int>(0, 0);
}
