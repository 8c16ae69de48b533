// Page controls drawn by ourselves: a row of tabs or buttons over a stack of pages of
// which only the active one is shown.
#include "forms/ComCtrls.h"

#include <algorithm>
#include <string>

#include "forms/ControlText.h"

// ---- TTabSheet -----------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent *AOwner) : TCustomControl(AOwner) {
  FColor = clBtnFace;
  FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  // Shown when it becomes the active page.
  FVisible = false;
}

TTabSheet::~TTabSheet() {
  if (FPageControl) FPageControl->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl *APageControl) {
  if (FPageControl == APageControl) return;
  if (FPageControl) FPageControl->RemovePage(this);
  SetParent(APageControl);
  if (APageControl) APageControl->InsertPage(this);
}

int TTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  const auto &pages = FPageControl->FPages;
  auto it = std::find(pages.begin(), pages.end(), this);
  return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

void TTabSheet::SetTabVisible(bool Value) {
  if (FTabVisible == Value) return;
  FTabVisible = Value;
  if (FPageControl) {
    FPageControl->UpdatePages();
    FPageControl->Invalidate();
  }
}

void TTabSheet::Paint() {
  Canvas()->Brush()->SetStyle(bsSolid);
  Canvas()->Brush()->SetColor(Color());
  Canvas()->FillRect(Rect(0, 0, FWidth, FHeight));
}

void TTabSheet::WndProc(TMessage &Message) {
  TCustomControl::WndProc(Message);
  if (Message.Msg == CM_TEXTCHANGED && FPageControl) FPageControl->Invalidate();
}

// ---- TPageControl --------------------------------------------------------------------------

TPageControl::TPageControl(TComponent *AOwner) : TCustomControl(AOwner) {
  FWidth = 289;
  FHeight = 193;
  FColor = clBtnFace;
  FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks;
}

TPageControl::~TPageControl() {
  // The pages belong to their owner; they only forget this control.
  for (TTabSheet *page : FPages) page->FPageControl = nullptr;
  FPages.clear();
  FActivePage = nullptr;
}

TTabSheet *TPageControl::Pages(int Index) const {
  if (Index < 0 || Index >= PageCount()) return nullptr;
  return FPages[static_cast<size_t>(Index)];
}

int TPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int Value) { SetActivePage(Pages(Value)); }

void TPageControl::SetActivePage(TTabSheet *Page) {
  if (Page && Page->FPageControl != this) return;
  if (Page == FActivePage) return;
  TTabSheet *old = FActivePage;
  bool focusOnOld = false;
  if (old) {
    for (TControl *c = FindControl(GetFocus()); c; c = c->Parent())
      if (c == old) focusOnOld = true;
  }
  FActivePage = Page;
  UpdatePages();
  if (focusOnOld && Page) {
    std::vector<TWinControl *> list;
    Page->GetTabOrderList(list);
    for (TWinControl *c : list)
      if (c->TabStop() && c->CanFocus()) {
        c->SetFocus();
        break;
      }
  }
  Invalidate();
  Change();
}

void TPageControl::Change() {
  if (OnChange) OnChange(this);
}

void TPageControl::InsertPage(TTabSheet *Page) {
  FPages.push_back(Page);
  Page->FPageControl = this;
  if (!FActivePage) FActivePage = Page;
  UpdatePages();
  Invalidate();
}

void TPageControl::RemovePage(TTabSheet *Page) {
  auto it = std::find(FPages.begin(), FPages.end(), Page);
  if (it == FPages.end()) return;
  size_t index = static_cast<size_t>(it - FPages.begin());
  FPages.erase(it);
  Page->FPageControl = nullptr;
  if (FActivePage == Page)
    FActivePage = FPages.empty() ? nullptr : FPages[std::min(index, FPages.size() - 1)];
  if (ComponentState() & csDestroying) return;
  UpdatePages();
  Invalidate();
}

