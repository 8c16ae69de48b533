// The standard controls over the system's own window classes. The windowed ones keep
// their state in fields as well as in the window, so that a re-created window gets it
// back; their notifications arrive reflected as CN_COMMAND.
#include "forms/StdCtrls.h"

#include <algorithm>
#include <string>
#include <vector>

#include "forms/ControlText.h"
#include "forms/Forms.h"

// The SDK's GetObject (the GDI call) is a macro that would rename TStrings::GetObject
// here; this file calls the GDI function by its full name if at all.
#undef GetObject

using controltext::AccelCuesHidden;
using controltext::CellHeight;
using controltext::Measure;

namespace {

// Background and text of a system control from its Color and Font (the answer to a
// reflected WM_CTLCOLOR*: the brush to paint with).
void ColorSystemControl(TControl *Control, TBrush &Brush, TMessage &Message) {
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  SetTextColor(dc, ColorToRGB(Control->Font()->Color()));
  SetBkColor(dc, ColorToRGB(Control->Color()));
  Brush.SetColor(Control->Color());
  Message.Result = reinterpret_cast<LRESULT>(Brush.Handle());
}

int LowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// Compares two CP932 strings ignoring the case of ASCII letters, but never of the
// trail byte of a double-byte character (which may fall in the ASCII letter range).
int CompareTextDbcs(const std::string &A, const std::string &B) {
  size_t i = 0, n = std::min(A.size(), B.size());
  bool trail = false;
  for (; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(A[i]), b = static_cast<unsigned char>(B[i]);
    int ca = trail ? a : LowerAscii(a), cb = trail ? b : LowerAscii(b);
    if (ca != cb) return ca < cb ? -1 : 1;
    trail = !trail && IsDBCSLeadByte(a);
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

[[noreturn]] void ListIndexError(int Index) {
  throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
}

// The items of a list box or combo box: the window's own list while the window exists,
// a plain list before it does and after it is destroyed (so a re-created window gets
// its items back).
class TListControlStrings : public TStrings {
 public:
  struct Messages {
    UINT GetCount, GetTextLen, GetText, AddString, InsertString, DeleteString, ResetContent, GetItemData,
        SetItemData;
  };

  // SavedIndex: the control's selection kept while it has no window, which clearing
  // resets as LB_RESETCONTENT resets the window's.
  TListControlStrings(TWinControl *Control, const Messages &Msgs, const bool *Sorted, int *SavedIndex)
      : FControl(Control), FMsgs(Msgs), FSorted(Sorted), FSavedIndex(SavedIndex) {}

  int Count() const override {
    if (!FControl->HandleAllocated()) return FSaved.Count();
    return static_cast<int>(Send(FMsgs.GetCount, 0, 0));
  }

  std::string Get(int Index) const override {
    if (!FControl->HandleAllocated()) return FSaved.Get(Index);
    LRESULT len = Send(FMsgs.GetTextLen, Index, 0);
    if (len < 0) ListIndexError(Index);
    std::string s(static_cast<size_t>(len) + 1, '\0');
    LRESULT got = Send(FMsgs.GetText, Index, reinterpret_cast<LPARAM>(&s[0]));
    if (got < 0) ListIndexError(Index);
    s.resize(static_cast<size_t>(got));
    return s;
  }

  TObject *GetObject(int Index) const override {
    if (!FControl->HandleAllocated()) return FSaved.GetObject(Index);
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    return reinterpret_cast<TObject *>(Send(FMsgs.GetItemData, Index, 0));
  }

  void PutObject(int Index, TObject *AObject) override {
    if (!FControl->HandleAllocated()) return FSaved.PutObject(Index, AObject);
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    Send(FMsgs.SetItemData, Index, reinterpret_cast<LPARAM>(AObject));
  }

  void Put(int Index, const std::string &S) override {
    TObject *object = GetObject(Index);
    Delete(Index);
    if (*FSorted) {
      PutObject(Add(S), object);
    } else {
      Insert(Index, S);
      PutObject(Index, object);
    }
  }

  int Add(const std::string &S) override {
    if (!*FSorted) {
      int index = Count();
      Insert(index, S);
      return index;
    }
    if (FControl->HandleAllocated()) {
      LRESULT r = Send(FMsgs.AddString, 0, reinterpret_cast<LPARAM>(S.c_str()));
      if (r < 0) throw Exception("Cannot add an item to the list");
      return static_cast<int>(r);
    }
    int index = 0;
    while (index < FSaved.Count() && CompareTextDbcs(FSaved.Get(index), S) <= 0) ++index;
    FSaved.Insert(index, S);
    return index;
  }

  // In a sorted list an item goes where it sorts, wherever it was asked to go.
  void Insert(int Index, const std::string &S) override {
    if (*FSorted) {
      if (Index < 0 || Index > Count()) ListIndexError(Index);
      Add(S);
      return;
    }
    if (!FControl->HandleAllocated()) return FSaved.Insert(Index, S);
    if (Index < 0 || Index > Count()) ListIndexError(Index);
    LRESULT r = Send(FMsgs.InsertString, Index, reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw Exception("Cannot add an item to the list");
  }

  void Delete(int Index) override {
    if (!FControl->HandleAllocated()) return FSaved.Delete(Index);
    if (Send(FMsgs.DeleteString, Index, 0) < 0) ListIndexError(Index);
  }

  void Clear() override {
    if (!FControl->HandleAllocated()) {
      *FSavedIndex = -1;
      return FSaved.Clear();
    }
    Send(FMsgs.ResetContent, 0, 0);
  }

  // Called once the window exists: it takes over the items.
  void MoveToWindow() {
    for (int i = 0; i < FSaved.Count(); ++i) {
      Send(FMsgs.InsertString, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(FSaved.Get(i).c_str()));
      Send(FMsgs.SetItemData, i, reinterpret_cast<LPARAM>(FSaved.GetObject(i)));
    }
    FSaved.Clear();
  }

  // Called before the window is destroyed.
  void MoveFromWindow() {
    FSaved.Clear();
    int n = Count();
    for (int i = 0; i < n; ++i) FSaved.AddObject(Get(i), GetObject(i));
  }

  // The saved items, searched while there is no window (the window's own search is
  // used otherwise), as that search does: an empty text matches nothing.
  int FindSaved(const std::string &S) const {
    if (S.empty()) return -1;
    for (int i = 0; i < FSaved.Count(); ++i)
      if (CompareTextDbcs(FSaved.Get(i), S) == 0) return i;
    return -1;
  }

 protected:
  void SetUpdateState(bool Updating) override {
    if (!FControl->HandleAllocated()) return;
    Send(WM_SETREDRAW, Updating ? FALSE : TRUE, 0);
    if (!Updating) InvalidateRect(FControl->Handle(), nullptr, TRUE);
  }

 private:
  LRESULT Send(UINT Msg, WPARAM W, LPARAM L) const { return SendMessageA(FControl->Handle(), Msg, W, L); }

  TWinControl *FControl;  // not owned: the control these items belong to
  Messages FMsgs;
  const bool *FSorted;  // not owned: the control's Sorted flag
  int *FSavedIndex;     // not owned: the control's selection while it has no window
  TStringList FSaved;
};

const TListControlStrings::Messages kListBoxMessages{LB_GETCOUNT,     LB_GETTEXTLEN,   LB_GETTEXT,
                                                     LB_ADDSTRING,    LB_INSERTSTRING, LB_DELETESTRING,
                                                     LB_RESETCONTENT, LB_GETITEMDATA,  LB_SETITEMDATA};
const TListControlStrings::Messages kComboBoxMessages{CB_GETCOUNT,     CB_GETLBTEXTLEN, CB_GETLBTEXT,
                                                      CB_ADDSTRING,    CB_INSERTSTRING, CB_DELETESTRING,
                                                      CB_RESETCONTENT, CB_GETITEMDATA,  CB_SETITEMDATA};
const bool kNotSorted = false;

// The lines of a memo: its text split at line breaks. Changes rewrite the text (once
// per update when they come between BeginUpdate and EndUpdate).
class TMemoStrings : public TStrings {
 public:
  explicit TMemoStrings(TMemo *Memo) : FMemo(Memo) {}

  int Count() const override { return static_cast<int>(Lines().size()); }
  std::string Get(int Index) const override {
    std::vector<std::string> lines = Lines();
    if (Index < 0 || Index >= static_cast<int>(lines.size())) ListIndexError(Index);
    return lines[static_cast<size_t>(Index)];
  }
  void Put(int Index, const std::string &S) override {
    Change([&](std::vector<std::string> &lines) {
      if (Index < 0 || Index >= static_cast<int>(lines.size())) ListIndexError(Index);
      lines[static_cast<size_t>(Index)] = S;
    });
  }
  void Insert(int Index, const std::string &S) override {
    Change([&](std::vector<std::string> &lines) {
      if (Index < 0 || Index > static_cast<int>(lines.size())) ListIndexError(Index);
      lines.insert(lines.begin() + Index, S);
    });
  }
  void Delete(int Index) override {
    Change([&](std::vector<std::string> &lines) {
      if (Index < 0 || Index >= static_cast<int>(lines.size())) ListIndexError(Index);
      lines.erase(lines.begin() + Index);
    });
  }
  void Clear() override {
    Change([](std::vector<std::string> &lines) { lines.clear(); });
  }

 protected:
  void SetUpdateState(bool Updating) override {
    if (Updating) {
      FPending = Split(FMemo->Text());
      FBatching = true;
    } else if (FBatching) {
      FBatching = false;
      FMemo->SetText(Join(FPending));
      FPending.clear();
    }
  }

 private:
  // A break at the very end of the text starts no line of its own.
  static std::vector<std::string> Split(const std::string &Text) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (size_t i = 0; i < Text.size(); ++i) {
      char c = Text[i];
      if (c == '\r' || c == '\n') {
        lines.push_back(line);
        line.clear();
        open = false;
        if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      } else {
        line += c;
        open = true;
      }
    }
    if (open) lines.push_back(line);
    return lines;
  }
  static std::string Join(const std::vector<std::string> &Lines) {
    std::string text;
    for (size_t i = 0; i < Lines.size(); ++i) {
      if (i) text += "\r\n";
      text += Lines[i];
    }
    return text;
  }
  std::vector<std::string> Lines() const { return FBatching ? FPending : Split(FMemo->Text()); }
  template <class F>
  void Change(F Edit) {
    if (FBatching) {
      Edit(FPending);
      return;
    }
    std::vector<std::string> lines = Split(FMemo->Text());
    Edit(lines);
    FMemo->SetText(Join(lines));
  }

  TMemo *FMemo;  // not owned: the memo these lines belong to
  bool FBatching = false;
  std::vector<std::string> FPending;  // the lines during an update
};

// The first control inside Container that takes the focus: a tab stop if there is one.
TWinControl *FirstFocusable(TWinControl *Container) {
  std::vector<TWinControl *> list;
  Container->GetTabOrderList(list);
  for (TWinControl *c : list)
    if (c->TabStop() && c->CanFocus()) return c;
  for (TWinControl *c : list)
    if (c->CanFocus()) return c;
  return nullptr;
}

}  // namespace

// ---- TCustomEdit ---------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent *AOwner) : TWinControl(AOwner) {
  FWidth = 121;
  FHeight = 21;
  FTabStop = true;
  FColor = clWindow;
}

void TCustomEdit::CreateParams(TCreateParams &Params) {
  TWinControl::CreateParams(Params);
  Params.SubClassName = "EDIT";
  Params.Style |= ES_AUTOHSCROLL;
  if (FReadOnly) Params.Style |= ES_READONLY;
  if (FBorderStyle == bsSingleBorder) Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::CreateWnd() {
  FCreating = true;
  try {
    TWinControl::CreateWnd();
  } catch (...) {
    FCreating = false;
    throw;
  }
  FCreating = false;
}

void TCustomEdit::CreateHandleDone() {
  SendMessageA(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
  SendMessageA(Handle(), EM_SETMODIFY, FALSE, 0);
}

void TCustomEdit::SetMaxLength(int Value) {
  if (Value < 0) Value = 0;
  FMaxLength = Value;
  if (HandleAllocated()) SendMessageA(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(Value), 0);
}

void TCustomEdit::SetReadOnly(bool Value) {
  FReadOnly = Value;
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETREADONLY, Value ? TRUE : FALSE, 0);
}

void TCustomEdit::SetBorderStyle(TBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  if (HandleAllocated()) RecreateWnd();
}

int TCustomEdit::SelStart() {
  DWORD start = 0, end = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return static_cast<int>(start);
}

void TCustomEdit::SetSelStart(int Value) { SendMessageA(Handle(), EM_SETSEL, Value, Value); }

int TCustomEdit::SelLength() {
  DWORD start = 0, end = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return static_cast<int>(end - start);
}

void TCustomEdit::SetSelLength(int Value) {
  int start = SelStart();
  SendMessageA(Handle(), EM_SETSEL, start, start + Value);
}

std::string TCustomEdit::SelText() {
  int start = SelStart(), length = SelLength();
  std::string text = Text();
  if (start < 0 || start > static_cast<int>(text.size())) return std::string();
  return text.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

void TCustomEdit::SelectAll() { SendMessageA(Handle(), EM_SETSEL, 0, -1); }
void TCustomEdit::ClearSelection() { SendMessageA(Handle(), WM_CLEAR, 0, 0); }
void TCustomEdit::CopyToClipboard() { SendMessageA(Handle(), WM_COPY, 0, 0); }
void TCustomEdit::CutToClipboard() { SendMessageA(Handle(), WM_CUT, 0, 0); }
void TCustomEdit::PasteFromClipboard() { SendMessageA(Handle(), WM_PASTE, 0, 0); }
bool TCustomEdit::Modified() { return SendMessageA(Handle(), EM_GETMODIFY, 0, 0) != 0; }
void TCustomEdit::SetModified(bool Value) { SendMessageA(Handle(), EM_SETMODIFY, Value ? TRUE : FALSE, 0); }

void TCustomEdit::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == EN_CHANGE && !FCreating) Change();
      return;
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORSTATIC:  // what a read-only or disabled edit sends
      ColorSystemControl(this, FColorBrush, Message);
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      // The press gives the focus: that entry selects nothing.
      bool was = FMouseFocus;
      FMouseFocus = true;
      try {
        TWinControl::WndProc(Message);
      } catch (...) {
        FMouseFocus = was;
        throw;
      }
      FMouseFocus = was;
      return;
    }
    default:
      TWinControl::WndProc(Message);
  }
}

