// Page controls: a stack of pages (tab sheets) of which one is shown. Tabs can be
// hidden, so that only the program moves between pages.
#pragma once

#include <utility>
#include <vector>

#include "forms/Controls.h"

class TPageControl;

class TTabSheet : public TCustomControl {
 public:
  explicit TTabSheet(TComponent *AOwner);
  ~TTabSheet() override;
  TPageControl *PageControl() const { return FPageControl; }
  // Puts the sheet into APageControl (as its last page) and parents it there.
  void SetPageControl(TPageControl *APageControl);
  int PageIndex() const;
  // Whether the page has a tab; a page without one is reached only by the program.
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool Value);

 protected:
  void WndProc(TMessage &Message) override;
  void Paint() override;

 private:
  friend class TPageControl;
  TPageControl *FPageControl = nullptr;  // not owned
  bool FTabVisible = true;
};

enum TTabStyle { tsTabs, tsButtons, tsFlatButtons };

// Pages are shown one at a time; the first page put in becomes the active one. The
// tabs (or buttons) run along the top; a click on one activates its page. The control
// itself is no tab stop: the keyboard goes to the controls on the page.
class TPageControl : public TCustomControl {
 public:
  explicit TPageControl(TComponent *AOwner);
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(FPages.size()); }
  TTabSheet *Pages(int Index) const;
  TTabSheet *ActivePage() const { return FActivePage; }
  // Shows that page and hides the others; OnChange follows when the page changes. A
  // focus inside the page that goes away moves to the first control of the new one.
  // A page of another control is ignored; nullptr hides every page.
  void SetActivePage(TTabSheet *Page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int Value);
  TTabStyle Style = tsTabs;
  // The area the pages fill: the whole control when no tab is visible.
  TRect DisplayRect() const;
  TNotifyEvent OnChange;

 protected:
  void WndProc(TMessage &Message) override;
  void Paint() override;
  void Resize() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  virtual void Change();

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet *Page);
  void RemovePage(TTabSheet *Page);
  // Bounds and visibility of every page from the active page and DisplayRect.
  void UpdatePages();
  bool AnyTabVisible() const;
  int TabHeight() const;
  // The tab (or button) of each page that shows one, left to right.
  std::vector<std::pair<TTabSheet *, TRect>> TabRects() const;
  std::vector<TTabSheet *> FPages;   // not owned
  TTabSheet *FActivePage = nullptr;  // not owned
};
