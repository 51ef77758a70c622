// The overlay font that the platform makes: the cell of each character, white glyphs in alpha.
#include "gltest.h"

#include "keth/func/image.h"

#include <vector>

namespace
{
// Opaque texels and whether anything but white is there, in the 16 x 16 cell of a character.
struct SCell
{
    int m_Opaque = 0;
    bool m_OnlyWhite = true;
};

SCell Cell(const std::vector<uint8_t>& texels, int c)
{
    SCell cell;
    for (int y = (c / 16) * 16; y < (c / 16) * 16 + 16; ++y)
        for (int x = (c % 16) * 16; x < (c % 16) * 16 + 16; ++x)
        {
            const uint8_t* t = &texels[4 * (y * 256 + x)];
            cell.m_Opaque += t[3] > 128;
            cell.m_OnlyWhite = cell.m_OnlyWhite && t[0] == 255 && t[1] == 255 && t[2] == 255;
        }
    return cell;
}
} // namespace

TEST(OverlayFont, CharactersSitInTheirCellsAndControlCodesStayBlank)
{
    REQUIRE_DEVICE();
    CTexture* font = CreateFontTexture();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->m_Width, 256);
    EXPECT_EQ(font->m_Height, 256);
    std::vector<uint8_t> texels(256 * 256 * 4);
    glBindTexture(GL_TEXTURE_2D, font->m_Id);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());

    // Glyphs of different shapes in different cells; the line feed that ends every overlay
    // line and the blank draw nothing.
    SCell dot = Cell(texels, '.'), i = Cell(texels, 'i'), m = Cell(texels, 'M'), hash = Cell(texels, '#');
    EXPECT_GT(dot.m_Opaque, 0);
    EXPECT_GT(m.m_Opaque, i.m_Opaque);
    EXPECT_GT(i.m_Opaque, dot.m_Opaque);
    EXPECT_GT(hash.m_Opaque, dot.m_Opaque);
    EXPECT_EQ(Cell(texels, '\n').m_Opaque, 0);
    EXPECT_EQ(Cell(texels, ' ').m_Opaque, 0);
    EXPECT_EQ(Cell(texels, 0).m_Opaque, 0);
    for (int c : {'.', 'i', 'M', '#', '0', 'z'})
        EXPECT_TRUE(Cell(texels, c).m_OnlyWhite) << char(c);
    // Glyphs start at the top-left of their cell: the top rows of 'M' hold texels, the right half
    // of the cell holds none (characters are 6 pixels apart).
    int topRows = 0, rightHalf = 0;
    for (int y = 64; y < 80; ++y)
        for (int x = 208; x < 224; ++x)
        {
            bool set = texels[4 * (y * 256 + x) + 3] > 128;
            topRows += set && y < 64 + 3;
            rightHalf += set && x >= 208 + 8;
        }
    EXPECT_GT(topRows, 0);
    EXPECT_EQ(rightHalf, 0);
}

// Text finds each character in its own cell, also above 127; the quad is 16 pixels square and
// the next character starts 6 pixels to the right.
TEST(OverlayFont, TextDrawsTheCellOfEachCharacter)
{
    REQUIRE_DEVICE();
    NKeth::CImage image;
    ASSERT_TRUE(image.Create(NKeth::CImage::CFormat(NKeth::CImage::CFormat::PRESET_RGBA8, 256, 256)));
    // Opaque white only in the cells of 'A' (65) and of the code 200.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            int c = (y / 16) * 16 + x / 16;
            uint8_t* t = image.m_Data + y * image.m_Format.m_Pitch + 4 * x;
            t[0] = t[1] = t[2] = 255;
            t[3] = c == 65 || c == 200 ? 255 : 0;
        }
    CTexture* font = device->CreateTexture(image);
    ASSERT_NE(font, nullptr);

    // Window rows count from the bottom; the text starts at the top-left corner.
    const struct
    {
        const char* m_Text;
        int m_X, m_Top;
        bool m_Lit;
    } cases[] = {{"A", 8, 8, true},    {"A", 8, 24, false},   {"A", 24, 8, false}, {"B", 8, 8, false},
                 {"\xc8", 8, 8, true}, {"\x48", 8, 8, false}, {"BA", 5, 8, false}, {"BA", 12, 8, true}};
    for (const auto& c : cases)
    {
        ClearFrame(0, 0, 0);
        device->Begin2D(WINDOW_SIZE, WINDOW_SIZE);
        device->DrawText(font, 0, 0, "%s", c.m_Text);
        device->End2D();
        EXPECT_EQ(Near(ReadPixel(c.m_X, WINDOW_SIZE - 1 - c.m_Top), 1, 1, 1, 8), c.m_Lit)
            << c.m_Text << " at " << c.m_X << "," << c.m_Top;
    }
}
