#include "variant.h"
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

TEST(CVariant, NumberConversionsTruncateSaturateAndRefuseOtherTypes)
{
    EXPECT_EQ(CVariant::FromFloat(-2.7f).ToInt(), -2);
    EXPECT_EQ(CVariant::FromFloat(2.999f).ToInt(), 2);
    EXPECT_EQ(CVariant::FromFloat(1e19f).ToInt(), 2147483647);
    EXPECT_EQ(CVariant::FromFloat(-1e19f).ToInt(), -2147483647 - 1);
    for (const CVariant& v : {CVariant("12"), CVariant(1, 2, 3), CVariant()})
    {
        EXPECT_EQ(ErrorOf([&] { v.ToInt(); }), "Variant type error");
        EXPECT_EQ(ErrorOf([&] { v.ToFloat(); }), "Variant type error");
    }
}

// The script reader's tests see the text form of numbers, vectors and strings.
TEST(CVariant, ToStringFormatsMatricesAndPointersAndRefusesEmptyOrUnknown)
{
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6.25f, 7, 1};
    EXPECT_EQ(Text(CVariant(m)), "((1.0 0.0 0.0 0.0) (0.0 1.0 0.0 0.0) (0.0 0.0 1.0 0.0) (5.0 6.2 7.0 1.0))");
    EXPECT_EQ(Text(CVariant::FromPointer(reinterpret_cast<void*>(0x1234))), "[0x    1234]");
    CVariant unknown;
    unknown.m_Type = 99;
    EXPECT_EQ(ErrorOf([] { CVariant().ToString(); }), "Variant type error");
    EXPECT_EQ(ErrorOf([&] { unknown.ToString(); }), "Variant type error");
}

TEST(CVariant, OnlyTheirOwnTypeGivesAVectorOrAPointer)
{
    int target = 0;
    EXPECT_EQ(CVariant::FromPointer(&target).ToPointer(), &target);
    EXPECT_EQ(CVariant(1, 2, 3).ToVector3(), CVector3(1, 2, 3));
    for (const CVariant& v : {CVariant(1, 2, 3, 4), CVariant("1 2 3"), CVariant::FromVector2(1, 2),
                              CVariant::FromInt(1), CVariant()})
    {
        EXPECT_EQ(v.ToVector3(), CVector3(0, 0, 0));
        EXPECT_EQ(v.ToPointer(), nullptr);
    }
}