void TPageControl::UpdatePages() {
  TRect r = DisplayRect();
  // The new page shows before the old one hides, so the area never flashes empty.
  if (FActivePage) {
    FActivePage->SetBounds(r.Left, r.Top, r.Width(), r.Height());
    FActivePage->SetVisible(true);
  }
  for (TTabSheet *page : FPages) {
    if (page == FActivePage) continue;
    page->SetBounds(r.Left, r.Top, r.Width(), r.Height());
    page->SetVisible(false);
  }
}

bool TPageControl::AnyTabVisible() const {
  return std::any_of(FPages.begin(), FPages.end(), [](TTabSheet *p) { return p->TabVisible(); });
}

int TPageControl::TabHeight() const { return controltext::CellHeight(Font()) + (Style == tsTabs ? 6 : 8); }

TRect TPageControl::DisplayRect() const {
  if (!AnyTabVisible()) return Rect(0, 0, FWidth, FHeight);
  int top = TabHeight();
  // Tabs: inside the raised frame under the tabs, with a margin; buttons: below them.
  if (Style == tsTabs) return Rect(4, top + 4, std::max(FWidth - 4, 4), std::max(FHeight - 4, top + 4));
  return Rect(0, top + 4, FWidth, std::max(FHeight, top + 4));
}

std::vector<std::pair<TTabSheet *, TRect>> TPageControl::TabRects() const {
  std::vector<std::pair<TTabSheet *, TRect>> tabs;
  int height = TabHeight();
  int x = Style == tsTabs ? 2 : 0;
  for (TTabSheet *page : FPages) {
    if (!page->TabVisible()) continue;
    int width = controltext::Measure(Font(), page->Caption(), DT_SINGLELINE, 0).cx + 12;
    tabs.emplace_back(page, Rect(x, 0, x + width, height));
    x += width + (Style == tsTabs ? 0 : 3);
  }
  return tabs;
}

void TPageControl::Paint() {
  TCanvas *canvas = Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(Color());
  canvas->FillRect(Rect(0, 0, FWidth, FHeight));
  if (!AnyTabVisible()) return;
  HDC dc = canvas->Handle();
  int top = TabHeight();
  if (Style == tsTabs) {
    RECT frame{0, top, FWidth, FHeight};
    DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT);
  }
  canvas->Font()->Assign(Font());
  UINT flags = DT_SINGLELINE | DT_CENTER | DT_VCENTER;
  if (controltext::AccelCuesHidden(this)) flags |= DT_HIDEPREFIX;
  for (auto &tab : TabRects()) {
    bool active = tab.first == FActivePage;
    RECT r{tab.second.Left, tab.second.Top, tab.second.Right, tab.second.Bottom};
    canvas->Brush()->SetStyle(bsSolid);
    if (Style == tsTabs) {
      // The active tab stands a little taller and joins the frame below it.
      if (active) {
        r.left -= 2;
        r.right += 2;
        r.bottom += 1;
      } else {
        r.top += 2;
      }
      canvas->FillRect(Rect(r.left, r.top, r.right, r.bottom));
      DrawEdge(dc, &r, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT);
    } else if (active) {
      DrawEdge(dc, &r, Style == tsFlatButtons ? BDR_SUNKENOUTER : EDGE_SUNKEN, BF_RECT);
    } else if (Style == tsButtons) {
      DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
    }
    canvas->Brush()->SetStyle(bsClear);
    TRect text = Rect(r.left, r.top, r.right, r.bottom);
    canvas->DrawText(tab.first->Caption(), text, flags);
  }
}

void TPageControl::Resize() {
  TCustomControl::Resize();
  UpdatePages();
  Invalidate();
}

void TPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  for (auto &tab : TabRects())
    if (tab.second.Contains(TPoint{X, Y})) {
      SetActivePage(tab.first);
      return;
    }
}

void TPageControl::WndProc(TMessage &Message) {
  TCustomControl::WndProc(Message);
  if (Message.Msg == CM_FONTCHANGED) {
    UpdatePages();
    Invalidate();
  }
}
