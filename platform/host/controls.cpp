// The host layer's standard controls: Edit, Button, ListBox, ComboBox and Static as
// headless state machines. Each keeps what Windows keeps (text, selection, check state,
// items), answers the same messages with the same results and notifies its parent with
// the same WM_COMMAND codes, in the same order, as Windows' (and Wine's) controls. Text
// is CP932: positions and limits count bytes, and a double-byte character is never split.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/winapi.h"

BOOL WINAPI IsDBCSLeadByte(BYTE c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

namespace {

// ---- Shared ---------------------------------------------------------------------------

template <class T>
T *StateOf(HWND h) {
  return reinterpret_cast<T *>(GetWindowLongPtrA(h, 0));
}

DWORD StyleOf(HWND h) { return static_cast<DWORD>(GetWindowLongPtrA(h, GWL_STYLE)); }

void SetStyleBits(HWND h, DWORD bits, bool on) {
  DWORD s = StyleOf(h);
  SetWindowLongPtrA(h, GWL_STYLE, static_cast<LONG>(on ? (s | bits) : (s & ~bits)));
}

// The WM_COMMAND notification of a control, sent to its parent.
void Notify(HWND h, int code) {
  HWND parent = GetParent(h);
  if (!parent) return;
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), static_cast<WORD>(code)),
               reinterpret_cast<LPARAM>(h));
}

bool Lead(const std::string &s, size_t i) { return i < s.size() && IsDBCSLeadByte(static_cast<BYTE>(s[i])); }

// Length of the character at i (a lead byte at the very end stands alone).
size_t CharLen(const std::string &s, size_t i) { return Lead(s, i) && i + 1 < s.size() ? 2 : 1; }

// The start of the character that contains byte pos.
size_t AlignDown(const std::string &s, size_t pos) {
  size_t i = 0;
  while (i < pos) {
    size_t n = CharLen(s, i);
    if (i + n > pos) return i;
    i += n;
  }
  return pos;
}

size_t PrevChar(const std::string &s, size_t pos) { return pos == 0 ? 0 : AlignDown(s, pos - 1); }
size_t NextChar(const std::string &s, size_t pos) {
  return pos >= s.size() ? s.size() : pos + CharLen(s, pos);
}

