// The standard controls: edit fields, memos, buttons, check boxes, radio buttons,
// list and combo boxes, labels, static texts and group boxes. Each windowed one is the
// system's own control ("EDIT", "BUTTON", "LISTBOX", "COMBOBOX", "STATIC"),
// subclassed so that its notifications come back to it as CN_COMMAND.
#pragma once

#include <memory>
#include <string>

#include "forms/Controls.h"

enum TBorderStyle { bsNoBorder, bsSingleBorder };

class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent *AOwner);

  int MaxLength() const { return FMaxLength; }  // 0: no limit
  virtual void SetMaxLength(int Value);
  bool ReadOnly() const { return FReadOnly; }
  virtual void SetReadOnly(bool Value);
  // Selects all text when the control is entered by the keyboard.
  bool AutoSelect = true;
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  int SelStart();
  void SetSelStart(int Value);
  int SelLength();
  void SetSelLength(int Value);
  std::string SelText();
  void SelectAll();
  void ClearSelection();
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  bool Modified();
  void SetModified(bool Value);

  TNotifyEvent OnChange;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;
  void CreateHandleDone() override;
  void CreateWnd() override;
  void DoEnter() override;
  // Raised on EN_CHANGE.
  virtual void Change();

  int FMaxLength = 0;
  bool FReadOnly = false;
  TBorderStyle FBorderStyle = bsSingleBorder;

 private:
  TBrush FColorBrush;
  bool FCreating = false;    // the window is being made: its EN_CHANGE is no user edit
  bool FMouseFocus = false;  // the focus arrives with a left button press
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TMemo : public TCustomEdit {
 public:
  explicit TMemo(TComponent *AOwner);
  ~TMemo() override;
  // The lines of the text (CR LF between lines in the window).
  TStrings *Lines() const { return FLines.get(); }
  void SetLines(const TStrings *Value);
  TAlignment Alignment = taLeftJustify;
  TScrollStyle ScrollBars = ssNone;
  bool WordWrap = true;
  bool WantReturns = true;

 protected:
  void CreateParams(TCreateParams &Params) override;

 private:
  std::unique_ptr<TStrings> FLines;
};

class TButtonControl : public TWinControl {
 public:
  explicit TButtonControl(TComponent *AOwner);

 protected:
  void WndProc(TMessage &Message) override;

 private:
  TBrush FColorBrush;
};

class TButton : public TButtonControl {
 public:
  explicit TButton(TComponent *AOwner);
  // Enter on the form clicks the Default button (unless another button has the
  // focus); Esc clicks the Cancel button.
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  bool Cancel = false;
  void Click() override;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;

 private:
  void SetActive(bool Value);

  bool FDefault = false;
  bool FActive = false;  // drawn as the default push button now
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TButtonControl {
 public:
  explicit TCheckBox(TComponent *AOwner);
  bool Checked() const { return FState == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return FState; }
  // Raises OnClick when the state changes, as a click does.
  void SetState(TCheckBoxState Value);
  bool AllowGrayed = false;
  TAlignment Alignment = taRightJustify;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;
  void CreateHandleDone() override;
  // A click moves to the next state.
  virtual void Toggle();

 private:
  TCheckBoxState FState = cbUnchecked;
};

class TRadioButton : public TButtonControl {
 public:
  explicit TRadioButton(TComponent *AOwner);
  bool Checked() const { return FChecked; }
  // Checking one unchecks the other radio buttons of the same parent; raises OnClick
  // when it becomes checked.
  void SetChecked(bool Value);
  TAlignment Alignment = taRightJustify;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;
  void CreateHandleDone() override;

 private:
  bool FChecked = false;
};

enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };

