#include "model/StatusBarModel.hpp"

#include <gtest/gtest.h>

namespace vantery::app {
namespace {

using State = UsageStore::LoadState;
constexpr double kNow = 1'765'000'000.0;

TEST(StatusBarModel, ScanningShowsTheStoresMessageEvenAfterARefresh) {
    for (const char* message : {"reading the cache", "updating what changed", "first full scan"})
        EXPECT_EQ(StatusBarModel::freshness(State::scanning(message), std::nullopt, kNow), message);
    EXPECT_EQ(StatusBarModel::freshness(State::scanning("full verification"), kNow - 30, kNow),
              "full verification");
}

TEST(StatusBarModel, OtherStatesTellTheAgeOfTheLastRefresh) {
    EXPECT_EQ(StatusBarModel::freshness(State::ready(), kNow, kNow), "updated 0s ago");
    EXPECT_EQ(StatusBarModel::freshness(State::ready(), kNow - 59, kNow), "updated 59s ago");
    EXPECT_EQ(StatusBarModel::freshness(State::ready(), kNow - 60, kNow), "updated 1 min ago");
    EXPECT_EQ(StatusBarModel::freshness(State::idle(), kNow - 7200, kNow), "updated 2h ago");
    EXPECT_EQ(StatusBarModel::freshness(State::idle(), std::nullopt, kNow), "not scanned yet");
    EXPECT_EQ(StatusBarModel::freshness(State::ready(), std::nullopt, kNow), "not scanned yet");
}

TEST(StatusBarModel, VersionIsShownOnlyWhenShipped) {
    const auto with = StatusBarModel::build(State::ready(), kNow - 180, "1.4.0", kNow);
    EXPECT_EQ(with, (StatusBarModel::Texts{"Vantery", "v1.4.0", "\u00b7", "updated 3 min ago"}));
    EXPECT_FALSE(StatusBarModel::build(State::ready(), kNow, std::nullopt, kNow).version);
    EXPECT_FALSE(StatusBarModel::build(State::ready(), kNow, std::string{}, kNow).version);
}

TEST(StatusBarModel, ProgressOnlyWhileScanning) {
    EXPECT_EQ(StatusBarModel::progress(State::scanning("first full scan")), "first full scan");
    EXPECT_FALSE(StatusBarModel::progress(State::ready()));
    EXPECT_FALSE(StatusBarModel::progress(State::idle()));
}

} // namespace
} // namespace vantery::app