// The longest prefix of at most n bytes that ends on a character boundary.
size_t FitBytes(const std::string &s, size_t n) { return n >= s.size() ? s.size() : AlignDown(s, n); }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive over single-byte letters only: a trail byte that looks like a letter
// belongs to its double-byte character and is compared as it is.
int CompareNoCase(const std::string &a, const std::string &b, size_t limit = std::string::npos) {
  size_t i = 0;
  for (;;) {
    if (i >= limit) return 0;
    bool ea = i >= a.size(), eb = i >= b.size();
    if (ea || eb) return ea == eb ? 0 : (ea ? -1 : 1);
    bool la = Lead(a, i), lb = Lead(b, i);
    unsigned char ca = static_cast<unsigned char>(la ? a[i] : FoldAscii(a[i]));
    unsigned char cb = static_cast<unsigned char>(lb ? b[i] : FoldAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (la) {
      // Both are lead bytes here: compare the trail bytes as they are.
      ++i;
      if (i >= limit) return 0;
      ea = i >= a.size();
      eb = i >= b.size();
      if (ea || eb) return ea == eb ? 0 : (ea ? -1 : 1);
      if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
    }
    ++i;
  }
}

void ChangeCase(std::string &s, bool upper) {
  for (size_t i = 0; i < s.size(); i += CharLen(s, i)) {
    if (Lead(s, i)) continue;
    char &c = s[i];
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

// WM_GETTEXT into a caller's buffer of `size` bytes: whole characters only, NUL-terminated.
LRESULT CopyOut(const std::string &text, WPARAM size, LPARAM buffer) {
  if (!buffer || size == 0) return 0;
  size_t n = FitBytes(text, static_cast<size_t>(size) - 1);
  char *out = reinterpret_cast<char *>(buffer);
  memcpy(out, text.data(), n);
  out[n] = 0;
  return static_cast<LRESULT>(n);
}

std::string TextArg(LPARAM lp) {
  return lp ? std::string(reinterpret_cast<const char *>(lp)) : std::string();
}

bool ShiftDown() { return (GetKeyState(VK_SHIFT) & 0x8000) != 0; }
bool ControlDown() { return (GetKeyState(VK_CONTROL) & 0x8000) != 0; }

POINT PointArg(LPARAM lp) { return POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}; }

bool InClient(HWND h, LPARAM lp) {
  RECT r;
  GetClientRect(h, &r);
  return PtInRect(&r, PointArg(lp)) != FALSE;
}

bool PutOnClipboard(HWND owner, const std::string &text) {
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (!mem) return false;
  memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
  GlobalUnlock(mem);
  if (!OpenClipboard(owner)) {
    GlobalFree(mem);
    return false;
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_TEXT, mem)) GlobalFree(mem);
  CloseClipboard();
  return true;
}

bool TakeFromClipboard(HWND owner, std::string *text) {
  if (!OpenClipboard(owner)) return false;
  HANDLE mem = GetClipboardData(CF_TEXT);
  bool got = false;
  if (mem) {
    if (const char *p = static_cast<const char *>(GlobalLock(mem))) {
      *text = std::string(p, strnlen(p, GlobalSize(mem)));
      got = true;
    }
    GlobalUnlock(mem);
  }
  CloseClipboard();
  return got;
}

// ---- Edit ----------------------------------------------------------------------------

constexpr size_t kEditInitialLimit = 30000;

struct EditState {
  HFONT font = nullptr;
  std::string text;
  size_t anchor = 0, caret = 0;  // the selection; the caret is its moving end
  size_t limit = kEditInitialLimit;
  bool modified = false;
  char password = 0;
  RECT format{};
  // Undo as Windows keeps it: what the last run of typing inserted at undoPos, and the
  // text the last run of deleting took away there.
  size_t undoPos = 0, undoInsert = 0;
  std::string undoText;
  int pendingLead = -1;  // the lead byte of a double-byte character typed as two WM_CHARs
};

size_t SelStart(const EditState &e) { return std::min(e.anchor, e.caret); }
size_t SelEnd(const EditState &e) { return std::max(e.anchor, e.caret); }

void EditSetSel(EditState &e, size_t anchor, size_t caret) {
  e.anchor = AlignDown(e.text, std::min(anchor, e.text.size()));
  e.caret = AlignDown(e.text, std::min(caret, e.text.size()));
}

void EditEmptyUndo(EditState &e) {
  e.undoInsert = 0;
  e.undoText.clear();
}

// The one way the text changes (typing, pasting, EM_REPLACESEL, WM_SETTEXT), as Windows'
// edit does it: the limit cuts what is inserted (with EN_MAXTEXT), undo is kept, the
// caret ends after the insertion, and EN_UPDATE/EN_CHANGE follow when asked for.
void EditReplaceSel(HWND h, std::string str, bool canUndo, bool notify, bool honorLimit) {
  EditState *e = StateOf<EditState>(h);
  size_t s = SelStart(*e), end = SelEnd(*e);
  if (s == end && str.empty()) return;
  DWORD style = StyleOf(h);
  if (style & ES_LOWERCASE)
    ChangeCase(str, false);
  else if (style & ES_UPPERCASE)
    ChangeCase(str, true);
  if (honorLimit) {
    size_t kept = e->text.size() - (end - s);
    if (kept + str.size() > e->limit) {
      Notify(h, EN_MAXTEXT);
      if (!(e = StateOf<EditState>(h))) return;
      str.resize(e->limit < kept ? 0 : FitBytes(str, e->limit - kept));
      if (s == end && str.empty()) return;  // nothing changes, so nothing is reported
    }
  }
  if (end != s) {
    std::string gone = e->text.substr(s, end - s);
    e->text.erase(s, end - s);
    if (canUndo) {
      if (!e->undoInsert && !e->undoText.empty() && s == e->undoPos) {
        e->undoText += gone;  // deleting on to the right
      } else if (!e->undoInsert && !e->undoText.empty() && end == e->undoPos) {
        e->undoText = gone + e->undoText;  // backspacing on to the left
        e->undoPos = s;
      } else {
        e->undoText = gone;
        e->undoPos = s;
      }
      e->undoInsert = 0;
    } else {
      EditEmptyUndo(*e);
    }
  }
  if (!str.empty()) {
    e->text.insert(s, str);
    if (canUndo) {
      if (s == e->undoPos || (e->undoInsert && s == e->undoPos + e->undoInsert)) {
        e->undoInsert += str.size();
      } else {
        e->undoPos = s;
        e->undoInsert = str.size();
        e->undoText.clear();
      }
    } else {
      EditEmptyUndo(*e);
    }
    s += str.size();
  }
  e->anchor = e->caret = s;
  e->modified = true;
  InvalidateRect(h, nullptr, TRUE);
  if (notify) {
    Notify(h, EN_UPDATE);
    if (IsWindow(h)) Notify(h, EN_CHANGE);
  }
}

void EditSetText(HWND h, const std::string &text) {
  EditState *e = StateOf<EditState>(h);
  e->anchor = 0;
  e->caret = e->text.size();
  EditReplaceSel(h, text, false, false, false);
  if (!(e = StateOf<EditState>(h))) return;
  e->modified = false;
  e->anchor = e->caret = 0;
  // Windows reports WM_SETTEXT as a change of single-line edits only.
  if (!(StyleOf(h) & ES_MULTILINE)) {
    Notify(h, EN_UPDATE);
    if (IsWindow(h)) Notify(h, EN_CHANGE);
  }
}

bool EditUndo(HWND h) {
  EditState *e = StateOf<EditState>(h);
  DWORD style = StyleOf(h);
  if (style & ES_READONLY) return !(style & ES_MULTILINE);
  std::string restore = e->undoText;
  size_t pos = e->undoPos;
  EditSetSel(*e, pos, pos + e->undoInsert);
  EditEmptyUndo(*e);
  EditReplaceSel(h, restore, true, true, true);
  if (!(e = StateOf<EditState>(h))) return true;
  // What came back is selected, and undoing again redoes.
  EditSetSel(*e, e->undoPos, e->undoPos + e->undoInsert);
  Notify(h, EN_CHANGE);
  return true;
}

void EditClear(HWND h) {
  if (StyleOf(h) & ES_READONLY) return;
  EditReplaceSel(h, std::string(), true, true, true);
}

bool EditCopy(HWND h) {
  EditState *e = StateOf<EditState>(h);
  // A password never leaves the control.
  if (StyleOf(h) & ES_PASSWORD) return false;
  size_t s = SelStart(*e), end = SelEnd(*e);
  if (s == end) return false;
  return PutOnClipboard(h, e->text.substr(s, end - s));
}

void EditPaste(HWND h) {
  DWORD style = StyleOf(h);
  if (style & ES_READONLY) return;
  std::string text;
  if (!TakeFromClipboard(h, &text)) {
    if (style & ES_PASSWORD) EditReplaceSel(h, std::string(), true, true, true);
    return;
  }
  // A single line takes the pasted text up to its first line break.
  if (!(style & ES_MULTILINE)) {
    size_t nl = text.find('\n');
    if (nl != std::string::npos) {
      if (nl > 0 && text[nl - 1] == '\r') --nl;
      text.resize(nl);
    }
  }
  EditReplaceSel(h, text, true, true, true);
}

// Lines are separated by CR LF; soft line breaks from word wrapping are not kept.
size_t LineStart(const std::string &t, size_t pos) {
  size_t p = t.rfind("\r\n", pos >= 2 ? pos - 2 : std::string::npos);
  if (pos < 2) return 0;
  return p == std::string::npos ? 0 : p + 2;
}
size_t LineEnd(const std::string &t, size_t pos) {
  size_t p = t.find("\r\n", pos);
  return p == std::string::npos ? t.size() : p;
}
size_t LineCount(const std::string &t) {
  size_t n = 1;
  for (size_t p = t.find("\r\n"); p != std::string::npos; p = t.find("\r\n", p + 2)) ++n;
  return n;
}
size_t LineOf(const std::string &t, size_t pos) {
  size_t n = 0;
  for (size_t p = t.find("\r\n"); p != std::string::npos && p + 2 <= pos; p = t.find("\r\n", p + 2)) ++n;
  return n;
}
// -1 when there is no such line.
long LineIndex(const std::string &t, size_t line) {
  size_t start = 0;
  for (size_t i = 0; i < line; ++i) {
    size_t p = t.find("\r\n", start);
    if (p == std::string::npos) return -1;
    start = p + 2;
  }
  return static_cast<long>(start);
}

void EditKeyDown(HWND h, WPARAM vk) {
  EditState *e = StateOf<EditState>(h);
  DWORD style = StyleOf(h);
  bool shift = ShiftDown(), multi = (style & ES_MULTILINE) != 0;
  auto move = [&](size_t to) { EditSetSel(*e, shift ? e->anchor : to, to); };
  switch (vk) {
    case VK_LEFT:
      move(PrevChar(e->text, e->caret));
      break;
    case VK_RIGHT:
      move(NextChar(e->text, e->caret));
      break;
    case VK_HOME:
      move(multi && !ControlDown() ? LineStart(e->text, e->caret) : 0);
      break;
    case VK_END:
      move(multi && !ControlDown() ? LineEnd(e->text, e->caret) : e->text.size());
      break;
    case VK_DELETE:
      if ((style & ES_READONLY) || (shift && ControlDown())) break;
      if (e->anchor != e->caret) {
        if (shift) {
          EditCopy(h);
          EditClear(h);
        } else {
          EditClear(h);
        }
      } else {
        EditSetSel(*e, e->caret, NextChar(e->text, e->caret));
        EditClear(h);
      }
      break;
  }
}

void EditChar(HWND h, WPARAM wp) {
  EditState *e = StateOf<EditState>(h);
  DWORD style = StyleOf(h);
  BYTE c = static_cast<BYTE>(wp);
  std::string ch;
  if (e->pendingLead >= 0) {
    ch = std::string{static_cast<char>(e->pendingLead), static_cast<char>(c)};
    e->pendingLead = -1;
  } else if (IsDBCSLeadByte(c)) {
    e->pendingLead = c;  // the trail byte follows in the next WM_CHAR
    return;
  } else {
    ch = std::string(1, static_cast<char>(c));
  }
  bool readOnly = (style & ES_READONLY) != 0, multi = (style & ES_MULTILINE) != 0;
  if (ch.size() == 1) {
    switch (c) {
      case '\r':
      case '\n':
        if (multi && !readOnly) EditReplaceSel(h, "\r\n", true, true, true);
        return;
      case '\t':
        if (multi && !readOnly) EditReplaceSel(h, "\t", true, true, true);
        return;
      case VK_BACK:
        if (readOnly || ControlDown()) break;
        if (e->anchor == e->caret) EditSetSel(*e, e->caret, PrevChar(e->text, e->caret));
        EditClear(h);
        return;
      case 0x03:  // Ctrl+C
        SendMessageA(h, WM_COPY, 0, 0);
        return;
      case 0x16:  // Ctrl+V
        if (!readOnly) SendMessageA(h, WM_PASTE, 0, 0);
        return;
      case 0x18:  // Ctrl+X
        if (!readOnly && !(style & ES_PASSWORD)) SendMessageA(h, WM_CUT, 0, 0);
        return;
      case 0x1A:  // Ctrl+Z
        if (!readOnly) SendMessageA(h, WM_UNDO, 0, 0);
        return;
    }
    if (c < ' ' || c == 0x7F) return;
    if ((style & ES_NUMBER) && !(c >= '0' && c <= '9')) {
      MessageBeep(MB_OK);
      return;
    }
  } else if (style & ES_NUMBER) {
    MessageBeep(MB_OK);
    return;
  }
  if (readOnly) {
    MessageBeep(MB_OK);
    return;
  }
  EditReplaceSel(h, ch, true, true, true);
}

LRESULT CALLBACK EditProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  EditState *e = StateOf<EditState>(h);
  if (!e && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
  switch (msg) {
    case WM_NCCREATE: {
      auto *st = new EditState;
      SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(st));
      if (StyleOf(h) & ES_PASSWORD) st->password = '*';
      GetClientRect(h, &st->format);
      return TRUE;
    }
    case WM_CREATE: {
      auto *cs = reinterpret_cast<const CREATESTRUCTA *>(lp);
      if (cs && cs->lpszName && reinterpret_cast<uintptr_t>(cs->lpszName) >= 0x10000 && *cs->lpszName) {
        // Windows counts the creation text as a modification (EM_GETMODIFY says TRUE).
        EditReplaceSel(h, cs->lpszName, false, false, false);
        if ((e = StateOf<EditState>(h))) e->anchor = e->caret = 0;
      }
      return 0;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrA(h, 0, 0);
      delete e;
      return DefWindowProcA(h, msg, wp, lp);
    case WM_SETTEXT:
      EditSetText(h, TextArg(lp));
      return TRUE;
    case WM_GETTEXT:
      return CopyOut(e->text, wp, lp);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(e->text.size());
    case WM_SETFONT:
      e->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(e->font);
    case WM_SIZE:
      GetClientRect(h, &e->format);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS |
             ((StyleOf(h) & ES_MULTILINE) ? DLGC_WANTALLKEYS : 0);
    case WM_SETFOCUS:
      InvalidateRect(h, nullptr, TRUE);
      Notify(h, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      InvalidateRect(h, nullptr, TRUE);
      Notify(h, EN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN:
      // Without glyph metrics the caret stays where it was; the click focuses.
      SetFocus(h);
      return 0;
    case WM_CHAR:
      EditChar(h, wp);
      return 0;
    case WM_KEYDOWN:
      EditKeyDown(h, wp);
      return 0;
    case WM_CUT:
      if (EditCopy(h)) EditClear(h);
      return 0;
    case WM_COPY:
      EditCopy(h);
      return 0;
    case WM_PASTE:
      EditPaste(h);
      return 0;
    case WM_CLEAR:
      EditClear(h);
      return 0;
    case WM_UNDO:
    case EM_UNDO:
      return EditUndo(h) ? TRUE : FALSE;
    case EM_CANUNDO:
      return (e->undoInsert || !e->undoText.empty()) ? TRUE : FALSE;
    case EM_EMPTYUNDOBUFFER:
      EditEmptyUndo(*e);
      return 0;
    case EM_GETSEL: {
      DWORD s = static_cast<DWORD>(SelStart(*e)), end = static_cast<DWORD>(SelEnd(*e));
      if (wp) *reinterpret_cast<DWORD *>(wp) = s;
      if (lp) *reinterpret_cast<DWORD *>(lp) = end;
      return MAKELONG(s, end);
    }
    case EM_SETSEL: {
      // -1 as the start drops the selection at the caret; a negative end means the end.
      UINT start = static_cast<UINT>(wp), end = static_cast<UINT>(lp);
      if (start == static_cast<UINT>(-1))
        EditSetSel(*e, e->caret, e->caret);
      else
        EditSetSel(*e, start, end);
      return 1;
    }
    case EM_REPLACESEL:
      EditReplaceSel(h, TextArg(lp), wp != 0, true, true);
      return 0;
    case EM_LIMITTEXT: {
      UINT limit = static_cast<UINT>(wp);
      if (!limit) limit = ~0u;
      if (!(StyleOf(h) & ES_MULTILINE)) limit = std::min(limit, 0x7FFFFFFEu);
      e->limit = limit;
      return 0;
    }
    case EM_GETLIMITTEXT:
      return static_cast<LRESULT>(static_cast<UINT>(e->limit));
    case EM_GETMODIFY:
      return e->modified ? TRUE : FALSE;
    case EM_SETMODIFY:
      e->modified = wp != 0;
      return 0;
    case EM_SETREADONLY:
      SetStyleBits(h, ES_READONLY, wp != 0);
      return TRUE;
    case EM_SETPASSWORDCHAR:
      if (StyleOf(h) & ES_MULTILINE) return 0;
      e->password = static_cast<char>(wp);
      SetStyleBits(h, ES_PASSWORD, wp != 0);
      return 0;
    case EM_GETPASSWORDCHAR:
      return static_cast<BYTE>(e->password);
    case EM_SETRECT:
    case EM_SETRECTNP:
      if (lp)
        e->format = *reinterpret_cast<const RECT *>(lp);
      else
        GetClientRect(h, &e->format);
      if (msg == EM_SETRECT) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case EM_GETRECT:
      if (lp) *reinterpret_cast<RECT *>(lp) = e->format;
      return 0;
    case EM_GETLINECOUNT:
      return (StyleOf(h) & ES_MULTILINE) ? static_cast<LRESULT>(LineCount(e->text)) : 1;
    case EM_LINEINDEX: {
      if (!(StyleOf(h) & ES_MULTILINE)) return (static_cast<int>(wp) <= 0) ? 0 : -1;
      int line = static_cast<int>(wp);
      if (line < 0) return static_cast<LRESULT>(LineStart(e->text, e->caret));
      return LineIndex(e->text, static_cast<size_t>(line));
    }
    case EM_LINELENGTH: {
      int pos = static_cast<int>(wp);
      if (pos < 0) {
        // The unselected part of the lines the selection touches.
        size_t s = SelStart(*e), end = SelEnd(*e);
        if (s == end) return 0;
        return static_cast<LRESULT>((s - LineStart(e->text, s)) + (LineEnd(e->text, end) - end));
      }
      size_t p = std::min(static_cast<size_t>(pos), e->text.size());
      return static_cast<LRESULT>(LineEnd(e->text, p) - LineStart(e->text, p));
    }
    case EM_LINEFROMCHAR: {
      int pos = static_cast<int>(wp);
      size_t p = pos < 0 ? SelStart(*e) : std::min(static_cast<size_t>(pos), e->text.size());
      return (StyleOf(h) & ES_MULTILINE) ? static_cast<LRESULT>(LineOf(e->text, p)) : 0;
    }
    case EM_GETFIRSTVISIBLELINE:
    case EM_SCROLLCARET:
      return 0;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

// ---- Button --------------------------------------------------------------------------

struct ButtonState {
  HFONT font = nullptr;
  WORD state = 0;        // BST_* bits
  bool pressed = false;  // a press (mouse or space bar) is under way
  HANDLE image = nullptr;
};

DWORD ButtonType(HWND h) { return StyleOf(h) & BS_TYPEMASK; }

WORD MaxCheck(DWORD type) {
  switch (type) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
      return BST_CHECKED;
    case BS_3STATE:
    case BS_AUTO3STATE:
      return BST_INDETERMINATE;
  }
  return BST_UNCHECKED;
}

// The auto radio buttons of h's group, which runs from the last sibling with WS_GROUP
// at or before h to the next one after it. Windows walks it with GetNextDlgGroupItem,
// which skips hidden and disabled controls, so those keep their check.
void UncheckGroupSiblings(HWND h) {
  HWND parent = GetParent(h);
  if (!parent) return;
  std::vector<HWND> sib;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) sib.push_back(c);
  auto self = std::find(sib.begin(), sib.end(), h);
  if (self == sib.end()) return;
  auto first = self;
  while (first != sib.begin() && !(StyleOf(*first) & WS_GROUP)) --first;
  auto last = self + 1;
  while (last != sib.end() && !(StyleOf(*last) & WS_GROUP)) ++last;
  for (auto it = first; it != last; ++it) {
    if (*it == h) continue;
    DWORD s = StyleOf(*it);
    if ((s & (WS_VISIBLE | WS_DISABLED)) != WS_VISIBLE) continue;
    if ((s & BS_TYPEMASK) == BS_AUTORADIOBUTTON) SendMessageA(*it, BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

// The end of a press: a click when it ends inside (or by the space bar).
void ButtonRelease(HWND h, bool inside) {
  ButtonState *b = StateOf<ButtonState>(h);
  if (!b->pressed) return;
  b->pressed = false;
  if (!(b->state & BST_PUSHED)) {
    ReleaseCapture();
    return;
  }
  SendMessageA(h, BM_SETSTATE, FALSE, 0);
  if (!inside) {
    ReleaseCapture();
    return;
  }
  if (!(b = StateOf<ButtonState>(h))) return;
  WORD check = b->state & 3;
  switch (ButtonType(h)) {
    case BS_AUTOCHECKBOX:
      SendMessageA(h, BM_SETCHECK, check ? BST_UNCHECKED : BST_CHECKED, 0);
      break;
    case BS_AUTORADIOBUTTON:
      // Only a click unchecks the others; BM_SETCHECK leaves them to the program.
      SendMessageA(h, BM_SETCHECK, BST_CHECKED, 0);
      if (IsWindow(h) && (StyleOf(h) & WS_CHILD)) UncheckGroupSiblings(h);
      break;
    case BS_AUTO3STATE:
      SendMessageA(h, BM_SETCHECK, (check & BST_INDETERMINATE) ? BST_UNCHECKED : check + 1, 0);
      break;
  }
  ReleaseCapture();
  if (IsWindow(h)) Notify(h, BN_CLICKED);
}

LRESULT CALLBACK ButtonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  ButtonState *b = StateOf<ButtonState>(h);
  if (!b && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
  DWORD type = ButtonType(h);
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(new ButtonState));
      return DefWindowProcA(h, msg, wp, lp);
    case WM_NCDESTROY:
      SetWindowLongPtrA(h, 0, 0);
      delete b;
      return DefWindowProcA(h, msg, wp, lp);
    case WM_GETDLGCODE:
      switch (type) {
        case BS_PUSHBUTTON:
        case BS_USERBUTTON:
          return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
          return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
          return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
          return DLGC_STATIC;
      }
      return DLGC_BUTTON;
    case WM_NCHITTEST:
      if (type == BS_GROUPBOX) return HTTRANSPARENT;
      return DefWindowProcA(h, msg, wp, lp);
    case WM_SETFONT:
      b->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(b->font);
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcA(h, msg, wp, lp);
      InvalidateRect(h, nullptr, TRUE);
      return r;
    }
    case WM_LBUTTONDBLCLK:
      if ((StyleOf(h) & BS_NOTIFY) || type == BS_RADIOBUTTON || type == BS_USERBUTTON ||
          type == BS_OWNERDRAW) {
        Notify(h, BN_DOUBLECLICKED);
        return 0;
      }
      [[fallthrough]];
    case WM_LBUTTONDOWN:
      SetCapture(h);
      SetFocus(h);
      if (!(b = StateOf<ButtonState>(h))) return 0;
      b->pressed = true;
      SendMessageA(h, BM_SETSTATE, TRUE, 0);
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_SPACE) {
        SendMessageA(h, BM_SETSTATE, TRUE, 0);
        if (!(b = StateOf<ButtonState>(h))) return 0;
        b->pressed = true;
        SetCapture(h);
      }
      return 0;
    case WM_KEYUP:
      if (wp == VK_SPACE) ButtonRelease(h, true);
      return 0;
    case WM_LBUTTONUP:
      ButtonRelease(h, InClient(h, lp));
      return 0;
    case WM_MOUSEMOVE:
      if ((wp & MK_LBUTTON) && GetCapture() == h) SendMessageA(h, BM_SETSTATE, InClient(h, lp), 0);
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lp) == h) return 0;
      if (b->pressed) {
        b->pressed = false;
        if (b->state & BST_PUSHED) SendMessageA(h, BM_SETSTATE, FALSE, 0);
      }
      return 0;
    case WM_SETFOCUS:
      b->state |= BST_FOCUS;
      InvalidateRect(h, nullptr, FALSE);
      if (StyleOf(h) & BS_NOTIFY) Notify(h, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS: {
      bool wasPressed = b->pressed;
      b->state &= ~BST_FOCUS;
      if (wasPressed && GetCapture() == h) ReleaseCapture();
      if (IsWindow(h) && (StyleOf(h) & BS_NOTIFY)) Notify(h, BN_KILLFOCUS);
      InvalidateRect(h, nullptr, FALSE);
      return 0;
    }
    case WM_ENABLE:
      InvalidateRect(h, nullptr, TRUE);
      return 0;
    case BM_GETCHECK:
      return b->state & 3;
    case BM_SETCHECK: {
      WORD check = static_cast<WORD>(std::min<WPARAM>(wp, MaxCheck(type)));
      // A radio button is a tab stop exactly while it is checked.
      if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) SetStyleBits(h, WS_TABSTOP, check != 0);
      if ((b->state & 3) != check) {
        b->state = static_cast<WORD>((b->state & ~3) | check);
        InvalidateRect(h, nullptr, FALSE);
      }
      return 0;
    }
    case BM_GETSTATE:
      return b->state;
    case BM_SETSTATE:
      if (wp)
        b->state |= BST_PUSHED;
      else
        b->state &= ~BST_PUSHED;
      InvalidateRect(h, nullptr, FALSE);
      return 0;
    case BM_SETSTYLE:
      // Only the button type changes.
      SetWindowLongPtrA(
          h, GWL_STYLE,
          static_cast<LONG>((StyleOf(h) & ~static_cast<DWORD>(BS_TYPEMASK)) | (wp & BS_TYPEMASK)));
      if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case BM_CLICK:
      SendMessageA(h, WM_LBUTTONDOWN, 0, 0);
      if (IsWindow(h)) SendMessageA(h, WM_LBUTTONUP, 0, 0);
      return 0;
    case BM_SETIMAGE: {
      HANDLE old = b->image;
      b->image = reinterpret_cast<HANDLE>(lp);
      return reinterpret_cast<LRESULT>(old);
    }
    case BM_GETIMAGE:
      return reinterpret_cast<LRESULT>(b->image);
  }
  return DefWindowProcA(h, msg, wp, lp);
}

