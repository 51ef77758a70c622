// Blend switch, the state reset, the 2D projection and the reference grid.
#include "gltest.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace
{
GLint Integer(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}
std::vector<float> Matrix(GLenum name)
{
    std::vector<float> m(16);
    glGetFloatv(name, m.data());
    return m;
}
} // namespace

TEST(SetBlend, SwitchesBlendingAndKeepsTheFunctionOnRequest)
{
    REQUIRE_DEVICE();
    device->SetBlend(true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);

    device->SetBlend(false, 0xFFFFFFFF, 0xFFFFFFFF);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);

    device->SetBlend(true, GL_ONE, GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Integer(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    device->SetBlend(false, GL_ONE, GL_ZERO);
}

TEST(ResetState, RestoresTheAgreedStateAndLeavesTheRestAlone)
{
    REQUIRE_DEVICE();
    device->ResetState();
    // Disturb everything the reset covers...
    SShaderProgram fake = {0};
    device->m_CurrentShader = &fake;
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    glColorMask(GL_FALSE, GL_TRUE, GL_FALSE, GL_FALSE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glColor4f(0.25f, 0.5f, 0.75f, 0.5f);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glEnable(GL_ALPHA_TEST);
    for (int unit = 0; unit < 4; ++unit)
    {
        glActiveTextureARB(GL_TEXTURE0_ARB + unit);
        glEnable(GL_TEXTURE_1D);
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_TEXTURE_CUBE_MAP);
    }
    GLuint buffers[2];
    glGenBuffersARB(2, buffers);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffers[0]);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, buffers[1]);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    for (int unit = 0; unit <= 4; ++unit)
    {
        glClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glEnableVertexAttribArrayARB(1);
    static const float data[4] = {};
    glVertexPointer(2, GL_SHORT, 8, data);
    glActiveTextureARB(GL_TEXTURE2_ARB);
    // ...and what it must not touch.
    glBlendFunc(GL_ONE, GL_ONE);
    glDepthFunc(GL_ALWAYS);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glViewport(3, 4, 50, 60);
    glMatrixMode(GL_TEXTURE);

    device->ResetState();

    EXPECT_EQ(device->m_CurrentShader, nullptr);
    EXPECT_EQ(Integer(GL_CURRENT_PROGRAM), 0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Integer(GL_DEPTH_WRITEMASK), GL_TRUE);
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_TRUE(mask[0] && mask[1] && mask[2] && mask[3]);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(std::vector<float>(colour, colour + 4), std::vector<float>({1, 1, 1, 1}));
    EXPECT_FALSE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
    EXPECT_EQ(Integer(GL_CLIENT_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
    EXPECT_EQ(Integer(GL_ARRAY_BUFFER_BINDING_ARB), 0);
    EXPECT_EQ(Integer(GL_ELEMENT_ARRAY_BUFFER_BINDING_ARB), 0);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
    GLint attributeEnabled = 1;
    glGetVertexAttribivARB(1, GL_VERTEX_ATTRIB_ARRAY_ENABLED_ARB, &attributeEnabled);
    EXPECT_EQ(attributeEnabled, 0);
    EXPECT_EQ(Integer(GL_VERTEX_ARRAY_SIZE), 3);
    EXPECT_EQ(Integer(GL_VERTEX_ARRAY_TYPE), GL_FLOAT);
    EXPECT_EQ(Integer(GL_VERTEX_ARRAY_STRIDE), 0);
    for (int unit = 0; unit <= 4; ++unit)
    {
        glClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY)) << "client unit " << unit;
    }
    glClientActiveTextureARB(GL_TEXTURE0_ARB);
    for (int unit = 3; unit >= 0; --unit)
    {
        glActiveTextureARB(GL_TEXTURE0_ARB + unit);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_1D)) << "unit " << unit;
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "unit " << unit;
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP)) << "unit " << unit;
    }

    EXPECT_EQ(Integer(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE);
    EXPECT_EQ(Integer(GL_DEPTH_FUNC), GL_ALWAYS);
    GLint modes[2];
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], GL_LINE);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), std::vector<GLint>({3, 4, 50, 60}));
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_TEXTURE);

    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDepthFunc(GL_LESS);
    glMatrixMode(GL_MODELVIEW);
    glDeleteBuffersARB(2, buffers);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(Begin2D, PixelProjectionWithYDownAndBothMatricesRestored)
{
    REQUIRE_DEVICE();
    ClearFrame();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, -1, 1, 1, 10);
    const std::vector<float> projection = Matrix(GL_PROJECTION_MATRIX);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    const std::vector<float> modelview = Matrix(GL_MODELVIEW_MATRIX);
    const GLint projectionDepth = Integer(GL_PROJECTION_STACK_DEPTH);
    const GLint modelviewDepth = Integer(GL_MODELVIEW_STACK_DEPTH);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);

    device->Begin2D(WINDOW_SIZE, WINDOW_SIZE);
    EXPECT_EQ(Integer(GL_PROJECTION_STACK_DEPTH), projectionDepth + 1);
    EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), modelviewDepth + 1);
    EXPECT_EQ(Matrix(GL_MODELVIEW_MATRIX), Matrix(GL_MODELVIEW_MATRIX));
    std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(Matrix(GL_MODELVIEW_MATRIX), identity);
    std::vector<float> ortho = Matrix(GL_PROJECTION_MATRIX);
    const float expected[16] = {
        2.0f / WINDOW_SIZE, 0, 0, 0, 0, -2.0f / WINDOW_SIZE, 0, 0, 0, 0, -2.0f / 9.9f, 0, -1, 1,
        -10.1f / 9.9f,      1};
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(ortho[i], expected[i], 1e-5) << "element " << i;
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));

    // A square at the top left in pixel units, at z = -1, drawn clockwise on screen.
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glVertex3f(0, 0, -1);
    glVertex3f(10, 0, -1);
    glVertex3f(10, 10, -1);
    glVertex3f(0, 10, -1);
    glEnd();
    EXPECT_EQ(ReadPixel(5, WINDOW_SIZE - 6), (SPixel{255, 255, 255, 255}));
    EXPECT_EQ(ReadPixel(5, 5), (SPixel{0, 0, 0, 255}));
    EXPECT_EQ(ReadPixel(15, WINDOW_SIZE - 6), (SPixel{0, 0, 0, 255}));

    glMatrixMode(GL_TEXTURE);
    device->End2D();
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_PROJECTION);
    EXPECT_EQ(Matrix(GL_PROJECTION_MATRIX), projection);
    EXPECT_EQ(Matrix(GL_MODELVIEW_MATRIX), modelview);
    EXPECT_EQ(Integer(GL_PROJECTION_STACK_DEPTH), projectionDepth);
    EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), modelviewDepth);
    glMatrixMode(GL_MODELVIEW);
}

