// The common-controls version, the visual-styles state and the double-click time, as
// the system reports them and as the seam overrides them.
#include <gtest/gtest.h>

#include "platform/uistate.h"
#include "platform/winapi.h"

namespace {

class UiState : public ::testing::Test {
 protected:
  void TearDown() override {
    testhooks::SetReportedCommonControlsVersion(0);
    testhooks::SetReportedVisualStyles(-1);
    testhooks::SetFakeDoubleClickTime(0);
  }
};

TEST_F(UiState, TheSystemsOwnAnswers) {
  const unsigned v = CommonControlsVersion();
  if (testhooks::HostLayer()) {
    EXPECT_EQ(v, 6u << 16);
    EXPECT_FALSE(VisualStylesInEffect());
  } else {
    // Wine without a manifest loads comctl32 5.81; 4.0 is the least there is.
    EXPECT_GE(v, 4u << 16);
    if (v < (6u << 16)) {
      EXPECT_FALSE(VisualStylesInEffect());
    }
  }
  EXPECT_EQ(GetDoubleClickTime(), 500u);  // Windows' default, and Wine's
}

TEST_F(UiState, TheSeamOverridesEach) {
  testhooks::SetReportedCommonControlsVersion((5u << 16) | 82);
  EXPECT_EQ(CommonControlsVersion(), (5u << 16) | 82);
  // Visual styles need common controls 6, whatever the theme.
  EXPECT_FALSE(VisualStylesInEffect());

  testhooks::SetReportedVisualStyles(1);
  EXPECT_TRUE(VisualStylesInEffect());
  testhooks::SetReportedVisualStyles(0);
  testhooks::SetReportedCommonControlsVersion(6u << 16);
  EXPECT_FALSE(VisualStylesInEffect());
  testhooks::SetReportedVisualStyles(-1);
  if (testhooks::HostLayer()) {
    EXPECT_FALSE(VisualStylesInEffect());  // the host draws no theme
  }

  testhooks::SetReportedCommonControlsVersion(0);
  testhooks::SetFakeDoubleClickTime(250);
  EXPECT_EQ(GetDoubleClickTime(), 250u);
  testhooks::SetFakeDoubleClickTime(0);
  EXPECT_EQ(GetDoubleClickTime(), 500u);
}

}  // namespace
