#include "core/sysquery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// First outputs of MT19937 from its standard default seed.
constexpr uint32_t DefaultSeed = 5489;
constexpr uint32_t FirstOutput = 3499211612u;
constexpr uint32_t TenThousandthOutput = 4123659995u;

TEST(OsVersionTest, XpOrLaterStartsAtVersion5Point1)
{
    struct Case {
        DWORD major;
        DWORD minor;
        bool expected;
    };
    const Case cases[] = {
        { 4, 0, false },
        { 4, 90, false },
        { 5, 0, false },
        { 5, 1, true },
        { 5, 2, true },
        { 6, 0, true },
        { 6, 1, true },
        { 6, 3, true },
        { 10, 0, true },
    };
    for (const Case& c : cases) {
        OSVERSIONINFOW version {};
        version.dwOSVersionInfoSize = sizeof version;
        version.dwMajorVersion = c.major;
        version.dwMinorVersion = c.minor;
        EXPECT_EQ(c.expected, IsXpOrLater(version)) << "version " << c.major << "." << c.minor;
    }
}

TEST(OsVersionTest, RecordIsFilledOnceAndMatchesThePlatform)
{
    const OSVERSIONINFOW& version = GetOsVersion();
    EXPECT_EQ(&version, &GetOsVersion());
    EXPECT_EQ(sizeof(OSVERSIONINFOW), version.dwOSVersionInfoSize);

    OSVERSIONINFOW platform {};
    platform.dwOSVersionInfoSize = sizeof platform;
    ASSERT_TRUE(GetVersionExW(&platform));
    EXPECT_EQ(platform.dwMajorVersion, version.dwMajorVersion);
    EXPECT_EQ(platform.dwMinorVersion, version.dwMinorVersion);
    EXPECT_EQ(platform.dwBuildNumber, version.dwBuildNumber);
    EXPECT_EQ(platform.dwPlatformId, version.dwPlatformId);
    EXPECT_EQ(IsXpOrLater(platform), IsXpOrLater());
}

TEST(RandomTest, ZeroGivesTheGeneratorsRawOutput)
{
    SeedRandom(DefaultSeed);
    EXPECT_EQ(FirstOutput, Random(0));
    for (int i = 2; i < 10000; ++i)
        Random(0);
    EXPECT_EQ(TenThousandthOutput, Random(0));
}

TEST(RandomTest, ScalesTheRawOutputDownToTheRange)
{
    struct Case {
        uint32_t n;
        uint32_t expected;
    };
    const Case cases[] = {
        { 1, 0 },
        { 10, static_cast<uint32_t>(uint64_t(FirstOutput) * 10 >> 32) },
        { 9999, static_cast<uint32_t>(uint64_t(FirstOutput) * 9999 >> 32) },
        { 0x80000000u, FirstOutput >> 1 },
        { 0xFFFFFFFFu, static_cast<uint32_t>(uint64_t(FirstOutput) * 0xFFFFFFFFu >> 32) },
    };
    for (const Case& c : cases) {
        SeedRandom(DefaultSeed);
        EXPECT_EQ(c.expected, Random(c.n)) << "n = " << c.n;
    }
}

TEST(RandomTest, OneAlwaysGivesZero)
{
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(0u, Random(1)) << "draw " << i;
}

TEST(RandomTest, StaysBelowTheLimitAndReachesItsTop)
{
    uint32_t highest = 0;
    for (int i = 0; i < 100000; ++i) {
        uint32_t value = Random(9999);
        ASSERT_LT(value, 9999u) << "draw " << i;
        highest = std::max(highest, value);
    }
    EXPECT_GE(highest, 9990u);
}

TEST(RandomTest, DrawsAreRoughlyUniform)
{
    constexpr int Buckets = 10;
    constexpr int Draws = 100000;
    std::vector<int> counts(Buckets);
    for (int i = 0; i < Draws; ++i)
        ++counts[Random(Buckets)];
    for (int b = 0; b < Buckets; ++b) {
        // About ten standard deviations either side of the mean.
        EXPECT_GT(counts[b], Draws / Buckets - 1000) << "bucket " << b;
        EXPECT_LT(counts[b], Draws / Buckets + 1000) << "bucket " << b;
    }
}

} // namespace
