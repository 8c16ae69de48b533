// Page controls: a stack of pages (tab sheets) of which one is shown. Tabs can be
// hidden, so that only the program moves between pages.
#pragma once

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
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool Value);

 protected:
  void Paint() override;

 private:
  friend class TPageControl;
  TPageControl *FPageControl = nullptr;  // not owned
  bool FTabVisible = true;
};

enum TTabStyle { tsTabs, tsButtons, tsFlatButtons };

class TPageControl : public TCustomControl {
 public:
  explicit TPageControl(TComponent *AOwner);
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(FPages.size()); }
  TTabSheet *Pages(int Index) const;
  TTabSheet *ActivePage() const { return FActivePage; }
  // Shows that page and hides the others; OnChange follows.
  void SetActivePage(TTabSheet *Page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int Value);
  TTabStyle Style = tsTabs;
  // The area the pages fill: the whole control when no tab is visible.
  TRect DisplayRect() const;
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void Resize() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet *Page);
  void RemovePage(TTabSheet *Page);
  std::vector<TTabSheet *> FPages;   // not owned
  TTabSheet *FActivePage = nullptr;  // not owned
};