void TCustomEdit::DoEnter() {
  if (AutoSelect && !FMouseFocus && !(ControlState() & csLButtonDown) && HandleAllocated() &&
      !(GetWindowLongA(Handle(), GWL_STYLE) & ES_MULTILINE))
    SelectAll();
  TWinControl::DoEnter();
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

// ---- TMemo ---------------------------------------------------------------------------------

TMemo::TMemo(TComponent *AOwner) : TCustomEdit(AOwner), FLines(new TMemoStrings(this)) {
  FWidth = 185;
  FHeight = 89;
  AutoSelect = false;
}

TMemo::~TMemo() = default;

void TMemo::SetLines(const TStrings *Value) {
  if (Value)
    FLines->Assign(Value);
  else
    FLines->Clear();
}

void TMemo::CreateParams(TCreateParams &Params) {
  TCustomEdit::CreateParams(Params);
  Params.Style |= ES_MULTILINE | ES_AUTOVSCROLL;
  if (WantReturns) Params.Style |= ES_WANTRETURN;
  // Words wrap at the right edge only when the text cannot scroll sideways.
  bool horizontal = ScrollBars == ssHorizontal || ScrollBars == ssBoth;
  if (WordWrap && !horizontal) Params.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
  if (horizontal) Params.Style |= WS_HSCROLL;
  if (ScrollBars == ssVertical || ScrollBars == ssBoth) Params.Style |= WS_VSCROLL;
  if (Alignment == taRightJustify)
    Params.Style |= ES_RIGHT;
  else if (Alignment == taCenter)
    Params.Style |= ES_CENTER;
}

// ---- Buttons -------------------------------------------------------------------------------

TButtonControl::TButtonControl(TComponent *AOwner) : TWinControl(AOwner) {
  // The system button reports its own clicks (BN_CLICKED); a click made of the raw
  // mouse messages as well would count twice.
  FControlStyle &= ~static_cast<unsigned>(csClickEvents);
  FTabStop = true;
  FColor = clBtnFace;
}

void TButtonControl::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORSTATIC:
      ColorSystemControl(this, FColorBrush, Message);
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

TButton::TButton(TComponent *AOwner) : TButtonControl(AOwner) {
  FWidth = 75;
  FHeight = 25;
}

void TButton::CreateParams(TCreateParams &Params) {
  TButtonControl::CreateParams(Params);
  Params.SubClassName = "BUTTON";
  Params.Style |= FActive ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetActive(bool Value) {
  if (FActive == Value) return;
  FActive = Value;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETSTYLE, Value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::SetDefault(bool Value) {
  FDefault = Value;
  // While some button has the focus, that one is drawn as the default.
  if (!dynamic_cast<TButton *>(FindControl(GetFocus()))) SetActive(Value);
}

void TButton::Click() { TButtonControl::Click(); }

void TButton::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == BN_CLICKED) Click();
      return;
    case CM_FOCUSCHANGED: {
      // As in dialogs: the focused button is the default one while it has the focus,
      // else the Default button is.
      auto *focusedButton = dynamic_cast<TButton *>(reinterpret_cast<TControl *>(Message.LParam));
      SetActive(focusedButton ? focusedButton == this : FDefault);
      TButtonControl::WndProc(Message);
      return;
    }
    case CM_DIALOGKEY: {
      // Worked out from the focus now rather than the drawn state, so that a key that
      // arrives while the focus is moving still goes to the right button.
      auto *focusedButton = dynamic_cast<TButton *>(FindControl(GetFocus()));
      bool isDefaultNow = focusedButton ? focusedButton == this : FDefault;
      bool plain = (KeyboardStateToShiftState() & (ssShift | ssAlt | ssCtrl)) == 0;
      if (plain &&
          ((Message.WParam == VK_RETURN && isDefaultNow) || (Message.WParam == VK_ESCAPE && Cancel)) &&
          CanFocus()) {
        Message.Result = 1;
        Click();
        return;
      }
      TButtonControl::WndProc(Message);
      return;
    }
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<char>(Message.WParam), Caption()) && CanFocus()) {
        Message.Result = 1;
        Click();
        return;
      }
      TButtonControl::WndProc(Message);
      return;
    default:
      TButtonControl::WndProc(Message);
  }
}