// ---- Static ----------------------------------------------------------------------------

struct StaticState {
  HFONT font = nullptr;
  HANDLE image = nullptr;
};

LRESULT CALLBACK StaticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  StaticState *st = StateOf<StaticState>(h);
  if (!st && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
  bool notify = (StyleOf(h) & SS_NOTIFY) != 0;
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(new StaticState));
      return DefWindowProcA(h, msg, wp, lp);
    case WM_NCDESTROY:
      SetWindowLongPtrA(h, 0, 0);
      delete st;
      return DefWindowProcA(h, msg, wp, lp);
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_NCHITTEST:
      return notify ? HTCLIENT : HTTRANSPARENT;
    case WM_LBUTTONDOWN:
      if (notify) Notify(h, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (notify) Notify(h, STN_DBLCLK);
      return 0;
    case WM_ENABLE:
      InvalidateRect(h, nullptr, TRUE);
      if (notify) Notify(h, wp ? STN_ENABLE : STN_DISABLE);
      return 0;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcA(h, msg, wp, lp);
      InvalidateRect(h, nullptr, TRUE);
      return r;
    }
    case WM_SETFONT:
      st->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(st->font);
    case STM_SETICON:
    case STM_SETIMAGE: {
      HANDLE old = st->image;
      st->image = msg == STM_SETICON ? reinterpret_cast<HANDLE>(wp) : reinterpret_cast<HANDLE>(lp);
      InvalidateRect(h, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
    case STM_GETIMAGE:
      return reinterpret_cast<LRESULT>(st->image);
  }
  return DefWindowProcA(h, msg, wp, lp);
}

