// Blend switch, the state reset, the 2D projection and the reference grid.
#include "gltest.h"

TEST(SetBlend, SwitchesBlendingAndKeepsTheFunctionOnRequest)
{
    REQUIRE_DEVICE();
    device->SetBlend(true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    device->SetBlend(false, 0xFFFFFFFF, 0xFFFFFFFF);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    device->SetBlend(true, GL_ONE, GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE);
    device->SetBlend(false, GL_ONE, GL_ZERO);
}

// What an effect may leave behind must not reach the next one's drawing; the viewport and
// the matrix mode are the frame's and stay.
TEST(ResetState, AStrayStateOfOneEffectDoesNotReachTheNextDrawing)
{
    REQUIRE_DEVICE();
    ClearFrame();
    SShaderProgram fake = {0};
    device->m_CurrentShader = &fake;
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_ZERO);
    glColorMask(GL_FALSE, GL_TRUE, GL_FALSE, GL_FALSE);
    glColor4f(0.25f, 0.5f, 0.75f, 0.5f);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_NEVER, 0);
    glActiveTextureARB(GL_TEXTURE2_ARB);
    glEnable(GL_TEXTURE_2D);
    GLuint buffer;
    glGenBuffersARB(1, &buffer);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffer);
    glViewport(3, 4, 50, 60);
    glMatrixMode(GL_TEXTURE);
    const std::vector<float> frame = MatrixState();

    device->ResetState();

    EXPECT_EQ(device->m_CurrentShader, nullptr);
    EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
    EXPECT_EQ(Integer(GL_ARRAY_BUFFER_BINDING_ARB), 0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(MatrixState(), frame);

    // A plain quad after the reset comes out white, whatever the blend and mask were.
    glViewport(0, 0, WINDOW_SIZE, WINDOW_SIZE);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glRectf(-1, -1, 1, 1);
    EXPECT_EQ(ReadPixel(10, 10), (SPixel{255, 255, 255, 255}));
    glBlendFunc(GL_ONE, GL_ZERO);
    glDeleteBuffersARB(1, &buffer);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(Begin2D, PixelProjectionWithYDownAndBothMatricesRestored)
{
    REQUIRE_DEVICE();
    ClearFrame();
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);
    glMatrixMode(GL_PROJECTION);
    glFrustum(-1, 1, -1, 1, 1, 10);
    const std::vector<float> before = MatrixState();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);

    device->Begin2D(WINDOW_SIZE, WINDOW_SIZE);
    EXPECT_EQ(Integer(GL_PROJECTION_STACK_DEPTH), before[5] + 1);
    EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), before[6] + 1);
    // A square of 10 pixels at the top left, moved into the depth range.
    glTranslatef(0, 0, -1);
    glRectf(0, 10, 10, 0);
    EXPECT_EQ(ReadPixel(5, WINDOW_SIZE - 6), (SPixel{255, 255, 255, 255}));
    EXPECT_EQ(ReadPixel(5, 5), (SPixel{0, 0, 0, 255}));
    EXPECT_EQ(ReadPixel(15, WINDOW_SIZE - 6), (SPixel{0, 0, 0, 255}));

    glMatrixMode(GL_TEXTURE);
    device->End2D();
    EXPECT_EQ(MatrixState(), before);
    glMatrixMode(GL_MODELVIEW);
}

namespace
{
// Looks straight down the y axis with one world unit per pixel and the grid lines on pixel
// centres: world x = -102 ... 101 across, world z the same down the window.
void TopView()
{
    glViewport(0, 0, 204, 204);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-102.5, 101.5, -102.5, 101.5, -200, 200);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(90, 1, 0, 0); // world z -> window y
}
} // namespace

TEST(DrawGrid, PixelsSeenFromAbove)
{
    REQUIRE_DEVICE();
    const int g15 = Byte(0.15f), g50 = Byte(0.5f);
    ClearFrame();
    TopView();
    device->DrawGrid(1);
    std::vector<SPixel> pixels = ReadFrame(204, 204);
    // A row between grid lines (world z = 2) crosses the 40 lines along z, one pixel each.
    int crossings = 0, brightColumn = -1;
    const int row = 2 + 102;
    for (int x = 0; x < 204; ++x)
    {
        const SPixel& p = pixels[size_t(row) * 204 + size_t(x)];
        if (p.r == 0)
            continue;
        ++crossings;
        EXPECT_TRUE(p.r == g15 || p.r == g50) << "x " << x << " " << p;
        if (p.r == g50)
            brightColumn = x;
    }
    EXPECT_EQ(crossings, 40);
    EXPECT_EQ(brightColumn, 102) << "the bright line is the one through the origin";
    // Nothing at world x = +100, the right edge of the grid.
    EXPECT_EQ(pixels[size_t(row) * 204 + 202].r, 0);
    const int drawn = CountPixels(pixels);

    ClearFrame();
    TopView();
    device->DrawGrid(7);
    const std::vector<SPixel> all = ReadFrame(204, 204);
    // Seen from above the other two planes fall onto the lines through the origin, in their
    // own colours.
    EXPECT_GT(CountPixels(all, [](const SPixel& p) { return Near(p, 0.4f, 0.15f, 0.15f, 0); }), 150);
    EXPECT_GT(CountPixels(all, [](const SPixel& p) { return Near(p, 0.15f, 0.15f, 0.4f, 0); }), 150);
    EXPECT_EQ(CountPixels(all), drawn);
}
