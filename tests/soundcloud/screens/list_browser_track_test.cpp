#include "soundcloud/screens/list_browser_track.h"

#include <gtest/gtest.h>

using namespace tssc;

namespace {
struct Counting : ListBrowserPlayerDelegate {
  int accepted = 0;
  void listBrowserPlayerAcceptedToStart(ListBrowserPlayer&) override { ++accepted; }
};
struct Telling : ListBrowserPlayer {
  using ListBrowserPlayer::ListBrowserPlayer;
  void play() override { tell(&ListBrowserPlayerDelegate::listBrowserPlayerAcceptedToStart); }
};
}  // namespace

TEST(ListBrowserTrack, BaseAnswersNothingAndPerformsNothing) {
  auto track = std::make_shared<ListBrowserTrack>();
  for (int32_t key : {-1, 0, 1, 2, 15, 16}) EXPECT_FALSE(track->information(key).has_value()) << key;
  for (int32_t action : {-3, 0, 1, 11, 12}) {
    EXPECT_FALSE(track->canPerform(action)) << action;
    EXPECT_EQ(track->perform(action), nullptr) << action;
  }
  EXPECT_EQ(track->picture(), nullptr);
  EXPECT_EQ(track->createPlayerWithDelegate({}), nullptr);
}

TEST(ListBrowserTrack, ActionSetsHoldOnlyActionsOneToEleven) {
  const ListBrowserActionSet file = listBrowserActions({1, 3, 4, 9, 11});
  for (int32_t a = -2; a <= 13; ++a) {
    const bool expected = a == 1 || a == 3 || a == 4 || a == 9 || a == 11;
    EXPECT_EQ(listBrowserActionIn(file, a), expected) << a;
  }
  EXPECT_EQ(listBrowserActions({0, 12, -1}), 0u);
}

TEST(ListBrowserPlayer, BaseHasNoParametersPositionOrControls) {
  auto track = std::make_shared<ListBrowserTrack>();
  ListBrowserPlayer player(track);
  EXPECT_EQ(player.track(), track);
  EXPECT_EQ(player.parameter(0), -1);
  EXPECT_EQ(player.parameter(5), -1);
  EXPECT_FALSE(player.parameterDescription(0).has_value());
  EXPECT_EQ(player.position(), 0u);
  EXPECT_EQ(player.totalLength(), 0u);
  EXPECT_FALSE(player.isPlaying());
  for (int32_t code : {0, 1000, 1001, 1002}) EXPECT_FALSE(player.canControl(code));
  player.play();
  player.seekTo(0.5f, true);
  EXPECT_FALSE(player.isPlaying());
}

TEST(ListBrowserPlayer, TheDelegateIsHeldWeaklyAndGoesWithItsOwner) {
  Telling player(std::make_shared<ListBrowserTrack>());
  auto delegate = std::make_shared<Counting>();
  player.setDelegate(delegate);
  player.play();
  EXPECT_EQ(delegate->accepted, 1);
  std::weak_ptr<Counting> weak = delegate;
  delegate.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(player.delegate(), nullptr);
  player.play();  // nobody to tell, nothing breaks
}