// ---- Item lists (list boxes and the list of a combo box) -----------------------------------

struct Item {
  std::string text;
  ULONG_PTR data = 0;
};

struct ItemList {
  std::vector<Item> items;
  bool sorted = false, strings = true;

  int Count() const { return static_cast<int>(items.size()); }
  bool Valid(WPARAM i) const { return static_cast<INT_PTR>(i) >= 0 && static_cast<INT_PTR>(i) < Count(); }

  // Where a new string goes in a sorted list: before the first one not less than it.
  int SortedPos(const std::string &s) const {
    int lo = 0, hi = Count() - 1;
    while (lo <= hi) {
      int mid = (lo + hi) / 2;
      int c = CompareNoCase(items[mid].text, s);
      if (c == 0) return mid;
      if (c > 0)
        hi = mid - 1;
      else
        lo = mid + 1;
    }
    return lo;
  }

  // Searches after `start` and wraps round to it, as Windows does; -1 starts at the top.
  int Find(INT_PTR start, LPARAM lp, bool exact) const {
    int n = Count();
    if (start < -1 || start >= n) start = -1;
    for (int k = 1; k <= n; ++k) {
      int i = static_cast<int>((start + k) % n);
      if (!strings) {
        if (items[i].data == static_cast<ULONG_PTR>(lp)) return i;
        continue;
      }
      std::string s = TextArg(lp);
      if (s.empty()) return LB_ERR;
      if (exact ? CompareNoCase(items[i].text, s) == 0 : CompareNoCase(items[i].text, s, s.size()) == 0)
        return i;
    }
    return LB_ERR;
  }

