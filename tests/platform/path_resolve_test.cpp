#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class PathResolveTest : public testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("quarn_resolve_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    void touch(const fs::path& relative)
    {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << "x";
    }
    std::string at(const std::string& relative) const { return root_.string() + "/" + relative; }

    fs::path root_;
};

TEST_F(PathResolveTest, ExactNamesAreKept)
{
    touch("DATA/car.imgs");
    EXPECT_EQ(platform::resolve_path(at("DATA/car.imgs")), at("DATA/car.imgs"));
}

TEST_F(PathResolveTest, BackslashesBecomeSlashes)
{
    touch("DATA/car.imgs");
    EXPECT_EQ(platform::resolve_path(root_.string() + "\\DATA\\car.imgs"), at("DATA/car.imgs"));
}

TEST_F(PathResolveTest, EachComponentIsMatchedWithoutCase)
{
    touch("data/Cars.ZIP");
    EXPECT_EQ(platform::resolve_path(at("DATA/cars.zip")), at("data/Cars.ZIP"));
    EXPECT_EQ(platform::resolve_path(at("Data\\CARS.zip")), at("data/Cars.ZIP"));
}

// In a folder others may write to, another user's "RACE.CFG" was read and
// written as race.cfg, and their "DATA" stood in for the game's. Only the
// player's and root's names stand in for a name of another case.
TEST_F(PathResolveTest, OnlyThePlayersOrRootsNamesStandInForAnotherCase)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make names of another user's";
    touch("RACE.CFG");
    touch("Data/x.bmp");
    touch("Mine.cfg");
    ASSERT_EQ(::chown(at("RACE.CFG").c_str(), 65533, 65533), 0);
    ASSERT_EQ(::chown(at("Data").c_str(), 65533, 65533), 0);
    ASSERT_EQ(::chown(at("Mine.cfg").c_str(), 65534, 65534), 0);
    // Names relative to the folder: the player may not pass through its
    // parents, which are root's.
    const fs::path saved = fs::current_path();
    fs::current_path(root_);
    ASSERT_EQ(::seteuid(65534), 0);
    EXPECT_EQ(platform::resolve_path("race.cfg"), "race.cfg");
    EXPECT_EQ(platform::resolve_path("DATA/x.bmp"), "DATA/x.bmp");
    EXPECT_EQ(platform::resolve_path("mine.cfg"), "Mine.cfg");
    ASSERT_EQ(::seteuid(0), 0);
    fs::current_path(saved);
}

TEST_F(PathResolveTest, SeveralCandidatesGiveTheLexicographicallyFirst)
{
    touch("DATA/a.bmp");
    touch("data/b.bmp");
    touch("Data/c.bmp");
    // "DATA" < "Data" < "data" by bytes.
    EXPECT_EQ(platform::resolve_path(at("dAtA/A.BMP")), at("DATA/a.bmp"));
    // The folder is chosen first; a file only in another spelling is not found.
    EXPECT_EQ(platform::resolve_path(at("dAtA/b.bmp")), at("DATA/b.bmp"));
}

TEST_F(PathResolveTest, MissingComponentsKeepTheRestAsWritten)
{
    touch("data/x.txt");
    EXPECT_EQ(platform::resolve_path(at("DATA/Missing/X.TXT")), at("data/Missing/X.TXT"));
    EXPECT_EQ(platform::resolve_path(at("nothing/X.TXT")), at("nothing/X.TXT"));
}

TEST_F(PathResolveTest, RelativePathsResolveFromTheCurrentFolder)
{
    touch("Sub/File.Txt");
    auto saved = fs::current_path();
    fs::current_path(root_);
    EXPECT_EQ(platform::resolve_path("sub/file.txt"), "Sub/File.Txt");
    EXPECT_EQ(platform::resolve_path("./SUB/../sub/FILE.TXT"), "./Sub/../Sub/File.Txt");
    fs::current_path(saved);
}

} // namespace
