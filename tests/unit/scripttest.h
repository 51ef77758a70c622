#pragma once
// Helpers of the script, effect and demo system tests: an effect ("probe" blocks) that writes
// every call it gets into a journal, and a show built from script text.
#include "demosystem.h"
#include "effect.h"
#include "ogldevice.h"
#include "keth/func/classregistry.h"
#include "keth/func/exception.h"
#include "testsupport.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline std::vector<std::string> g_ProbeJournal;

class CProbeEffect : public CEffect
{
public:
    void Read(CContainer& node) override
    {
        CEffect::Read(node);
        Note("Read");
        if (node.Find("fail"))
            throw NKeth::CException("probe failed");
    }
    void InitDevice(int deviceIndex) override { Note("InitDevice %g", deviceIndex); }
    void PrepareDevice(int deviceIndex) override { Note("PrepareDevice %g", deviceIndex); }
    void Update(float localtime, float amount) override
    {
        CEffect::Update(localtime, amount);
        Note("Update %g %g", localtime, amount);
    }
    void Render(float localtime, float amount) override { Note("Render %g %g", localtime, amount); }

private:
    void Note(const char* format, double a = 0, double b = 0)
    {
        char text[64];
        snprintf(text, sizeof text, format, a, b);
        g_ProbeJournal.push_back(std::string(m_Name.GetText()) + ": " + text);
    }
};

inline NKeth::NClassRegistry::CClass* CreateProbeEffect()
{
    return NEW CProbeEffect;
}
inline NKeth::NClassRegistry::SRegistrar g_ProbeRegistrar("CProbeEffect", "probe", CreateProbeEffect);

// Reads script text into a root container.
inline void ReadScript(CContainer& root, const std::string& text)
{
    NKeth::CMemoryReader reader(text.data(), int32_t(text.size()));
    root.Read(reader);
}

// The log without the demo system's timing lines.
inline std::string WithoutTimings(const std::string& log)
{
    std::string out;
    for (size_t start = 0, end; start < log.size(); start = end)
    {
        end = std::min(log.find('\n', start), log.size() - 1) + 1;
        const std::string line = log.substr(start, end - start);
        if (line.rfind("[DEMOSYS] ", 0) != 0 || line.find(" ms for ") == std::string::npos)
            out += line;
    }
    return out;
}

// The names of a list of effects, in order.
inline std::vector<std::string> NamesOf(const NKeth::TDynamicArray<CEffect*>& effects)
{
    std::vector<std::string> names;
    for (int i = 0; i < effects.GetCount(); ++i)
        names.push_back(effects[i]->m_Name.GetText());
    return names;
}

// Effects live until the process ends in the program; the tests free them.
inline void DeleteEffects(CDemoSystem& system)
{
    for (int i = 0; i < system.m_Effects.GetCount(); ++i)
        delete system.m_Effects[i];
    system.m_Effects.Clear();
    system.m_Root = nullptr;
}

// A show on a demo system of its own, freed with its effects. Its devices are empty slots, or
// the given devices with the first one current while the script is read.
class CTestShow
{
public:
    explicit CTestShow(const std::string& text, int devices = 0)
        : CTestShow(text, std::vector<COGLDevice*>(size_t(devices), nullptr))
    {
    }
    CTestShow(const std::string& text, const std::vector<COGLDevice*>& devices)
    {
        g_ProbeJournal.clear();
        ReadScript(m_Root, text);
        for (COGLDevice* device : devices)
            m_System.m_Devices.Add(device);
        m_OwnDevices = !devices.empty() && devices[0];
        if (m_OwnDevices)
            devices[0]->MakeCurrent();
        m_System.Init(m_Root);
    }
    ~CTestShow()
    {
        DeleteEffects(m_System);
        if (m_OwnDevices)
            SetCurrentDevice(nullptr);
    }
    CTestShow(const CTestShow&) = delete;
    CTestShow& operator=(const CTestShow&) = delete;

    void Prepare(int device) { m_System.m_Root->PrepareDevice(device); }
    CEffect* Effect(const char* name)
    {
        int index = m_System.FindEffect(name);
        return index < 0 ? nullptr : m_System.m_Effects[index];
    }
    CEffect_Group* Group(const char* name) { return dynamic_cast<CEffect_Group*>(Effect(name)); }
    // The journal lines written since the last call.
    std::vector<std::string> TakeJournal()
    {
        std::vector<std::string> lines;
        lines.swap(g_ProbeJournal);
        return lines;
    }

    CContainer m_Root;
    CDemoSystem m_System;

private:
    bool m_OwnDevices = false;
};
