#include "framecost.h"
#include "keth/base/memorymanager.h"
#include "keth/base/sys.h"

#include <GL/glew.h>

#include <vector>

using namespace NKeth;

namespace
{
// A pair of timestamps around one render on one device; query names belong to its context.
struct SQueries
{
    GLuint m_Names[2] = {0, 0};
    bool m_Pending = false;
};
} // namespace

struct CFrameCost::SRecord
{
    double m_Update = 0, m_Render = 0, m_Gpu = 0;
    int m_Updates = 0, m_Renders = 0, m_GpuSamples = 0;
    SCost m_Shown;
    bool m_HasShown = false;
    std::vector<SQueries> m_Queries;
};

CFrameCost::CFrameCost(bool useTimerQueries)
    : m_Gpu(useTimerQueries && GLEW_ARB_timer_query && glGenQueries && glQueryCounter && glGetQueryObjectiv &&
            glGetQueryObjectui64v)
{
}

CFrameCost::~CFrameCost() = default;

void CFrameCost::BeginFrame()
{
    const int64_t now = GetTicks();
    if (m_WindowStart < 0)
        m_WindowStart = now;
    if (now - m_WindowStart >= GetTickFrequency() && m_Frames > 0)
    {
        const double frames = m_Frames;
        for (auto& entry : m_Records)
        {
            SRecord& r = *entry.second;
            r.m_HasShown = r.m_Updates > 0 || r.m_Renders > 0;
            r.m_Shown.m_UpdateMs = float(r.m_Update / frames);
            r.m_Shown.m_RenderMs = float(r.m_Render / frames);
            // Samples whose results were late stand for the renders they missed.
            r.m_Shown.m_HasGpu = r.m_GpuSamples > 0;
            r.m_Shown.m_GpuMs =
                r.m_GpuSamples > 0 ? float(r.m_Gpu / r.m_GpuSamples * r.m_Renders / frames) : 0.0f;
            r.m_Update = r.m_Render = r.m_Gpu = 0;
            r.m_Updates = r.m_Renders = r.m_GpuSamples = 0;
        }
        m_WindowStart = now;
        m_Frames = 0;
    }
    ++m_Frames;
}

bool CFrameCost::Get(const CEffect* effect, SCost& out) const
{
    auto found = m_Records.find(effect);
    if (found == m_Records.end() || !found->second->m_HasShown)
        return false;
    out = found->second->m_Shown;
    return true;
}

int64_t CFrameCost::Begin(CEffect* effect, EPhase phase, int device)
{
    std::unique_ptr<SRecord>& slot = m_Records[effect];
    if (!slot)
        slot.reset(NEW SRecord);
    if (phase == RENDER && m_Gpu && device >= 0)
    {
        std::vector<SQueries>& queries = slot->m_Queries;
        if (queries.size() <= size_t(device))
            queries.resize(size_t(device) + 1);
        SQueries& q = queries[size_t(device)];
        if (!q.m_Names[0])
            glGenQueries(2, q.m_Names);
        // The stamps of an earlier frame, when the driver has them; a late pair is dropped.
        GLint available = 0;
        if (q.m_Pending)
            glGetQueryObjectiv(q.m_Names[1], GL_QUERY_RESULT_AVAILABLE, &available);
        if (available)
        {
            GLuint64 stamps[2] = {0, 0};
            glGetQueryObjectui64v(q.m_Names[0], GL_QUERY_RESULT, &stamps[0]);
            glGetQueryObjectui64v(q.m_Names[1], GL_QUERY_RESULT, &stamps[1]);
            slot->m_Gpu += double(stamps[1] - stamps[0]) / 1e6;
            ++slot->m_GpuSamples;
        }
        glQueryCounter(q.m_Names[0], GL_TIMESTAMP);
    }
    return GetTicks();
}

void CFrameCost::End(CEffect* effect, EPhase phase, int device, int64_t start)
{
    const double ms = double(GetTicks() - start) * 1000.0 / double(GetTickFrequency());
    SRecord& r = *m_Records[effect];
    if (phase == UPDATE)
    {
        r.m_Update += ms;
        ++r.m_Updates;
        return;
    }
    r.m_Render += ms;
    ++r.m_Renders;
    if (m_Gpu && device >= 0 && size_t(device) < r.m_Queries.size())
    {
        SQueries& q = r.m_Queries[size_t(device)];
        glQueryCounter(q.m_Names[1], GL_TIMESTAMP);
        q.m_Pending = true;
    }
}
