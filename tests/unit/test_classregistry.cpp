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
    CHandle* handle = Find("testkind");
    ASSERT_NE(handle, nullptr);
    EXPECT_STREQ(handle->m_ClassName, "CTestNew");
    CClass* object = Create("testkind");
    ASSERT_NE(object, nullptr);
    EXPECT_NE(dynamic_cast<CTestNew*>(object), nullptr);
    EXPECT_EQ(object->m_Handle, handle);
    EXPECT_STREQ(object->m_Handle->m_Keyword, "testkind");
    delete object;

    TDynamicArray<CHandle*> all;
    all.Add(nullptr);
    EXPECT_EQ(Enumerate("testkind", all), 3); // appends to what is there
    EXPECT_STREQ(all[1]->m_ClassName, "CTestNew");
    EXPECT_STREQ(all[2]->m_ClassName, "CTestOld");
    EXPECT_EQ(all[1]->m_Id, all[2]->m_Id + 1);
}

TEST(ClassRegistry, KeywordsAreCaseSensitiveAndUnknownOnesCreateNothing)
{
    EXPECT_EQ(Find("TestKind"), nullptr);
    EXPECT_EQ(Create("TestKind"), nullptr);
    EXPECT_EQ(Create(static_cast<CHandle*>(nullptr)), nullptr);
    Register("CNothing", "testnothing", CreateNothing);
    EXPECT_NE(Find("testnothing"), nullptr);
    EXPECT_EQ(Create("testnothing"), nullptr);
}

TEST(ClassRegistry, NamesLongerThan63CharactersAreRefused)
{
    CLogCapture log;
    std::string longName(64, 'k');
    Register("CLong", longName.c_str(), CreateNothing);
    EXPECT_EQ(Find(longName.c_str()), nullptr);
    EXPECT_TRUE(log.Contains("not registered"));
    std::string fits(63, 'k');
    Register("CFits", fits.c_str(), CreateNothing);
    EXPECT_NE(Find(fits.c_str()), nullptr);
}
