#include "variant.h"
#include "keth/func/exception.h"
#include "scripttest.h"

#include <gtest/gtest.h>

#include <string>

using namespace NKeth;

namespace
{
std::string Text(const CVariant& v)
{
    return v.ToString().GetText();
}
} // namespace

TEST(CVariant, DefaultIsEmptyWithNoText)
{
    CVariant v;
    EXPECT_EQ(v.m_Type, 0u);
    EXPECT_STREQ(v.m_Text.GetText(), "");
    for (float word : v.m_Data)
        EXPECT_EQ(word, 0.0f);
}

TEST(CVariant, ConstructorsSetTypeAndWords)
{
    CVariant text("a b");
    EXPECT_EQ(text.m_Type, CVariant::TYPE_STRING);
    EXPECT_EQ(Text(text), "a b");

    CVariant v3(1, 2, 3);
    EXPECT_EQ(v3.m_Type, CVariant::TYPE_VECTOR3);
    EXPECT_EQ(v3.m_Data[2], 3.0f);

    CVariant v4(1, 2, 3, 4);
    EXPECT_EQ(v4.m_Type, CVariant::TYPE_VECTOR4);
    EXPECT_EQ(v4.m_Data[3], 4.0f);

    float m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = float(i);
    CVariant matrix(m);
    EXPECT_EQ(matrix.m_Type, CVariant::TYPE_MATRIX);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(matrix.m_Data[i], float(i));

    EXPECT_EQ(CVariant::FromInt(-7).GetIntWord(), -7);
    EXPECT_EQ(CVariant::FromFloat(2.5f).m_Data[0], 2.5f);
    EXPECT_EQ(CVariant::FromVector2(1, 2).m_Type, CVariant::TYPE_VECTOR2);
}

TEST(CVariant, CopiesAreIndependent)
{
    CVariant a("first");
    a.m_Data[5] = 9;
    CVariant b(a);
    CVariant c;
    c = a;
    a.m_Text = "changed";
    a.m_Data[5] = 1;
    EXPECT_EQ(Text(b), "first");
    EXPECT_EQ(Text(c), "first");
    EXPECT_EQ(b.m_Data[5], 9.0f);
    EXPECT_EQ(c.m_Data[5], 9.0f);

    // Assigning a number over a string drops the text.
    c = CVariant::FromInt(3);
    EXPECT_STREQ(c.m_Text.GetText(), "");
    EXPECT_EQ(Text(c), "3");
    c = c;
    EXPECT_EQ(Text(c), "3");
}

TEST(CVariant, ToIntTruncatesFloatsTowardZero)
{
    EXPECT_EQ(CVariant::FromInt(42).ToInt(), 42);
    EXPECT_EQ(CVariant::FromFloat(-2.7f).ToInt(), -2);
    EXPECT_EQ(CVariant::FromFloat(2.999f).ToInt(), 2);
    // Out of the int range saturates instead of being undefined.
    EXPECT_EQ(CVariant::FromFloat(1e19f).ToInt(), 2147483647);
    EXPECT_EQ(CVariant::FromFloat(-1e19f).ToInt(), -2147483647 - 1);
}

TEST(CVariant, ToIntAndToFloatRefuseOtherTypes)
{
    EXPECT_EQ(ErrorOf([] { CVariant("12").ToInt(); }), "Variant type error");
    EXPECT_EQ(ErrorOf([] { CVariant(1, 2, 3).ToInt(); }), "Variant type error");
    EXPECT_EQ(ErrorOf([] { CVariant().ToInt(); }), "Variant type error");
    EXPECT_EQ(CVariant::FromInt(3).ToFloat(), 3.0f);
    EXPECT_EQ(CVariant::FromFloat(0.25f).ToFloat(), 0.25f);
    EXPECT_EQ(ErrorOf([] { CVariant("1.5").ToFloat(); }), "Variant type error");
}

TEST(CVariant, ToStringFormatsByType)
{
    EXPECT_EQ(Text(CVariant::FromInt(42)), "42");
    EXPECT_EQ(Text(CVariant::FromFloat(1.5f)), "1.500000");
    EXPECT_EQ(Text(CVariant::FromVector2(1, -2)), "(1.000000 -2.000000)");
    EXPECT_EQ(Text(CVariant(1, 2, 3)), "(1.000000 2.000000 3.000000)");
    EXPECT_EQ(Text(CVariant(1, 2, 3, 4.5f)), "(1.000000 2.000000 3.000000 4.500000)");
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6.25f, 7, 1};
    EXPECT_EQ(Text(CVariant(m)), "((1.0 0.0 0.0 0.0) (0.0 1.0 0.0 0.0) (0.0 0.0 1.0 0.0) (5.0 6.2 7.0 1.0))");
    EXPECT_EQ(Text(CVariant("x y")), "x y");
}

TEST(CVariant, PointersRoundTripAndPrintInHex)
{
    int target = 0;
    CVariant p = CVariant::FromPointer(&target);
    EXPECT_EQ(p.m_Type, CVariant::TYPE_POINTER);
    EXPECT_EQ(p.ToPointer(), &target);
    CVariant copy = p;
    EXPECT_EQ(copy.ToPointer(), &target);
    EXPECT_EQ(CVariant::FromInt(1).ToPointer(), nullptr);

    EXPECT_EQ(Text(CVariant::FromPointer(reinterpret_cast<void*>(0x1234))), "[0x    1234]");
    std::string wide = Text(CVariant::FromPointer(&target));
    EXPECT_EQ(wide.substr(0, 3), "[0x");
    EXPECT_EQ(std::stoull(wide.substr(3, wide.size() - 4), nullptr, 16),
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&target)));
}

TEST(CVariant, ToStringOfEmptyOrUnknownTypeRaises)
{
    EXPECT_EQ(ErrorOf([] { CVariant().ToString(); }), "Variant type error");
    EXPECT_EQ(ErrorOf(
                  []
                  {
                      CVariant v;
                      v.m_Type = 99;
                      v.ToString();
                  }),
              "Variant type error");
}

TEST(CVariant, ToVector3IsZeroForEveryOtherType)
{
    CVector3 v = CVariant(1, 2, 3).ToVector3();
    EXPECT_EQ(v, CVector3(1, 2, 3));
    EXPECT_EQ(CVariant(1, 2, 3, 4).ToVector3(), CVector3(0, 0, 0));
    EXPECT_EQ(CVariant("1 2 3").ToVector3(), CVector3(0, 0, 0));
    EXPECT_EQ(CVariant::FromVector2(1, 2).ToVector3(), CVector3(0, 0, 0));
    EXPECT_EQ(CVariant().ToVector3(), CVector3(0, 0, 0));
}