TCheckBox::TCheckBox(TComponent *AOwner) : TButtonControl(AOwner) {
  FWidth = 97;
  FHeight = 17;
}

void TCheckBox::CreateParams(TCreateParams &Params) {
  TButtonControl::CreateParams(Params);
  Params.SubClassName = "BUTTON";
  // Not an automatic style: the state is ours, and the window only shows it.
  Params.Style |= BS_3STATE;
  if (Alignment == taLeftJustify) Params.Style |= BS_LEFTTEXT;
}

void TCheckBox::CreateHandleDone() { SendMessageA(Handle(), BM_SETCHECK, static_cast<WPARAM>(FState), 0); }

void TCheckBox::SetState(TCheckBoxState Value) {
  if (FState == Value) return;
  FState = Value;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETCHECK, static_cast<WPARAM>(Value), 0);
  Click();
}

// The order of an automatic three-state box: unchecked, checked, grayed.
void TCheckBox::Toggle() {
  switch (FState) {
    case cbUnchecked:
      SetState(cbChecked);
      break;
    case cbChecked:
      SetState(AllowGrayed ? cbGrayed : cbUnchecked);
      break;
    case cbGrayed:
      SetState(cbUnchecked);
      break;
  }
}

void TCheckBox::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == BN_CLICKED) Toggle();
      return;
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<char>(Message.WParam), Caption()) && CanFocus()) {
        Message.Result = 1;
        SetFocus();
        if (Focused()) Toggle();
        return;
      }
      TButtonControl::WndProc(Message);
      return;
    default:
      TButtonControl::WndProc(Message);
  }
}

