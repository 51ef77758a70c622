#include "overlay.h"
#include "demosystem.h"
#include "effect.h"
#include "framecost.h"
#include "ogldevice.h"

#include "keth/func/string.h"

#include <GL/glew.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
// The font texture has a 16 x 16 grid of cells; a glyph takes the top left 6 x 8 pixels of its
// cell, as far as the text advances, so that no neighbour's pixels are ever sampled.
const int CELL = 16, GLYPH_WIDTH = 6, LINE_HEIGHT = 8, FONT_SIZE = 256;
const int MARGIN = 4, PADDING = 3, INDENT = 32;

struct SLine
{
    int m_Indent;
    std::string m_Text;
    std::string m_Cost;
};

std::string CostText(const CFrameCost& cost, const CEffect& effect)
{
    CFrameCost::SCost c;
    if (!cost.Get(&effect, c))
        return "";
    CString text = c.m_HasGpu ? CString("%6.2f %6.2f %6.2f", double(c.m_UpdateMs), double(c.m_RenderMs),
                                        double(c.m_GpuMs))
                              : CString("%6.2f %6.2f      -", double(c.m_UpdateMs), double(c.m_RenderMs));
    return text.GetText();
}

void Collect(const CFrameCost& cost, CEffect& effect, int indent, std::vector<SLine>& lines)
{
    std::string text = effect.FormatDebugLine().GetText();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    lines.push_back({indent, text, CostText(cost, effect)});
    if (auto* group = dynamic_cast<CEffect_Group*>(&effect))
        for (int i = 0; i < group->m_Active.GetCount(); ++i)
            Collect(cost, *group->m_Active[i], indent + INDENT, lines);
}

// The small fonts draw '.' as a cross that reads as a comma; decimal points are drawn as
// squares instead, collected in dots.
void DrawGlyphs(float x, float y, const std::string& text, std::vector<TVector2<float>>& dots)
{
    const float texel = 1.0f / FONT_SIZE;
    for (unsigned char code : text)
    {
        if (code == '.')
        {
            dots.push_back(TVector2<float>(x + 2, y + 5));
            x += GLYPH_WIDTH;
            continue;
        }
        const float u = float(code % 16 * CELL) * texel, v = float(code / 16 * CELL) * texel;
        const float u1 = u + GLYPH_WIDTH * texel, v1 = v + LINE_HEIGHT * texel;
        glTexCoord2f(u, v);
        glVertex3f(x, y, -1);
        glTexCoord2f(u1, v);
        glVertex3f(x + GLYPH_WIDTH, y, -1);
        glTexCoord2f(u1, v1);
        glVertex3f(x + GLYPH_WIDTH, y + LINE_HEIGHT, -1);
        glTexCoord2f(u, v1);
        glVertex3f(x, y + LINE_HEIGHT, -1);
        x += GLYPH_WIDTH;
    }
}
} // namespace

void DrawOverlay(CDemoSystem& system, int device, float fps)
{
    CTexture* font =
        device >= 0 && device < system.m_DeviceFonts.GetCount() ? system.m_DeviceFonts[device] : nullptr;
    COGLDevice* current = GetCurrentDevice();
    if (!font || !current)
        return;
    // Made with the first device's context current, whose driver tells about timer queries.
    static CFrameCost cost(true);
    system.m_FrameCost = &cost;

    std::vector<SLine> lines;
    lines.push_back({0, std::string(CString("%.1f fps", double(fps)).GetText()), "update render    gpu ms"});
    if (system.m_Root)
        Collect(cost, *system.m_Root, 0, lines);
    size_t textWidth = 0, costWidth = 0;
    for (const SLine& line : lines)
    {
        textWidth = std::max(textWidth, size_t(line.m_Indent) + line.m_Text.size() * GLYPH_WIDTH);
        costWidth = std::max(costWidth, line.m_Cost.size());
    }
    const float costX = float(MARGIN + PADDING) + float(textWidth + 2 * GLYPH_WIDTH);

    // Whole-pixel scaling keeps every glyph pixel the same size on any screen.
    const TVector2<int> size = current->GetSize();
    const int scale = std::max(1, std::min(size.x / 640, size.y / 480));
    current->ResetState();
    current->Begin2D(float(size.x / scale), float(size.y / scale));
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0, 0, 0, 0.7f);
    const float right = costX + float(costWidth * GLYPH_WIDTH + PADDING);
    const float bottom = float(MARGIN + 2 * PADDING) + float(lines.size() * LINE_HEIGHT);
    glBegin(GL_QUADS);
    glVertex3f(MARGIN, MARGIN, -1);
    glVertex3f(right, MARGIN, -1);
    glVertex3f(right, bottom, -1);
    glVertex3f(MARGIN, bottom, -1);
    glEnd();

    font->m_MinFilter = GL_NEAREST;
    font->m_MagFilter = GL_NEAREST;
    current->BindTexture(0, font);
    glColor4f(1, 1, 1, 1);
    std::vector<TVector2<float>> dots;
    glBegin(GL_QUADS);
    float y = float(MARGIN + PADDING);
    for (const SLine& line : lines)
    {
        DrawGlyphs(float(MARGIN + PADDING + line.m_Indent), y, line.m_Text, dots);
        DrawGlyphs(costX, y, line.m_Cost, dots);
        y += LINE_HEIGHT;
    }
    glEnd();
    current->BindTexture(0, nullptr);
    glBegin(GL_QUADS);
    for (const TVector2<float>& dot : dots)
    {
        glVertex3f(dot.x, dot.y, -1);
        glVertex3f(dot.x + 2, dot.y, -1);
        glVertex3f(dot.x + 2, dot.y + 2, -1);
        glVertex3f(dot.x, dot.y + 2, -1);
    }
    glEnd();
    glDisable(GL_BLEND);
    current->End2D();
}
