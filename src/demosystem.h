#pragma once
#include "container.h"
#include "effect.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/string.h"
#include "keth/func/vector.h"

#include <cstdint>

class CFrameCost;
class COGLDevice;
class CTexture;

// Builds the effect tree from the script, owns every effect, keeps the show clock, finds
// outputs by name, keeps the colour palette and holds the output devices.
class CDemoSystem
{
public:
    struct SColor
    {
        NKeth::CString m_Name;
        float m_R, m_G, m_B, m_A;
    };

    // Effects nested deeper than this are skipped with a log line, so that no script can
    // exhaust the stack of the recursive reads, updates and draws.
    static constexpr int MAX_EFFECT_DEPTH = 256;

    CDemoSystem();
    // Frees the arrays only: effects live until the process ends.
    ~CDemoSystem();
    CDemoSystem(const CDemoSystem&) = delete;
    CDemoSystem& operator=(const CDemoSystem&) = delete;

    // Creates the root group from the root container, then runs InitDevice once per device
    // with that device current. The clock starts at the next Update.
    void Init(CContainer& root);
    // Creates, reads and registers one effect; null if no class has the keyword. Errors
    // raised while the effect reads its block pass through.
    CEffect* CreateEffect(const char* keyword, CContainer* node);
    // Advances the show clock (0 at the first call) and updates the tree; once per frame.
    void Update();
    // Updates the tree at the given show time, without touching the clock.
    void UpdateAt(float time);
    // Draws the tree on the current device; once per device per frame.
    void Render();

    // Index in m_Effects of the first effect with that name; -1 if none.
    int FindEffect(const char* name);
    // "effect.output": that effect's output; "effect": its output with the empty name.
    bool FindOutput(const char* key, CVariant* out);
    // An empty value unless FindOutput fills it.
    CVariant GetOutputValue(const char* key);

    void AddColor(const char* name, float r, float g, float b, float a);
    // With a node the colour name is the node's value under key ("" when missing), else
    // key itself; the first palette entry of that name, else the default.
    NKeth::CVector4 GetColor(const char* key, CContainer* node, float r, float g, float b, float a);
    NKeth::CVector4 GetColor(const NKeth::CString& name, float r, float g, float b, float a);

    // Draws one line of the debug listing with the current device's font.
    void DrawDebugText(float x, float y, const char* text);

    NKeth::TDynamicArray<CEffect*> m_Effects;
    CEffect* m_Root;
    NKeth::TDynamicArray<SColor> m_Palette;
    NKeth::TDynamicArray<COGLDevice*> m_Devices;
    bool m_TimerStarted;
    int64_t m_StartTicks;
    float m_Time;
    int32_t m_CurrentDevice;
    NKeth::TDynamicArray<CTexture*> m_DeviceFonts;
    // Set while the overlay shows what each effect costs; not owned.
    CFrameCost* m_FrameCost = nullptr;

private:
    int m_Depth;
};