TRadioButton::TRadioButton(TComponent *AOwner) : TButtonControl(AOwner) {
  FWidth = 113;
  FHeight = 17;
  // Of a group of radio buttons only the checked one is a tab stop, as in dialogs.
  FTabStop = false;
}

void TRadioButton::CreateParams(TCreateParams &Params) {
  TButtonControl::CreateParams(Params);
  Params.SubClassName = "BUTTON";
  // Not BS_AUTORADIOBUTTON: the group logic is ours and covers every sibling.
  Params.Style |= BS_RADIOBUTTON;
  if (Alignment == taLeftJustify) Params.Style |= BS_LEFTTEXT;
}

void TRadioButton::CreateHandleDone() {
  SendMessageA(Handle(), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  SetTabStop(Value);
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
  if (!Value) return;
  if (TWinControl *parent = Parent()) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      auto *sibling = dynamic_cast<TRadioButton *>(parent->Controls(i));
      if (sibling && sibling != this) sibling->SetChecked(false);
    }
  }
  Click();
}

void TRadioButton::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == BN_CLICKED)
        SetChecked(true);
      else if (HIWORD(Message.WParam) == BN_DOUBLECLICKED)
        DblClick();
      return;
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<char>(Message.WParam), Caption()) && CanFocus()) {
        Message.Result = 1;
        SetFocus();
        if (Focused()) SetChecked(true);
        return;
      }
      TButtonControl::WndProc(Message);
      return;
    default:
      TButtonControl::WndProc(Message);
  }
}