namespace
{
struct SLine
{
    float x0, y0, z0, x1, y1, z1;
    float r, g, b, a;
};

// The lines DrawGrid hands to GL, caught in feedback mode with an identity transform scaled
// so that the grid's world coordinates come back as window coordinates.
std::vector<SLine> GridLines(COGLDevice* device, int mask)
{
    ClearFrame();
    glViewport(0, 0, 2, 2);
    glDepthRange(0, 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Window x = world x + 1 etc. would clip; scale into the unit cube and back out afterwards.
    glScalef(0.005f, 0.005f, 0.005f);
    std::vector<GLfloat> buffer(240 * 2 * 8 + 1000);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    device->DrawGrid(mask);
    GLint count = glRenderMode(GL_RENDER);
    glViewport(0, 0, WINDOW_SIZE, WINDOW_SIZE);
    glLoadIdentity();
    std::vector<SLine> lines;
    auto world = [](float window, bool depth)
    { return depth ? (window * 2 - 1) / 0.005f : (window - 1) / 0.005f; };
    for (GLint i = 0; i < count;)
    {
        GLfloat token = buffer[size_t(i)];
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN)
        {
            const GLfloat* v = &buffer[size_t(i) + 1];
            SLine line = {world(v[0], false),
                          world(v[1], false),
                          world(v[2], true),
                          world(v[7], false),
                          world(v[8], false),
                          world(v[9], true),
                          v[3],
                          v[4],
                          v[5],
                          v[6]};
            lines.push_back(line);
            i += 1 + 2 * 7;
        }
        else
        {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    return lines;
}

int Round(float v)
{
    return int(v < 0 ? v - 0.5f : v + 0.5f);
}
} // namespace

TEST(DrawGrid, GroundPlaneHasEightyGreyLinesNoneAtPlusHundred)
{
    REQUIRE_DEVICE();
    std::vector<SLine> lines = GridLines(device, 1);
    ASSERT_EQ(lines.size(), 80u);
    int alongX = 0, alongZ = 0, bright = 0;
    std::set<int> xs, zs;
    for (const SLine& l : lines)
    {
        EXPECT_EQ(Round(l.y0), 0);
        EXPECT_EQ(Round(l.y1), 0);
        EXPECT_NEAR(l.a, 1, 1e-3);
        EXPECT_NEAR(l.r, l.g, 1e-3);
        EXPECT_NEAR(l.r, l.b, 1e-3);
        if (Round(l.z0) == Round(l.z1))
        {
            ++alongX;
            zs.insert(Round(l.z0));
            EXPECT_EQ(std::min(Round(l.x0), Round(l.x1)), -100);
            EXPECT_EQ(std::max(Round(l.x0), Round(l.x1)), 100);
            EXPECT_NEAR(l.r, Round(l.z0) == 0 ? 0.5f : 0.15f, 1e-3) << "z " << l.z0;
        }
        else
        {
            ++alongZ;
            EXPECT_EQ(Round(l.x0), Round(l.x1));
            xs.insert(Round(l.x0));
            EXPECT_EQ(std::min(Round(l.z0), Round(l.z1)), -100);
            EXPECT_EQ(std::max(Round(l.z0), Round(l.z1)), 100);
            EXPECT_NEAR(l.r, Round(l.x0) == 0 ? 0.5f : 0.15f, 1e-3) << "x " << l.x0;
        }
        bright += l.r > 0.3f;
    }
    EXPECT_EQ(alongX, 40);
    EXPECT_EQ(alongZ, 40);
    EXPECT_EQ(bright, 2);
    ASSERT_EQ(xs.size(), 40u);
    EXPECT_EQ(*xs.begin(), -100);
    EXPECT_EQ(*xs.rbegin(), 95);
    EXPECT_EQ(zs, xs);
}

TEST(DrawGrid, AllThreePlanesGiveTwoHundredFortyLinesInThreeColours)
{
    REQUIRE_DEVICE();
    std::vector<SLine> lines = GridLines(device, 7);
    ASSERT_EQ(lines.size(), 240u);
    std::map<std::tuple<int, int, int>, int> colours;
    for (const SLine& l : lines)
        colours[{Round(l.r * 100), Round(l.g * 100), Round(l.b * 100)}]++;
    EXPECT_EQ(colours[std::make_tuple(15, 15, 15)], 78);
    EXPECT_EQ(colours[std::make_tuple(50, 50, 50)], 2);
    EXPECT_EQ(colours[std::make_tuple(40, 15, 15)], 80);
    EXPECT_EQ(colours[std::make_tuple(15, 15, 40)], 80);
    EXPECT_EQ(colours.size(), 4u);
    // The planes z = 0 and x = 0 are the ones of their colours.
    for (const SLine& l : lines)
    {
        if (Round(l.r * 100) == 40)
        {
            EXPECT_TRUE(Round(l.z0) == 0 && Round(l.z1) == 0);
        }
        if (Round(l.b * 100) == 40)
        {
            EXPECT_TRUE(Round(l.x0) == 0 && Round(l.x1) == 0);
        }
    }
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

std::map<std::tuple<int, int, int>, int> CountColours(const std::vector<SPixel>& pixels)
{
    std::map<std::tuple<int, int, int>, int> colours;
    for (const SPixel& p : pixels)
        colours[{p.r, p.g, p.b}]++;
    return colours;
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
    // Every drawn pixel lies on one of the 40 + 40 lines: 80 lines of 200 pixels (the
    // rasteriser leaves out one end pixel), crossing each other 40 x 40 times.
    auto colours = CountColours(pixels);
    const int drawn = 204 * 204 - colours[std::make_tuple(0, 0, 0)];
    EXPECT_GE(drawn, 80 * 200 - 40 * 40);
    EXPECT_LE(drawn, 80 * 201 - 40 * 40);
    for (int y = 0; y < 204; ++y)
        for (int x = 0; x < 204; ++x)
            if (pixels[size_t(y) * 204 + size_t(x)].r != 0)
            {
                ASSERT_TRUE((x - 2) % 5 == 0 || (y - 2) % 5 == 0) << x << "," << y << " is off the grid";
            }
    EXPECT_EQ(colours.size(), 3u);

    ClearFrame();
    TopView();
    device->DrawGrid(7);
    auto all = CountColours(ReadFrame(204, 204));
    // Seen from above the other two planes fall onto the lines through the origin, in their
    // own colours.
    EXPECT_GT(all[std::make_tuple(Byte(0.4f), g15, g15)], 150);
    EXPECT_GT(all[std::make_tuple(g15, g15, Byte(0.4f))], 150);
    EXPECT_EQ(204 * 204 - all[std::make_tuple(0, 0, 0)], drawn);
}
