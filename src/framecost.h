#pragma once
// What each effect costs per frame, for show authors: the CPU time of its update and render and,
// where the driver has timer queries, the GPU time of its render, averaged over the last second.
// A group's cost includes its children's; render costs add up over the devices.
#include <cstdint>
#include <memory>
#include <unordered_map>

class CEffect;

class CFrameCost
{
public:
    enum EPhase
    {
        UPDATE,
        RENDER,
    };
    struct SCost
    {
        float m_UpdateMs = 0;
        float m_RenderMs = 0;
        float m_GpuMs = 0;
        bool m_HasGpu = false;
    };

    // Times one call of an effect; costs nothing without a frame cost.
    class CScope
    {
    public:
        CScope(CFrameCost* cost, CEffect* effect, EPhase phase, int device)
            : m_Cost(cost), m_Effect(effect), m_Phase(phase), m_Device(device),
              m_Start(cost ? cost->Begin(effect, phase, device) : 0)
        {
        }
        ~CScope()
        {
            if (m_Cost)
                m_Cost->End(m_Effect, m_Phase, m_Device, m_Start);
        }
        CScope(const CScope&) = delete;
        CScope& operator=(const CScope&) = delete;

    private:
        CFrameCost* m_Cost;
        CEffect* m_Effect;
        EPhase m_Phase;
        int m_Device;
        int64_t m_Start;
    };

    // GPU times only when useTimerQueries and the driver has timer queries; it must be made
    // with a context current.
    explicit CFrameCost(bool useTimerQueries);
    ~CFrameCost();
    CFrameCost(const CFrameCost&) = delete;
    CFrameCost& operator=(const CFrameCost&) = delete;

    // Once per frame, before the updates: after a second the averages of that second replace
    // the ones shown.
    void BeginFrame();
    // The averages of the last whole second; false for an effect that did not run then.
    bool Get(const CEffect* effect, SCost& out) const;

private:
    struct SRecord;
    int64_t Begin(CEffect* effect, EPhase phase, int device);
    void End(CEffect* effect, EPhase phase, int device, int64_t start);

    bool m_Gpu;
    int64_t m_WindowStart = -1;
    int m_Frames = 0;
    std::unordered_map<const CEffect*, std::unique_ptr<SRecord>> m_Records;
};