// ---- TCustomListBox ------------------------------------------------------------------------

TCustomListBox::TCustomListBox(TComponent *AOwner)
    : TWinControl(AOwner), FItems(new TListControlStrings(this, kListBoxMessages, &Sorted, &FSavedIndex)) {
  FWidth = 121;
  FHeight = 97;
  FTabStop = true;
  FColor = clWindow;
  // Clicks and double clicks come from the list's own notifications.
  FControlStyle &= ~static_cast<unsigned>(csClickEvents);
}

TCustomListBox::~TCustomListBox() = default;

void TCustomListBox::SetItems(const TStrings *Value) {
  if (Value)
    FItems->Assign(Value);
  else
    FItems->Clear();
}

int TCustomListBox::ItemIndex() {
  if (!HandleAllocated()) return FSavedIndex;
  return static_cast<int>(SendMessageA(Handle(), LB_GETCURSEL, 0, 0));
}

// As the list itself does, an index that names no item selects nothing.
void TCustomListBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= Count()) Value = -1;
  if (!HandleAllocated()) {
    FSavedIndex = Value;
    return;
  }
  SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(Value), 0);
}

void TCustomListBox::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FRequestedHeight = AHeight;
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TCustomListBox::SetItemHeight(int Value) {
  if (Value <= 0) return;
  FItemHeight = Value;
  FItemHeightSet = true;
  ApplyItemHeight();
}

