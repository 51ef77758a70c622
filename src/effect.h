#pragma once
#include "container.h"
#include "keth/func/classregistry.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/string.h"

#include <cstdint>

class CDemoSystem;

// Base of every block of the show: common timing, named outputs and the virtual interface
// that groups and the demo system drive.
class CEffect : public NKeth::NClassRegistry::CClass
{
public:
    class COutput
    {
    public:
        NKeth::CString m_Name;
        CVariant m_Value;
    };

    CEffect();
    ~CEffect() override;

    // Draws "localtime amount keyword name" at (x, *y) and moves *y down by 8.
    virtual void DebugPrint(float* y, float x);
    // Replaces the value of the first output of that name, or appends a new output.
    virtual void SetOutput(const char* name, CVariant value);
    // Copies the named output's value; false (out untouched) if there is none.
    virtual bool GetOutput(const char* name, CVariant* out);
    // Reads prio, starttime, endtime, duration, name and passive from the effect's block.
    virtual void Read(CContainer& node);
    // Once per device after the tree is built, with that device current.
    virtual void InitDevice(int deviceIndex);
    // Once per device per frame, before drawing on it.
    virtual void PrepareDevice(int deviceIndex);
    // Three slots that no class uses; they keep the layout of the interface.
    virtual void Reserved7();
    virtual void Reserved8();
    virtual void Reserved9();
    // Per-frame update; publishes the outputs "localtime" and "amount".
    virtual void Update(float localtime, float amount);
    virtual void Render(float localtime, float amount);

    // The keyword the effect was created under; empty when it was not made by keyword.
    const char* GetKeyword() const;
    // The line DebugPrint draws: local time, amount, keyword and name.
    NKeth::CString FormatDebugLine() const;
    // Active at parent time t when starttime <= t < endtime.
    bool IsActiveAt(float t) const { return m_StartTime <= t && t < m_EndTime; }
    // Out of the timeline for good, as "passive" makes it: outputs and device calls stay.
    void MakePassive();
    // The demo system that made the effect: every lookup of another effect, an output or a
    // colour goes through it, so that a show of its own never reaches the program's.
    CDemoSystem& System() const { return *m_Owner; }

    float m_LocalTime;
    float m_Amount;
    CDemoSystem* m_Owner;
    int32_t m_Prio;
    float m_StartTime;
    float m_EndTime;
    float m_Duration;
    NKeth::CString m_Name;
    NKeth::TDynamicArray<COutput> m_Outputs;
};

// Grows a list of per-device objects to count slots, the new ones empty.
template <class T> void GrowTo(NKeth::TDynamicArray<T*>& list, int count)
{
    const int old = list.GetCount();
    if (old >= count || !list.SetCount(count))
        return;
    for (int i = old; i < count; ++i)
        list[i] = nullptr;
}

// "group": the child effects of its block, updated and drawn in ascending priority while
// active. Children's times are relative to the group's local time.
class CEffect_Group : public CEffect
{
public:
    ~CEffect_Group() override;

    void DebugPrint(float* y, float x) override;
    void Read(CContainer& node) override;
    void InitDevice(int deviceIndex) override;
    void PrepareDevice(int deviceIndex) override;
    void Update(float localtime, float amount) override;
    void Render(float localtime, float amount) override;

    // Not owned: the demo system's effect list owns every effect.
    NKeth::TDynamicArray<CEffect*> m_Children;
    // The children active in the current frame, in drawing order.
    NKeth::TDynamicArray<CEffect*> m_Active;
};

// "chain": each child ends where the next one starts.
class CEffect_Chain : public CEffect_Group
{
public:
    void Read(CContainer& node) override;
};

// "timedchain": "part <name> <time> <x> <y>" lines run the named children back to back.
class CEffect_TimedChain : public CEffect_Group
{
public:
    void Read(CContainer& node) override;
};