class TCustomListBox : public TWinControl {
 public:
  explicit TCustomListBox(TComponent *AOwner);
  ~TCustomListBox() override;
  // The items, kept by the window once it exists.
  TStrings *Items() const { return FItems.get(); }
  void SetItems(const TStrings *Value);
  int Count() const { return FItems->Count(); }
  // -1: nothing selected.
  int ItemIndex();
  void SetItemIndex(int Value);
  int ItemHeight() const { return FItemHeight; }
  // Used for every item, instead of the font's height, once set.
  void SetItemHeight(int Value);
  TListBoxStyle Style() const { return FStyle; }
  void SetStyle(TListBoxStyle Value);
  // false: the list keeps the height it was given, even cutting an item.
  bool IntegralHeight = false;
  bool Sorted = false;
  // The index of the item equal to S ignoring case (the list's exact search), or -1.
  int FindExact(const std::string &S);
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;
  void CreateHandleDone() override;
  void DestroyWnd() override;

  std::unique_ptr<TStrings> FItems;
  int FItemHeight = 13;
  TListBoxStyle FStyle = lbStandard;
  int FSavedIndex = -1;  // ItemIndex while the window does not exist

 private:
  void ApplyItemHeight();
  int FRequestedHeight = 97;  // the height set, before any fit to whole items
  // A standard list takes its item height from the font unless one was set.
  bool FItemHeightSet = false;
  TBrush FColorBrush;
};

class TListBox : public TCustomListBox {
 public:
  using TCustomListBox::TCustomListBox;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent *AOwner);
  ~TComboBox() override;
  TStrings *Items() const { return FItems.get(); }
  int ItemIndex();
  void SetItemIndex(int Value);
  TComboBoxStyle Style = csDropDown;
  // Lines shown by the open drop-down list.
  int DropDownCount = 8;
  // Raised when the user edits the text or picks an item (after OnClick).
  TNotifyEvent OnChange;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;
  void CreateHandleDone() override;
  void DestroyWnd() override;
  virtual void Change();

 private:
  std::unique_ptr<TStrings> FItems;
  int FSavedIndex = -1;
  TBrush FColorBrush;
};

enum TTextLayout { tlTop, tlCenter, tlBottom };

// A caption painted on the parent. "&x" underlines x; Alt+x (or x alone when the
// focused control takes no characters) moves the focus to FocusControl.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent *AOwner);
  TWinControl *FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl *Value);
  bool ShowAccelChar = true;
  // Sizes the label to its caption in its font.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  TAlignment Alignment = taLeftJustify;
  TTextLayout Layout = tlTop;
  bool Transparent = true;
  bool WordWrap = false;

 protected:
  void WndProc(TMessage &Message) override;
  void Notification(TComponent *AComponent, TOperation Operation) override;
  void Loaded() override;
  void Paint() override;
  void AdjustBounds();

 private:
  UINT TextFlags() const;

  TWinControl *FFocusControl = nullptr;  // not owned: cleared when it goes
  bool FAutoSize = true;
};

enum TStaticBorderStyle { sbsNone, sbsSingle, sbsSunken };

class TStaticText : public TWinControl {
 public:
  explicit TStaticText(TComponent *AOwner);
  TWinControl *FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl *Value);
  bool ShowAccelChar = true;
  TAlignment Alignment = taLeftJustify;
  TStaticBorderStyle BorderStyle = sbsNone;
  // Sizes the control to its caption (with its border) once loaded and whenever the
  // caption or font changes.
  bool AutoSize = true;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;
  void Notification(TComponent *AComponent, TOperation Operation) override;
  void Loaded() override;
  void AdjustBounds();

 private:
  TWinControl *FFocusControl = nullptr;  // not owned
  TBrush FColorBrush;
};

// A frame with a caption that holds other controls.
class TCustomGroupBox : public TCustomControl {
 public:
  explicit TCustomGroupBox(TComponent *AOwner);
  // Inside the frame, below the caption.
  TRect ClientRect() const override;

 protected:
  // The accelerator of the caption focuses the first control inside.
  void WndProc(TMessage &Message) override;
  void Paint() override;
};

class TGroupBox : public TCustomGroupBox {
 public:
  using TCustomGroupBox::TCustomGroupBox;
};