void TCustomListBox::ApplyItemHeight() {
  if (!HandleAllocated() || (!FItemHeightSet && FStyle == lbStandard)) return;
  SendMessageA(Handle(), LB_SETITEMHEIGHT, 0, FItemHeight);
  // The list fits its height to whole items only when it is sized: size it again from
  // the height asked for, which a fit to the font's items may have cut already.
  if (IntegralHeight)
    SetWindowPos(Handle(), nullptr, 0, 0, FWidth, FRequestedHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TCustomListBox::SetStyle(TListBoxStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  if (HandleAllocated()) RecreateWnd();
}

int TCustomListBox::FindExact(const std::string &S) {
  if (!HandleAllocated()) return static_cast<TListControlStrings *>(FItems.get())->FindSaved(S);
  return static_cast<int>(SendMessageA(Handle(), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(S.c_str())));
}

void TCustomListBox::CreateParams(TCreateParams &Params) {
  TWinControl::CreateParams(Params);
  Params.SubClassName = "LISTBOX";
  Params.Style |= LBS_NOTIFY | LBS_HASSTRINGS | WS_VSCROLL;
  if (!IntegralHeight) Params.Style |= LBS_NOINTEGRALHEIGHT;
  if (Sorted) Params.Style |= LBS_SORT;
  if (FStyle == lbOwnerDrawFixed)
    Params.Style |= LBS_OWNERDRAWFIXED;
  else if (FStyle == lbOwnerDrawVariable)
    Params.Style |= LBS_OWNERDRAWVARIABLE;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListBox::CreateHandleDone() {
  ApplyItemHeight();
  static_cast<TListControlStrings *>(FItems.get())->MoveToWindow();
  if (FSavedIndex >= 0) SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(FSavedIndex), 0);
}

void TCustomListBox::DestroyWnd() {
  if (HandleAllocated()) {
    FSavedIndex = ItemIndex();
    static_cast<TListControlStrings *>(FItems.get())->MoveFromWindow();
  }
  TWinControl::DestroyWnd();
}

void TCustomListBox::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CN_COMMAND:
      switch (HIWORD(Message.WParam)) {
        case LBN_SELCHANGE:
          Click();
          break;
        case LBN_DBLCLK:
          DblClick();
          break;
      }
      return;
    case CN_CTLCOLORLISTBOX:
      ColorSystemControl(this, FColorBrush, Message);
      return;
    case WM_SETFONT:
      // A new font brings its own item height; a height that was set stays.
      TWinControl::WndProc(Message);
      ApplyItemHeight();
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

// ---- TComboBox -----------------------------------------------------------------------------

TComboBox::TComboBox(TComponent *AOwner)
    : TWinControl(AOwner), FItems(new TListControlStrings(this, kComboBoxMessages, &kNotSorted, &FSavedIndex)) {
  FWidth = 145;
  FHeight = 21;
  FTabStop = true;
  FColor = clWindow;
  FControlStyle &= ~static_cast<unsigned>(csClickEvents);
}

TComboBox::~TComboBox() = default;

int TComboBox::ItemIndex() {
  if (!HandleAllocated()) return FSavedIndex;
  return static_cast<int>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= FItems->Count()) Value = -1;
  if (!HandleAllocated()) {
    FSavedIndex = Value;
    return;
  }
  SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(Value), 0);
}

void TComboBox::CreateParams(TCreateParams &Params) {
  TWinControl::CreateParams(Params);
  Params.SubClassName = "COMBOBOX";
  Params.Style |= WS_VSCROLL | CBS_AUTOHSCROLL;
  switch (Style) {
    case csDropDown:
      Params.Style |= CBS_DROPDOWN;
      break;
    case csSimple:
      Params.Style |= CBS_SIMPLE;
      break;
    case csDropDownList:
      Params.Style |= CBS_DROPDOWNLIST;
      break;
  }
  // The window's height includes the list that drops down; Windows keeps the closed
  // part at the height of one line.
  if (Style != csSimple) Params.Height += std::max(DropDownCount, 1) * (CellHeight(Font()) + 2) + 2;
}

