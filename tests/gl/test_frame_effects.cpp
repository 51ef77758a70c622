// The clear, palette and grid blocks of a script, drawn as the frame loop draws them.
#include "gltest.h"
#include "../unit/scripttest.h"

#include "keth/func/vector.h"

using namespace NKeth;

namespace
{
// Draws one frame of the show with the default observer, as the frame loop does.
std::vector<SPixel> Play(const std::string& script)
{
    CTestShow show(script, {TestDevice()});
    ClearFrame(0.1f, 0.1f, 0.1f);
    show.m_System.Update();
    TestDevice()->MakeCurrent();
    const float top = Tan(0.34906587f) * 0.0001f;
    SMatrix projection = SMatrix::Frustum(0.0001f, 100, top, -top, top, -top);
    SMatrix view = SMatrix::Rotation(-1.5707964f, 0, 0).Transposed() * SMatrix::Translation(50, 0, 0);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection.m);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(view.m);
    show.Prepare(0);
    show.m_System.Render();
    return ReadFrame();
}

// Every pixel of the frame has this colour.
::testing::AssertionResult Filled(const std::vector<SPixel>& frame, float r, float g, float b)
{
    for (size_t i = 0; i < frame.size(); ++i)
        if (!Near(frame[i], r, g, b, 1))
            return ::testing::AssertionFailure() << "pixel " << i << " is " << frame[i];
    return ::testing::AssertionSuccess();
}
} // namespace

TEST(FrameEffects, ClearsFillTheFrameWithTheirPaletteColour)
{
    REQUIRE_DEVICE();
    const struct
    {
        const char* m_Script;
        float m_R, m_G, m_B;
    } cases[] = {
        {"clear {\nname plain\n}\n", 0, 1, 0},
        {"palette {\nsky (0.2 0.3 0.5 1)\n}\nclear {\ncolor sky\n}\n", 0.2f, 0.3f, 0.5f},
        // The palette is read in script order, so a clear before it finds no colour.
        {"clear {\ncolor sky\n}\npalette {\nsky (0.2 0.3 0.5 1)\n}\n", 0, 1, 0},
        // Lines without a vector, the base parameter "name" among them, are transparent black.
        {"palette {\nname dusk\nfog 3\n}\nclear {\ncolor name\n}\n", 0, 0, 0},
        {"palette {\nname dusk\n}\nclear {\ncolor dusk\n}\n", 0, 1, 0},
        {"palette {\nred (1 0 0 1)\nblue (0 0 1 1)\n}\nclear {\ncolor red\n}\nclear {\ncolor blue\n}\n", 0, 0,
         1},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Filled(Play(c.m_Script), c.m_R, c.m_G, c.m_B)) << c.m_Script;
}

TEST(FrameEffects, GridSeenFromTheDefaultObserverIsTheHorizon)
{
    REQUIRE_DEVICE();
    // The observer stands in the ground plane, so the whole grid lies on the horizon: the
    // middle of the frame, across its full width, in the grid's dark grey.
    const std::vector<SPixel> frame =
        Play("palette {\nblack (0 0 0 1)\n}\nclear {\ncolor black\n}\ngrid {\nname g\n}\n");
    std::vector<int> rows;
    for (int y = 0; y < WINDOW_SIZE; ++y)
        if (const int lit = CountPixels(
                std::vector<SPixel>(frame.begin() + y * WINDOW_SIZE, frame.begin() + (y + 1) * WINDOW_SIZE)))
        {
            rows.push_back(y);
            EXPECT_EQ(lit, WINDOW_SIZE) << "row " << y;
            EXPECT_TRUE(Near(frame[size_t(y) * WINDOW_SIZE], 0.15f, 0.15f, 0.15f, 1))
                << frame[size_t(y) * WINDOW_SIZE];
        }
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_LE(std::abs(2 * rows[0] + 1 - WINDOW_SIZE), 2);
}
