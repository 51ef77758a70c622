// The fallback to an installed sample show when the data directory holds no show.
#include "logcapture.h"
#include "install.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

TEST(PackagedSample, EnteredOnlyWhenTheDataDirectoryHasNoShowAndTheSampleHasOne)
{
    // A show in the data directory, a show in the sample directory, and whether it is entered.
    const bool cases[][3] = {{true, true, false}, {false, true, true}, {false, false, false}};
    for (const auto& [showHere, sampleHasScript, entered] : cases)
    {
        SCOPED_TRACE(std::to_string(showHere) + std::to_string(sampleHasScript));
        CTempDir here, sample;
        ASSERT_TRUE(!showHere || WriteBytes(here / "vornscr/script.txt", "clear {\n}\n"));
        ASSERT_TRUE(!sampleHasScript || WriteBytes(sample / "vornscr/script.txt", "clear {\n}\n"));
        CWorkingDirectory enter(here.Path());
        ASSERT_TRUE(enter.Entered());
        CLogCapture log;
        EXPECT_EQ(EnterSampleShow(sample.Path().c_str()), entered);
        const std::string expected = entered ? sample.Path() : here.Path();
        EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), expected));
        EXPECT_EQ(log.Contains("playing the sample show of " + sample.Path()), entered) << log.Text();
    }
    CLogCapture log;
    EXPECT_FALSE(EnterSampleShow(nullptr));
    EXPECT_FALSE(EnterSampleShow(""));
    EXPECT_EQ(log.Text(), "");
}