void TComboBox::CreateHandleDone() {
  static_cast<TListControlStrings *>(FItems.get())->MoveToWindow();
  if (FSavedIndex >= 0) SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(FSavedIndex), 0);
}

void TComboBox::DestroyWnd() {
  if (HandleAllocated()) {
    FSavedIndex = ItemIndex();
    static_cast<TListControlStrings *>(FItems.get())->MoveFromWindow();
  }
  TWinControl::DestroyWnd();
}

void TComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TComboBox::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CN_COMMAND:
      switch (HIWORD(Message.WParam)) {
        case CBN_SELCHANGE:
          Click();
          Change();
          break;
        case CBN_EDITCHANGE:
          Change();
          break;
      }
      return;
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:  // from the combo box's own edit and list
    case WM_CTLCOLORLISTBOX:
      ColorSystemControl(this, FColorBrush, Message);
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

// ---- TLabel --------------------------------------------------------------------------------

TLabel::TLabel(TComponent *AOwner) : TGraphicControl(AOwner) {
  FWidth = 65;
  FHeight = 17;
  FColor = clBtnFace;
}

void TLabel::SetFocusControl(TWinControl *Value) {
  if (FFocusControl == Value) return;
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
  FFocusControl = Value;
  if (Value) Value->FreeNotification(this);
}

void TLabel::Notification(TComponent *AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

void TLabel::SetAutoSize(bool Value) {
  FAutoSize = Value;
  AdjustBounds();
}

void TLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

UINT TLabel::TextFlags() const {
  UINT flags = DT_EXPANDTABS;
  if (WordWrap) flags |= DT_WORDBREAK;
  if (!ShowAccelChar) flags |= DT_NOPREFIX;
  return flags;
}

void TLabel::AdjustBounds() {
  if ((ComponentState() & csLoading) || !FAutoSize) return;
  std::string text = Caption();
  // An empty caption (or a lone prefix) still gets one line's height.
  if (text.empty() || (ShowAccelChar && text == "&")) text += ' ';
  SIZE size = Measure(Font(), text, TextFlags(), WordWrap ? FWidth : 0);
  int width = WordWrap ? FWidth : static_cast<int>(size.cx);
  int left = FLeft;
  if (Alignment == taRightJustify)
    left = FLeft + FWidth - width;
  else if (Alignment == taCenter)
    left = FLeft + (FWidth - width) / 2;
  SetBounds(left, FTop, width, size.cy);
}

void TLabel::Paint() {
  TCanvas *canvas = Canvas();
  TRect rect = Rect(0, 0, FWidth, FHeight);
  if (!Transparent) {
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(Color());
    canvas->FillRect(rect);
  }
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->Assign(Font());
  UINT flags = TextFlags();
  if (Alignment == taRightJustify)
    flags |= DT_RIGHT;
  else if (Alignment == taCenter)
    flags |= DT_CENTER;
  if (ShowAccelChar && AccelCuesHidden(Parent())) flags |= DT_HIDEPREFIX;
  std::string text = Caption();
  if (Layout != tlTop) {
    TRect calc = rect;
    canvas->DrawText(text, calc, flags | DT_CALCRECT);
    int spare = rect.Height() - calc.Height();
    rect.Top += Layout == tlCenter ? spare / 2 : spare;
  }
  if (!Enabled()) {
    // Disabled text: a highlight one pixel down and right under the shadow-coloured text.
    TRect shifted = Rect(rect.Left + 1, rect.Top + 1, rect.Right + 1, rect.Bottom + 1);
    canvas->Font()->SetColor(clBtnHighlight);
    canvas->DrawText(text, shifted, flags);
    canvas->Font()->SetColor(clBtnShadow);
  }
  canvas->DrawText(text, rect, flags);
}

void TLabel::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
      TGraphicControl::WndProc(Message);
      AdjustBounds();
      return;
    case CM_DIALOGCHAR:
      if (FFocusControl && Enabled() && ShowAccelChar &&
          IsAccel(static_cast<char>(Message.WParam), Caption()) && FFocusControl->CanFocus()) {
        FFocusControl->SetFocus();
        Message.Result = 1;
        return;
      }
      TGraphicControl::WndProc(Message);
      return;
    default:
      TGraphicControl::WndProc(Message);
  }
}

// ---- TStaticText ---------------------------------------------------------------------------

TStaticText::TStaticText(TComponent *AOwner) : TWinControl(AOwner) {
  FWidth = 65;
  FHeight = 17;
  FColor = clBtnFace;
}

