// The fallback to an installed sample show when the data directory holds no show.
#include "logcapture.h"
#include "registry.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(PackagedSample, EnteredOnlyWhenTheDataDirectoryHasNoShowAndTheSampleHasOne)
{
    struct SCase
    {
        const char* m_Name;
        bool m_ShowHere;
        bool m_SampleHasScript;
        bool m_Entered;
    };
    const SCase cases[] = {
        {"show in the data directory", true, true, false},
        {"no show, a sample show", false, true, true},
        {"no show, an empty sample directory", false, false, false},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.m_Name);
        CTempDir here, sample;
        if (c.m_ShowHere)
        {
            ASSERT_TRUE(WriteBytes(here / "vornscr/script.txt", "clear {\n}\n"));
        }
        if (c.m_SampleHasScript)
        {
            ASSERT_TRUE(WriteBytes(sample / "vornscr/script.txt", "clear {\n}\n"));
        }
        CWorkingDirectory enter(here.Path());
        ASSERT_TRUE(enter.Entered());
        CLogCapture log;
        EXPECT_EQ(EnterSampleShow(sample.Path().c_str()), c.m_Entered);
        const std::string expected = c.m_Entered ? sample.Path() : here.Path();
        EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), expected));
        EXPECT_EQ(log.Contains("playing the sample show of " + sample.Path()), c.m_Entered) << log.Text();
    }
    CLogCapture log;
    EXPECT_FALSE(EnterSampleShow(nullptr));
    EXPECT_FALSE(EnterSampleShow(""));
    EXPECT_EQ(log.Text(), "");
}
