// Page controls: one page shown at a time, hidden tabs giving the page the whole
// control, the focus following a page change, and clicks on the tabs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/ComCtrls.h"
#include "forms/StdCtrls.h"
#include "tests/forms/ControlTestSupport.h"

using namespace controltest;

namespace {

struct Pages {
  TPageControl *control;
  std::vector<TTabSheet *> pages;
};

Pages MakePages(ShownForm &form, int count, bool tabsVisible, TTabStyle style = tsTabs) {
  Pages p;
  p.control = form.Add<TPageControl>(3, 3, 394, 294);
  p.control->Style = style;
  for (int i = 0; i < count; ++i) {
    auto *page = new TTabSheet(form.get());
    page->SetCaption("Page" + std::to_string(i));
    page->SetTabVisible(tabsVisible);
    page->SetPageControl(p.control);
    p.pages.push_back(page);
  }
  return p;
}

// Which pages show, by the control and by their windows.
std::vector<bool> Shown(const Pages &p) {
  std::vector<bool> shown;
  for (TTabSheet *page : p.pages) {
    shown.push_back(page->Visible());
    EXPECT_EQ(IsWindowVisible(page->Handle()) != FALSE, page->Visible()) << page->Caption();
  }
  return shown;
}

TEST(PageControlTest, WithEveryTabHiddenTheActivePageFillsTheWholeControl) {
  ShownForm form;
  Pages p = MakePages(form, 3, false, tsFlatButtons);
  TRect display = p.control->DisplayRect();
  EXPECT_EQ(display.Left, 0);
  EXPECT_EQ(display.Top, 0);
  EXPECT_EQ(display.Right, 394);
  EXPECT_EQ(display.Bottom, 294);
  EXPECT_EQ(p.control->ActivePage(), p.pages[0]);  // the first page put in
  EXPECT_EQ(Shown(p), (std::vector<bool>{true, false, false}));
  TTabSheet *page = p.pages[0];
  EXPECT_EQ(page->Left(), 0);
  EXPECT_EQ(page->Top(), 0);
  EXPECT_EQ(page->Width(), 394);
  EXPECT_EQ(page->Height(), 294);

  // A visible tab takes room at the top.
  p.pages[1]->SetTabVisible(true);
  EXPECT_GT(p.control->DisplayRect().Top, 0);
  EXPECT_EQ(page->Top(), p.control->DisplayRect().Top);
}

TEST(PageControlTest, SetActivePageShowsOnePageAndRaisesOnChangeWhenItChanges) {
  ShownForm form;
  Pages p = MakePages(form, 3, false);
  Pages other = MakePages(form, 1, false);
  int changes = 0;
  TObject *sender = nullptr;
  p.control->OnChange = [&](TObject *s) {
    ++changes;
    sender = s;
  };
  p.control->SetActivePage(p.pages[2]);
  EXPECT_EQ(Shown(p), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(p.control->ActivePageIndex(), 2);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(sender, p.control);
  p.control->SetActivePage(p.pages[2]);
  EXPECT_EQ(changes, 1);
  p.control->SetActivePage(other.pages[0]);  // not one of its pages
  EXPECT_EQ(p.control->ActivePage(), p.pages[2]);
  EXPECT_EQ(changes, 1);
  p.control->SetActivePageIndex(1);
  EXPECT_EQ(Shown(p), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(p.pages[1]->PageIndex(), 1);
}

TEST(PageControlTest, AFocusOnAPageThatGoesMovesToTheNewPage) {
  ShownForm form;
  Pages p = MakePages(form, 2, false, tsFlatButtons);
  auto *next = form.Add<TButton>(304, 256, 75, 25, p.pages[0]);
  auto *label = form.Add<TStaticText>(16, 16, 100, 20, p.pages[1]);
  auto *choice = form.Add<TEdit>(96, 120, 185, 21, p.pages[1]);
  (void)label;
  next->OnClick = [&](TObject *) { p.control->SetActivePage(p.pages[1]); };
  next->SetFocus();
  Click(next);
  EXPECT_EQ(p.control->ActivePage(), p.pages[1]);
  EXPECT_EQ(GetFocus(), choice->Handle());
}

TEST(PageControlTest, FreeingTheActivePageActivatesTheNextOne) {
  ShownForm form;
  Pages p = MakePages(form, 3, false);
  p.control->SetActivePage(p.pages[1]);
  delete p.pages[1];
  EXPECT_EQ(p.control->PageCount(), 2);
  EXPECT_EQ(p.control->ActivePage(), p.pages[2]);
  EXPECT_TRUE(p.pages[2]->Visible());
  EXPECT_EQ(p.pages[2]->PageIndex(), 1);
}

TEST(PageControlTest, ClicksAlongTheTabRowActivateThePagesInOrder) {
  for (TTabStyle style : {tsTabs, tsButtons, tsFlatButtons}) {
    ShownForm form;
    Pages p = MakePages(form, 3, true, style);
    p.pages[1]->SetTabVisible(false);  // no tab: never reached by a click
    p.control->SetActivePage(p.pages[1]);
    int y = p.control->DisplayRect().Top / 2;
    std::vector<TTabSheet *> reached;
    TTabSheet *last = p.pages[1];
    for (int x = 0; x < p.control->Width(); ++x) {
      ClickAt(p.control->Handle(), x, y);
      if (p.control->ActivePage() != last) reached.push_back(last = p.control->ActivePage());
    }
    EXPECT_EQ(reached, (std::vector<TTabSheet *>{p.pages[0], p.pages[2]})) << "style " << style;
  }
}

}  // namespace
