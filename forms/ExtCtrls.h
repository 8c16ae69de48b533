// More controls: the window timer, panels, bevels, shapes and radio groups.
#pragma once

#include <memory>
#include <vector>

#include "forms/StdCtrls.h"

// A window timer on a hidden window of its own: OnTimer every Interval milliseconds
// while Enabled, Interval > 0 and a handler is assigned. Changing Interval or Enabled,
// or assigning OnTimer, restarts the countdown. Raises Exception when Windows has no
// timer left.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent *AOwner);
  ~TTimer() override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  UINT Interval() const { return FInterval; }
  void SetInterval(UINT Value);
  const TNotifyEvent &OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent Value);

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  void WndProc(TMessage &Message);

  bool FEnabled = true;
  UINT FInterval = 1000;
  TNotifyEvent FOnTimer;
  HWND FWindow = nullptr;  // owned: DeallocateHWnd in the destructor
  bool FRunning = false;
};

enum TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent *AOwner);
  TPanelBevel BevelInner = bvNone;
  TPanelBevel BevelOuter = bvRaised;
  int BevelWidth = 1;
  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int Value);
  TAlignment Alignment = taCenter;
  // Inside the border and the bevels.
  TRect ClientRect() const override;

 protected:
  void Paint() override;

 private:
  int FBorderWidth = 0;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
 public:
  explicit TBevel(TComponent *AOwner);
  TBevelShape Shape = bsBox;
  TBevelStyle Style = bsLowered;

 protected:
  void Paint() override;
};

enum TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

class TShape : public TGraphicControl {
 public:
  explicit TShape(TComponent *AOwner);
  ~TShape() override;
  TBrush *Brush() const { return FBrush; }
  TPen *Pen() const { return FPen; }
  TShapeType Shape = stRectangle;

 protected:
  void Paint() override;

 private:
  TBrush *FBrush;  // owned
  TPen *FPen;      // owned
};

// A group box of radio buttons, one per item; ItemIndex is the checked one (-1
// none). The buttons belong to the group (they are not components of the form).
// Checking a button, by a click or through ItemIndex, raises the group's OnClick once;
// an index that names no item (as a list box does) checks none.
class TCustomRadioGroup : public TCustomGroupBox {
 public:
  explicit TCustomRadioGroup(TComponent *AOwner);
  ~TCustomRadioGroup() override;
  TStrings *Items() const { return FItems.get(); }
  void SetItems(const TStrings *Value);
  int ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int Value);
  int Columns() const { return FColumns; }
  void SetColumns(int Value);
  // The radio button of item Index (for tests and accelerators).
  TRadioButton *Buttons(int Index) const;

 protected:
  void WndProc(TMessage &Message) override;
  void Resize() override;
  void Loaded() override;
  // Makes one radio button per item and lays them out in Columns columns, filled
  // column by column.
  void UpdateButtons();
  void ArrangeButtons();
  void ButtonClick(TObject *Sender);

 private:
  std::unique_ptr<TStrings> FItems;
  std::vector<TRadioButton *> FButtons;  // owned through the control hierarchy
  int FItemIndex = -1;
  int FColumns = 1;
  bool FUpdating = false;
};

class TRadioGroup : public TCustomRadioGroup {
 public:
  using TCustomRadioGroup::TCustomRadioGroup;
};