void TStaticText::SetFocusControl(TWinControl *Value) {
  if (FFocusControl == Value) return;
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
  FFocusControl = Value;
  if (Value) Value->FreeNotification(this);
}

void TStaticText::Notification(TComponent *AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

void TStaticText::CreateParams(TCreateParams &Params) {
  TWinControl::CreateParams(Params);
  Params.SubClassName = "STATIC";
  // SS_NOTIFY: without it the control lets the mouse through to its parent.
  Params.Style |= SS_NOTIFY;
  if (Alignment == taRightJustify)
    Params.Style |= SS_RIGHT;
  else if (Alignment == taCenter)
    Params.Style |= SS_CENTER;
  else
    Params.Style |= SS_LEFT;
  if (!ShowAccelChar) Params.Style |= SS_NOPREFIX;
  if (BorderStyle == sbsSunken)
    Params.Style |= SS_SUNKEN;
  else if (BorderStyle == sbsSingle)
    Params.Style |= WS_BORDER;
}

void TStaticText::Loaded() {
  TWinControl::Loaded();
  AdjustBounds();
}

void TStaticText::AdjustBounds() {
  if ((ComponentState() & csLoading) || !AutoSize) return;
  std::string text = Caption();
  if (text.empty()) text = " ";
  SIZE size = Measure(Font(), text, DT_EXPANDTABS | (ShowAccelChar ? 0 : DT_NOPREFIX), 0);
  // Both border kinds take one pixel on each side.
  int border = BorderStyle == sbsNone ? 0 : 2;
  SetBounds(FLeft, FTop, size.cx + border, size.cy + border);
}

void TStaticText::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CN_CTLCOLORSTATIC:
      ColorSystemControl(this, FColorBrush, Message);
      return;
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
      TWinControl::WndProc(Message);
      AdjustBounds();
      return;
    case CM_DIALOGCHAR:
      if (FFocusControl && Enabled() && ShowAccelChar &&
          IsAccel(static_cast<char>(Message.WParam), Caption()) && FFocusControl->CanFocus()) {
        FFocusControl->SetFocus();
        Message.Result = 1;
        return;
      }
      TWinControl::WndProc(Message);
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

// ---- TCustomGroupBox -----------------------------------------------------------------------

TCustomGroupBox::TCustomGroupBox(TComponent *AOwner) : TCustomControl(AOwner) {
  FWidth = 185;
  FHeight = 105;
  FColor = clBtnFace;
  FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
}

TRect TCustomGroupBox::ClientRect() const {
  TRect r = TCustomControl::ClientRect();
  r.Top += CellHeight(Font());
  return Rect(r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2);
}

void TCustomGroupBox::Paint() {
  TCanvas *canvas = Canvas();
  canvas->Font()->Assign(Font());
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(Color());
  canvas->FillRect(Rect(0, 0, FWidth, FHeight));
  int textHeight = CellHeight(Font());
  // The frame's top line runs through the middle of the caption.
  RECT frame{0, textHeight / 2 - 1, FWidth, FHeight};
  DrawEdge(canvas->Handle(), &frame, EDGE_ETCHED, BF_RECT);
  std::string text = Caption();
  if (text.empty()) return;
  UINT flags = DT_SINGLELINE | DT_LEFT;
  if (AccelCuesHidden(this)) flags |= DT_HIDEPREFIX;
  TRect textRect = Rect(8, 0, FWidth - 8, textHeight);
  canvas->DrawText(text, textRect, flags | DT_CALCRECT);
  // Clear the frame behind the caption, with a little room either side.
  canvas->FillRect(Rect(textRect.Left - 2, 0, textRect.Right + 2, textHeight));
  canvas->Brush()->SetStyle(bsClear);
  if (!Enabled()) {
    TRect shifted = Rect(textRect.Left + 1, textRect.Top + 1, textRect.Right + 1, textRect.Bottom + 1);
    canvas->Font()->SetColor(clBtnHighlight);
    canvas->DrawText(text, shifted, flags);
    canvas->Font()->SetColor(clBtnShadow);
  }
  canvas->DrawText(text, textRect, flags);
}

void TCustomGroupBox::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CM_DIALOGCHAR:
      // The controls inside have the first say.
      TCustomControl::WndProc(Message);
      if (Message.Result == 0 && IsAccel(static_cast<char>(Message.WParam), Caption()) && CanFocus()) {
        if (TWinControl *first = FirstFocusable(this)) {
          first->SetFocus();
          Message.Result = 1;
        }
      }
      return;
    default:
      TCustomControl::WndProc(Message);
  }
}