  LRESULT Text(WPARAM i, LPARAM buffer) const {
    if (!Valid(i)) return LB_ERR;
    if (!strings) {
      if (buffer) memcpy(reinterpret_cast<void *>(buffer), &items[i].data, sizeof(ULONG_PTR));
      return sizeof(ULONG_PTR);
    }
    if (buffer) memcpy(reinterpret_cast<char *>(buffer), items[i].text.c_str(), items[i].text.size() + 1);
    return static_cast<LRESULT>(items[i].text.size());
  }

  LRESULT TextLen(WPARAM i) const {
    if (!Valid(i)) return LB_ERR;
    return strings ? static_cast<LRESULT>(items[i].text.size()) : static_cast<LRESULT>(sizeof(ULONG_PTR));
  }

  Item Make(LPARAM lp) const {
    Item it;
    if (strings)
      it.text = TextArg(lp);
    else
      it.data = static_cast<ULONG_PTR>(lp);
    return it;
  }
};

// ---- List box ------------------------------------------------------------------------

constexpr int kDefaultItemHeight = 16;  // the system font's cell height

struct ListState {
  HFONT font = nullptr;
  ItemList list;
  int sel = -1;   // the selected item
  int caret = 0;  // the item with the focus rectangle
  int top = 0;    // the first item shown
  int itemHeight = kDefaultItemHeight;
  bool captured = false;  // a click is being tracked
};

