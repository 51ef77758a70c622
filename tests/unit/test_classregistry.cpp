#include "keth/func/classregistry.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <string>

using namespace NKeth;
using namespace NKeth::NClassRegistry;

namespace
{
class CTestOld : public CClass
{
};
class CTestNew : public CClass
{
};
KETH_REGISTER_CLASS(CTestOld, "testkind");
KETH_REGISTER_CLASS(CTestNew, "testkind");

CClass* CreateNothing()
{
    return nullptr;
}
} // namespace

TEST(ClassRegistry, NewestRegistrationWinsAndEnumerationListsNewestFirst)
{
    ASSERT_NE(Find("testkind"), nullptr);
    EXPECT_STREQ(Find("testkind")->m_ClassName, "CTestNew");

    TDynamicArray<CHandle*> all;
    all.Add(nullptr);
    EXPECT_EQ(Enumerate("testkind", all), 3); // appends to what is there
    EXPECT_EQ(std::string(all[1]->m_ClassName) + " " + all[2]->m_ClassName, "CTestNew CTestOld");
    EXPECT_EQ(all[1]->m_Id, all[2]->m_Id + 1);
}

TEST(ClassRegistry, KeywordsAreCaseSensitiveUpTo63CharactersAndUnknownOnesCreateNothing)
{
    EXPECT_EQ(Find("TestKind"), nullptr);
    EXPECT_EQ(Create("TestKind"), nullptr);
    EXPECT_EQ(Create(static_cast<CHandle*>(nullptr)), nullptr);
    Register("CNothing", "testnothing", CreateNothing);
    EXPECT_NE(Find("testnothing"), nullptr);
    EXPECT_EQ(Create("testnothing"), nullptr);

    CLogCapture log;
    const std::string longName(64, 'k');
    Register("CLong", longName.c_str(), CreateNothing);
    EXPECT_EQ(Find(longName.c_str()), nullptr);
    EXPECT_TRUE(log.Contains("not registered"));
    Register("CFits", longName.c_str() + 1, CreateNothing);
    EXPECT_NE(Find(longName.c_str() + 1), nullptr);
}
