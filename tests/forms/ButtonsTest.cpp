// Speed buttons pressed with the mouse through their parent's window: the press follows
// the pointer while held, a release over the button clicks it, and grouped buttons stay
// down one at a time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/Buttons.h"
#include "tests/forms/ControlTestSupport.h"

using namespace controltest;

namespace {

TEST(SpeedButtonTest, ThePressFollowsThePointerAndOnlyAReleaseOverTheButtonClicks) {
  ShownForm form;
  auto *button = form.Add<TSpeedButton>(40, 40, 23, 22);
  int clicks = 0;
  button->OnClick = [&](TObject *) { ++clicks; };
  HWND parent = form->Handle();

  Press(parent, 50, 50);
  EXPECT_EQ(button->State(), bsDown);
  EXPECT_EQ(GetCapture(), parent);
  Move(parent, 100, 100);  // away: drawn up, still held
  EXPECT_EQ(button->State(), bsUp);
  Move(parent, 45, 45);
  EXPECT_EQ(button->State(), bsDown);
  Move(parent, 10, 10);
  Release(parent, 10, 10);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_EQ(clicks, 0);
  EXPECT_NE(GetCapture(), parent);

  ClickAt(parent, 50, 50);
  EXPECT_EQ(button->State(), bsUp);
  EXPECT_EQ(clicks, 1);

  // Moving over the button without a press does nothing.
  Move(parent, 50, 50);
  EXPECT_EQ(button->State(), bsUp);
}

TEST(SpeedButtonTest, ButtonsOfAGroupStayDownOneAtATime) {
  struct Row {
    bool allowAllUp;
    // The button clicked each time (0 or 1) and which are down afterwards.
    std::vector<int> clicks;
    std::vector<std::vector<bool>> down;
  };
  const Row rows[] = {
      {false, {0, 1, 1, 0}, {{true, false}, {false, true}, {false, true}, {true, false}}},
      {true, {0, 0, 1, 1}, {{true, false}, {false, false}, {false, true}, {false, false}}},
  };
  for (const Row &row : rows) {
    ShownForm form;
    TSpeedButton *buttons[2] = {form.Add<TSpeedButton>(10, 10, 23, 22),
                                form.Add<TSpeedButton>(40, 10, 23, 22)};
    auto *other = form.Add<TSpeedButton>(70, 10, 23, 22);  // another group
    other->GroupIndex = 2;
    other->SetDown(true);
    for (TSpeedButton *b : buttons) {
      b->GroupIndex = 1;
      b->AllowAllUp = row.allowAllUp;
    }
    for (size_t i = 0; i < row.clicks.size(); ++i) {
      TSpeedButton *b = buttons[row.clicks[i]];
      ClickAt(form->Handle(), b->Left() + 5, b->Top() + 5);
      std::vector<bool> down{buttons[0]->Down(), buttons[1]->Down()};
      EXPECT_EQ(down, row.down[i]) << "all up " << row.allowAllUp << ", click " << i + 1;
      for (int k = 0; k < 2; ++k)
        EXPECT_EQ(buttons[k]->State(), down[static_cast<size_t>(k)] ? bsExclusive : bsUp);
    }
    EXPECT_TRUE(other->Down());
    // Outside a group a button does not stay down.
    auto *loose = form.Add<TSpeedButton>(100, 10, 23, 22);
    loose->SetDown(true);
    EXPECT_FALSE(loose->Down());
  }
}

TEST(SpeedButtonTest, PaintsEveryStateWhateverGlyphCountItIsGiven) {
  ShownForm form;
  auto *button = form.Add<TSpeedButton>(10, 10, 23, 22);
  TBitmap glyph;
  glyph.SetHandle(CreateBitmap(36, 9, 1, 32, nullptr));
  glyph.TransparentColor = clWhite;
  button->SetGlyph(&glyph);
  button->SetCaption("Go");
  for (int count : {0, 1, 2, 3, 4, 9}) {
    button->SetNumGlyphs(count);
    EXPECT_GE(button->NumGlyphs(), 1);
    EXPECT_LE(button->NumGlyphs(), 4);
    for (bool enabled : {true, false}) {
      button->SetEnabled(enabled);
      if (enabled) Press(form->Handle(), 15, 15);
      form->Repaint();  // paints the button pressed (or disabled)
      if (enabled) Release(form->Handle(), 15, 15);
      form->Repaint();
    }
  }
}

}  // namespace