int PageSize(HWND h, const ListState &l) {
  RECT r;
  GetClientRect(h, &r);
  return std::max(1, static_cast<int>(r.bottom - r.top) / std::max(1, l.itemHeight));
}

int MaxTop(HWND h, const ListState &l) { return std::max(0, l.list.Count() - PageSize(h, l)); }

void ListSetTop(HWND h, ListState &l, int index) {
  l.top = std::max(0, std::min(index, MaxTop(h, l)));
  InvalidateRect(h, nullptr, TRUE);
}

// Scrolls just enough to show the item.
void ListShow(HWND h, ListState &l, int index) {
  if (index < 0) return;
  int page = PageSize(h, l);
  if (index < l.top)
    ListSetTop(h, l, index);
  else if (index >= l.top + page)
    ListSetTop(h, l, index - page + 1);
}

void ListNotify(HWND h, int code) {
  if (StyleOf(h) & LBS_NOTIFY) Notify(h, code);
}

// Without LBS_NOINTEGRALHEIGHT Windows shortens the box to whole items.
void ListFitHeight(HWND h, ListState &l) {
  DWORD style = StyleOf(h);
  if (style & (LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWVARIABLE)) return;
  RECT c, w;
  GetClientRect(h, &c);
  GetWindowRect(h, &w);
  int height = c.bottom - c.top, rest = l.itemHeight ? height % l.itemHeight : 0;
  if (height > l.itemHeight && rest)
    SetWindowPos(h, nullptr, 0, 0, w.right - w.left, w.bottom - w.top - rest,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

int ListInsert(HWND h, ListState &l, int index, LPARAM lp) {
  Item it = l.list.Make(lp);
  l.list.items.insert(l.list.items.begin() + index, it);
  if (index <= l.sel) ++l.sel;
  if (l.list.Count() > 1 && index <= l.caret) ++l.caret;
  InvalidateRect(h, nullptr, TRUE);
  return index;
}

// The owner hears of each item that goes if it draws the items or gave the item data,
// so it can free what the data stands for.
void ListTellDeleted(HWND h, const ListState &l, int index) {
  const Item &it = l.list.items[index];
  if (!(StyleOf(h) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) && !it.data) return;
  HWND owner = GetParent(h);
  if (!owner) return;
  DELETEITEMSTRUCT dis{ODT_LISTBOX, static_cast<UINT>(GetDlgCtrlID(h)), static_cast<UINT>(index), h, it.data};
  SendMessageA(owner, WM_DELETEITEM, static_cast<WPARAM>(GetDlgCtrlID(h)), reinterpret_cast<LPARAM>(&dis));
}

// Empties the list, telling the owner of each item from the last to the first.
void ListClear(HWND h, ListState &l) {
  for (int i = l.list.Count() - 1; i >= 0; --i) {
    ListTellDeleted(h, l, i);
    if (!IsWindow(h) || i >= l.list.Count()) break;
  }
  l.list.items.clear();
  l.sel = -1;
  l.caret = l.top = 0;
}

void ListDelete(HWND h, ListState &l, int index) {
  ListTellDeleted(h, l, index);
  l.list.items.erase(l.list.items.begin() + index);
  if (index == l.sel)
    l.sel = -1;
  else if (index < l.sel)
    --l.sel;
  if (index < l.caret) --l.caret;
  l.caret = std::max(0, std::min(l.caret, l.list.Count() - 1));
  l.top = std::max(0, std::min(l.top, MaxTop(h, l)));
  InvalidateRect(h, nullptr, TRUE);
}

int ListItemAt(HWND h, const ListState &l, LPARAM lp) {
  if (!l.list.Count()) return -1;
  (void)h;
  int y = GET_Y_LPARAM(lp);
  int index = l.top + (y < 0 ? -1 : y / std::max(1, l.itemHeight));
  if (index < 0) return 0;
  return index >= l.list.Count() ? -1 : index;
}

// Selects an item (or none with -1); true when the selection changed.
bool ListSelect(HWND h, ListState &l, int index) {
  l.caret = index < 0 ? l.caret : index;
  if (index == l.sel) return false;
  l.sel = index;
  ListShow(h, l, index);
  InvalidateRect(h, nullptr, TRUE);
  return true;
}

void ListButtonUp(HWND h) {
  ListState *l = StateOf<ListState>(h);
  if (!l->captured) return;
  l->captured = false;
  if (GetCapture() == h) ReleaseCapture();
  if ((l = StateOf<ListState>(h)) && l->list.Count()) ListNotify(h, LBN_SELCHANGE);
}

void ListKeyDown(HWND h, WPARAM vk) {
  ListState *l = StateOf<ListState>(h);
  int n = l->list.Count(), caret = -1, page = PageSize(h, *l);
  switch (vk) {
    case VK_UP:
      caret = l->caret - 1;
      break;
    case VK_DOWN:
      caret = l->caret + 1;
      break;
    case VK_PRIOR:
      caret = l->caret - page + 1;
      break;
    case VK_NEXT:
      caret = l->caret + page - 1;
      break;
    case VK_HOME:
      caret = 0;
      break;
    case VK_END:
      caret = n - 1;
      break;
    default:
      return;
  }
  if (!n) return;
  caret = std::max(0, std::min(caret, n - 1));
  ListSelect(h, *l, caret);
  ListNotify(h, LBN_SELCHANGE);
}

LRESULT CALLBACK ListBoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  ListState *l = StateOf<ListState>(h);
  if (!l && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
  switch (msg) {
    case WM_NCCREATE: {
      auto *st = new ListState;
      DWORD style = StyleOf(h);
      st->list.sorted = (style & LBS_SORT) != 0;
      st->list.strings = !(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) || (style & LBS_HASSTRINGS);
      SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(st));
      return DefWindowProcA(h, msg, wp, lp);
    }
    case WM_CREATE:
      if (StyleOf(h) & LBS_OWNERDRAWFIXED) {
        // The owner tells the height of its items.
        MEASUREITEMSTRUCT mis{ODT_LISTBOX, static_cast<UINT>(GetDlgCtrlID(h)), static_cast<UINT>(-1),
                              0,           static_cast<UINT>(l->itemHeight),   0};
        if (HWND parent = GetParent(h))
          SendMessageA(parent, WM_MEASUREITEM, static_cast<WPARAM>(GetDlgCtrlID(h)),
                       reinterpret_cast<LPARAM>(&mis));
        if ((l = StateOf<ListState>(h)))
          l->itemHeight = mis.itemHeight ? static_cast<int>(mis.itemHeight) : 1;
      }
      return 0;
    case WM_NCDESTROY:
      ListClear(h, *l);
      SetWindowLongPtrA(h, 0, 0);
      delete l;
      return DefWindowProcA(h, msg, wp, lp);
    case WM_SIZE:
      ListFitHeight(h, *l);
      if ((l = StateOf<ListState>(h))) l->top = std::max(0, std::min(l->top, MaxTop(h, *l)));
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFONT:
      l->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(l->font);
    // Focus is reported with or without LBS_NOTIFY.
    case WM_SETFOCUS:
      Notify(h, LBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      ListButtonUp(h);
      if (IsWindow(h)) Notify(h, LBN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN: {
      if (GetFocus() != h) SetFocus(h);
      if (!(l = StateOf<ListState>(h))) return 0;
      int index = ListItemAt(h, *l, lp);
      if (index < 0) return 0;
      l->captured = true;
      SetCapture(h);
      // The release tells the owner, once per click, as Windows does.
      ListSelect(h, *l, index);
      return 0;
    }
    case WM_LBUTTONUP:
      ListButtonUp(h);
      return 0;
    case WM_LBUTTONDBLCLK:
      ListNotify(h, LBN_DBLCLK);
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lp) != h) l->captured = false;
      return 0;
    case WM_KEYDOWN:
      ListKeyDown(h, wp);
      return 0;
    case WM_CHAR: {
      // Typing a character selects the next item that starts with it.
      if (!l->list.strings) return 0;
      char s[2] = {static_cast<char>(wp), 0};
      int found = l->list.Find(l->caret, reinterpret_cast<LPARAM>(s), false);
      if (found != LB_ERR) {
        ListSelect(h, *l, found);
        if (IsWindow(h) && l->list.Count()) ListNotify(h, LBN_SELCHANGE);
      }
      return 0;
    }
    case LB_ADDSTRING: {
      int index = l->list.sorted && l->list.strings ? l->list.SortedPos(TextArg(lp)) : l->list.Count();
      return ListInsert(h, *l, index, lp);
    }
    case LB_INSERTSTRING: {
      INT_PTR index = static_cast<INT_PTR>(static_cast<int>(wp));
      if (index == -1) index = l->list.Count();
      if (index < 0 || index > l->list.Count()) return LB_ERR;
      return ListInsert(h, *l, static_cast<int>(index), lp);
    }
    case LB_DELETESTRING:
      if (!l->list.Valid(static_cast<int>(wp))) return LB_ERR;
      ListDelete(h, *l, static_cast<int>(wp));
      return l->list.Count();
    case LB_RESETCONTENT:
      ListClear(h, *l);
      InvalidateRect(h, nullptr, TRUE);
      return LB_OKAY;
    case LB_GETCOUNT:
      return l->list.Count();
    case LB_GETTEXT:
      return l->list.Text(static_cast<int>(wp), lp);
    case LB_GETTEXTLEN:
      return l->list.TextLen(static_cast<int>(wp));
    case LB_SETCURSEL: {
      int index = static_cast<int>(wp);
      if (index < -1 || index >= l->list.Count()) return LB_ERR;
      ListSelect(h, *l, index);
      return l->sel;  // -1, that is LB_ERR, after clearing the selection
    }
    case LB_GETCURSEL:
      return l->sel;
    case LB_GETSEL:
      if (!l->list.Valid(static_cast<int>(wp))) return LB_ERR;
      return static_cast<int>(wp) == l->sel ? 1 : 0;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
      return l->list.Find(static_cast<int>(wp), lp, msg == LB_FINDSTRINGEXACT);
    case LB_SELECTSTRING: {
      int found = l->list.Find(static_cast<int>(wp), lp, false);
      if (found == LB_ERR) return LB_ERR;
      ListSelect(h, *l, found);
      return found;
    }
    case LB_SETITEMHEIGHT:
      if (lp > 255 || lp < 0) return LB_ERR;
      l->itemHeight = static_cast<int>(lp);
      ListFitHeight(h, *l);
      InvalidateRect(h, nullptr, TRUE);
      return LB_OKAY;
    case LB_GETITEMHEIGHT:
      return l->itemHeight;
    case LB_SETTOPINDEX:
      // Clamped so that the last page is full.
      ListSetTop(h, *l, static_cast<int>(wp));
      return LB_OKAY;
    case LB_GETTOPINDEX:
      return l->top;
    case LB_SETCARETINDEX:
      if (!l->list.Valid(static_cast<int>(wp))) return LB_ERR;
      l->caret = static_cast<int>(wp);
      ListShow(h, *l, l->caret);
      return LB_OKAY;
    case LB_GETCARETINDEX:
      return l->caret;
    case LB_GETITEMRECT: {
      int index = static_cast<int>(wp);
      if (!lp || (index != 0 && !l->list.Valid(index))) return LB_ERR;
      RECT c;
      GetClientRect(h, &c);
      int y = (index - l->top) * l->itemHeight;
      *reinterpret_cast<RECT *>(lp) = RECT{0, y, c.right, y + l->itemHeight};
      return 1;
    }
    case LB_SETITEMDATA:
      if (!l->list.Valid(static_cast<int>(wp))) return LB_ERR;
      l->list.items[static_cast<int>(wp)].data = static_cast<ULONG_PTR>(lp);
      return TRUE;
    case LB_GETITEMDATA:
      if (!l->list.Valid(static_cast<int>(wp))) return LB_ERR;
      return static_cast<LRESULT>(l->list.items[static_cast<int>(wp)].data);
  }
  return DefWindowProcA(h, msg, wp, lp);
}

// ---- Combo box ------------------------------------------------------------------------

// One window: the list and the text of the edit (or of the selection) live in it.
struct ComboState {
  HFONT font = nullptr;
  ItemList list;
  int sel = -1;
  std::string text;  // the edit's text (CBS_DROPDOWN, CBS_SIMPLE)
  size_t limit = kEditInitialLimit;
  int itemHeight = kDefaultItemHeight;
};

bool ComboHasEdit(HWND h) { return (StyleOf(h) & 3) != CBS_DROPDOWNLIST; }

void ComboSelect(HWND h, ComboState &c, int index) {
  c.sel = index;
  if (ComboHasEdit(h)) c.text = index >= 0 ? c.list.items[index].text : std::string();
  InvalidateRect(h, nullptr, TRUE);
}

void ComboKeyDown(HWND h, WPARAM vk) {
  ComboState *c = StateOf<ComboState>(h);
  int n = c->list.Count(), to;
  if (!n) return;
  switch (vk) {
    case VK_UP:
      to = c->sel < 0 ? 0 : c->sel - 1;
      break;
    case VK_DOWN:
      to = c->sel + 1;
      break;
    case VK_HOME:
      to = 0;
      break;
    case VK_END:
      to = n - 1;
      break;
    default:
      return;
  }
  to = std::max(0, std::min(to, n - 1));
  if (to == c->sel) return;
  ComboSelect(h, *c, to);
  Notify(h, CBN_SELCHANGE);
}

LRESULT CALLBACK ComboBoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  ComboState *c = StateOf<ComboState>(h);
  if (!c && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
  switch (msg) {
    case WM_NCCREATE: {
      auto *st = new ComboState;
      DWORD style = StyleOf(h);
      st->list.sorted = (style & CBS_SORT) != 0;
      st->list.strings = !(style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) || (style & CBS_HASSTRINGS);
      SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(st));
      return TRUE;
    }
    case WM_CREATE: {
      auto *cs = reinterpret_cast<const CREATESTRUCTA *>(lp);
      if (ComboHasEdit(h) && cs && cs->lpszName && reinterpret_cast<uintptr_t>(cs->lpszName) >= 0x10000)
        c->text = cs->lpszName;
      return 0;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrA(h, 0, 0);
      delete c;
      return DefWindowProcA(h, msg, wp, lp);
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFONT:
      c->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(c->font);
    case WM_SETFOCUS:
      Notify(h, CBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      // Leaving a drop-down (open or not) cancels any choice in its list first.
      if ((StyleOf(h) & 3) != CBS_SIMPLE) Notify(h, CBN_SELENDCANCEL);
      if (IsWindow(h)) Notify(h, CBN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN:
      SetFocus(h);
      return 0;
    case WM_KEYDOWN:
      ComboKeyDown(h, wp);
      return 0;
    case WM_SETTEXT:
      // A drop-down list shows only its items: its text cannot be set.
      if (!ComboHasEdit(h)) return CB_ERR;
      c->text = TextArg(lp);
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    case WM_GETTEXT:
      if (ComboHasEdit(h)) return CopyOut(c->text, wp, lp);
      if (c->sel < 0) return CopyOut(std::string(), wp, lp);
      return CopyOut(c->list.items[c->sel].text, wp, lp);
    case WM_GETTEXTLENGTH:
      if (ComboHasEdit(h)) return static_cast<LRESULT>(c->text.size());
      return c->sel < 0 ? 0 : static_cast<LRESULT>(c->list.items[c->sel].text.size());
    case CB_ADDSTRING: {
      int index = c->list.sorted && c->list.strings ? c->list.SortedPos(TextArg(lp)) : c->list.Count();
      c->list.items.insert(c->list.items.begin() + index, c->list.Make(lp));
      if (index <= c->sel) ++c->sel;
      return index;
    }
    case CB_INSERTSTRING: {
      INT_PTR index = static_cast<INT_PTR>(static_cast<int>(wp));
      if (index == -1) index = c->list.Count();
      if (index < 0 || index > c->list.Count()) return CB_ERR;
      c->list.items.insert(c->list.items.begin() + index, c->list.Make(lp));
      if (index <= c->sel) ++c->sel;
      return static_cast<LRESULT>(index);
    }
    case CB_DELETESTRING: {
      int index = static_cast<int>(wp);
      if (!c->list.Valid(index)) return CB_ERR;
      c->list.items.erase(c->list.items.begin() + index);
      if (index == c->sel)
        c->sel = -1;
      else if (index < c->sel)
        --c->sel;
      InvalidateRect(h, nullptr, TRUE);
      return c->list.Count();
    }
    case CB_RESETCONTENT:
      c->list.items.clear();
      c->sel = -1;
      c->text.clear();
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    case CB_GETCOUNT:
      return c->list.Count();
    case CB_GETLBTEXT:
      return c->list.Text(static_cast<int>(wp), lp);
    case CB_GETLBTEXTLEN:
      return c->list.TextLen(static_cast<int>(wp));
    case CB_SETCURSEL: {
      int index = static_cast<int>(wp);
      if (index < -1 || index >= c->list.Count()) return CB_ERR;
      ComboSelect(h, *c, index);
      return index;
    }
    case CB_GETCURSEL:
      return c->sel;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
      return c->list.Find(static_cast<int>(wp), lp, msg == CB_FINDSTRINGEXACT);
    case CB_SELECTSTRING: {
      int found = c->list.Find(static_cast<int>(wp), lp, false);
      if (found == CB_ERR) return CB_ERR;
      ComboSelect(h, *c, found);
      return found;
    }
    case CB_SETITEMDATA:
      if (!c->list.Valid(static_cast<int>(wp))) return CB_ERR;
      c->list.items[static_cast<int>(wp)].data = static_cast<ULONG_PTR>(lp);
      return TRUE;
    case CB_GETITEMDATA:
      if (!c->list.Valid(static_cast<int>(wp))) return CB_ERR;
      return static_cast<LRESULT>(c->list.items[static_cast<int>(wp)].data);
    case CB_LIMITTEXT:
      if (!ComboHasEdit(h)) return FALSE;
      c->limit = wp ? static_cast<size_t>(wp) : 0x7FFFFFFE;
      return TRUE;
    case CB_SETITEMHEIGHT:
      if (lp > 255 || lp < 0) return CB_ERR;
      c->itemHeight = static_cast<int>(lp);
      return CB_OKAY;
    case CB_GETITEMHEIGHT:
      return c->itemHeight;
    case CB_SHOWDROPDOWN:
      return TRUE;
    case CB_GETDROPPEDSTATE:
      return FALSE;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

void Register(const char *name, WNDPROC proc) {
  WNDCLASSA wc{};
  wc.style = 0x0008 /* CS_DBLCLKS */;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = sizeof(LONG_PTR);
  wc.lpszClassName = name;
  RegisterClassA(&wc);
}

}  // namespace

void HostRegisterStandardControls() {
  Register("Edit", EditProc);
  Register("Button", ButtonProc);
  Register("Static", StaticProc);
  Register("ListBox", ListBoxProc);
  Register("ComboBox", ComboBoxProc);
}
