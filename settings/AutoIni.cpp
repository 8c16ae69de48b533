// The automatic settings store: one walk over the owner form's controls, run in either
// direction, over the INI store. A save goes out as one whole-file replacement.
#include "settings/AutoIni.h"

#include <cstdint>
#include <vector>

#include "forms/ExtCtrls.h"
#include "forms/Forms.h"
#include "forms/StdCtrls.h"
#include "platform/winapi.h"
#include "settings/IniFile.h"

namespace {

// ---- Paths ---------------------------------------------------------------------------
// The system's own paths say which separator it takes: the host layer hands out POSIX
// paths (they start with '/'), Windows drive or UNC paths with backslashes. Every path
// this file builds goes through these helpers, so that choice is made here only.

bool IsPosixPath(const std::string &systemPath) { return !systemPath.empty() && systemPath[0] == '/'; }

char PathDelimiter(const std::string &systemPath) { return IsPosixPath(systemPath) ? '/' : '\\'; }

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Where the file-name part starts, and whether the path ends in a delimiter. A Windows
// path is CP932, whose second bytes can be 0x5C ("表"), so it is read character by
// character; a POSIX path only ever separates with '/'.
size_t NameStart(const std::string &path, bool posix) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (posix) {
      if (c == '/') start = i + 1;
    } else if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      start = i + 1;
    }
  }
  return start;
}

std::string FileNamePart(const std::string &path, bool posix) { return path.substr(NameStart(path, posix)); }

// The folder with its trailing delimiter.
std::string FolderPart(const std::string &path, bool posix) { return path.substr(0, NameStart(path, posix)); }

bool EndsWithDelimiter(const std::string &path, bool posix) {
  return !path.empty() && NameStart(path, posix) == path.size();
}

std::string ChangeExt(const std::string &path, bool posix, const std::string &ext) {
  const size_t start = NameStart(path, posix);
  const size_t dot = path.rfind('.');  // 0x2E is never the second byte of a CP932 character
  if (dot == std::string::npos || dot < start) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string ExecutablePath() {
  // A path longer than the buffer comes back cut: grow.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::vector<char> buf(size + 1, '\0');
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), size);
    if (n == 0) return std::string();
    if (n < size) return std::string(buf.data(), n);
  }
  return std::string();
}

std::string AppDataFolder() {
  char buf[MAX_PATH + 1] = {};
  HWND owner = Application ? Application->Handle() : nullptr;
  if (SHGetSpecialFolderPathA(owner, buf, CSIDL_APPDATA, FALSE)) return buf;
  // A fresh account on the host may have no config folder yet. Making it beats building
  // a path from nothing, which would put the file at the root of the drive.
  if (SHGetSpecialFolderPathA(owner, buf, CSIDL_APPDATA, TRUE)) return buf;
  throw EAutoIniError("The application data folder is not available");
}

bool IsNewerSystem() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwMajorVersion > 5;
}

// ---- Values --------------------------------------------------------------------------

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A 32-bit integer: decimal with an optional sign, or "0x"/"0X" and hexadecimal digits
// (up to FFFFFFFF, which is -1). Anything else, trailing characters included, is none.
bool ParseStoredInteger(const std::string &s, long &value) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    uint64_t v = 0;
    for (size_t i = 2; i < s.size(); ++i) {
      const int d = HexDigit(s[i]);
      if (d < 0) return false;
      v = v * 16 + static_cast<unsigned>(d);
      if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
  }
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) ++i;
  if (i == s.size()) return false;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > limit) return false;
  }
  value = static_cast<long>(negative ? -v : v);
  return true;
}

// One value in either direction: saving writes it, loading replaces it with the stored
// one, the value held serving as the default.
class Transfer {
 public:
  Transfer(IniFile &ini, const std::string &section, bool saving)
      : FIni(ini), FSection(section), FSaving(saving) {}

  void String(const std::string &key, std::string &value) {
    if (FSaving)
      FIni.WriteString(FSection, key, value);
    else
      value = FIni.ReadString(FSection, key, value);
  }
  void Integer(const std::string &key, long &value) {
    if (FSaving) {
      FIni.WriteInteger(FSection, key, value);
    } else {
      long stored;
      if (ParseStoredInteger(FIni.ReadString(FSection, key, std::string()), stored)) value = stored;
    }
  }
  void Boolean(const std::string &key, bool &value) {
    long number = value ? 1 : 0;
    Integer(key, number);
    value = number != 0;
  }

 private:
  IniFile &FIni;
  const std::string &FSection;
  bool FSaving;
};

// ---- Walk rules ----------------------------------------------------------------------

enum class Rule {
  kNone,
  kEdit,
  kCheckBox,
  kRadioButton,
  kRadioGroup,
  kListBox,
  kComboBox,
  kColor,
  kContainer
};

// The first rule whose class matches and whose kind is selected; a control whose kind is
// left out is tried against the later rules.
Rule RuleFor(TControl *c, TCheckControls kinds) {
  if (dynamic_cast<TCustomEdit *>(c) && kinds.Contains(ccEdit)) return Rule::kEdit;
  if (dynamic_cast<TCheckBox *>(c) && kinds.Contains(ccCheckBox)) return Rule::kCheckBox;
  if (dynamic_cast<TRadioButton *>(c) && kinds.Contains(ccRadioButton)) return Rule::kRadioButton;
  if (dynamic_cast<TCustomRadioGroup *>(c) && kinds.Contains(ccRadioGroup)) return Rule::kRadioGroup;
  if (dynamic_cast<TCustomListBox *>(c) && kinds.Contains(ccListBox)) return Rule::kListBox;
  if (dynamic_cast<TComboBox *>(c) && kinds.Contains(ccComboBox)) return Rule::kComboBox;
  if (dynamic_cast<TShape *>(c) && kinds.Contains(ccColor)) return Rule::kColor;
  auto *w = dynamic_cast<TWinControl *>(c);
  if (w && w->ControlCount() > 0) return Rule::kContainer;
  return Rule::kNone;
}

void ShowFailure(const char *text) {
  MessageBoxA(nullptr, text, Application ? Application->Title().c_str() : "", MB_OK);
}

}  // namespace

TAutoIni::TAutoIni(TComponent *AOwner) : TComponent(AOwner), FNewerSystem(IsNewerSystem()) {}

std::string TAutoIni::ResolveIniPath() {
  const std::string exe = ExecutablePath();
  const bool posix = IsPosixPath(exe);
  const char delimiter = PathDelimiter(exe);
  const std::string exeName = FileNamePart(exe, posix);
  if (FSection.empty()) FSection = exeName;

  std::string path =
      FAIniFileName.empty() ? ChangeExt(exe, posix, ".ini") : FolderPart(exe, posix) + FAIniFileName;
  if (FMakeIniWinDir) path = FileNamePart(path, posix);
  if (FMakeIniAppDataDir || FNewerSystem) {
    std::string folder = AppDataFolder();
    if (!EndsWithDelimiter(folder, posix)) folder += delimiter;
    folder += FMySaveFolder;
    // One level only; a failure shows when the first write into it fails.
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
      CreateDirectoryA(folder.c_str(), nullptr);
    if (!EndsWithDelimiter(folder, posix)) folder += delimiter;
    path = folder + ChangeExt(exeName, posix, ".ini");
  }
  return path;
}

void TAutoIni::SaveToIni() {
  try {
    IniFile ini(ResolveIniPath());
    ini.BeginUpdate();
    try {
      Exchange(ini, true);
    } catch (...) {
      ini.CancelUpdate();  // otherwise the store would save the part written so far
      throw;
    }
    ini.EndUpdate();
  } catch (...) {
    ShowFailure("Can not save to IniFile");
    throw;
  }
}

void TAutoIni::LoadFromIni() {
  try {
    IniFile ini(ResolveIniPath());
    Exchange(ini, false);
  } catch (...) {
    ShowFailure("Can not load from IniFile");
    throw;
  }
}

void TAutoIni::Exchange(IniFile &Ini, bool Saving) {
  if (FCheckWinState) ExchangeFormPosition(Ini, Saving);
  if (auto *root = dynamic_cast<TWinControl *>(Owner())) ExchangeChildren(root, Ini, Saving);
}

void TAutoIni::ExchangeFormPosition(IniFile &Ini, bool Saving) {
  auto *form = dynamic_cast<TCustomForm *>(Owner());
  if (!form) throw EAutoIniError("The owner of " + Name() + " is not a form");
  Transfer t(Ini, FSection, Saving);
  const std::string &name = form->Name();
  // A missing position means the top-left corner; a missing size keeps the size.
  long top = Saving ? form->Top() : 0;
  t.Integer(name + "Top", top);
  if (!Saving) form->SetTop(static_cast<int>(top));
  long left = Saving ? form->Left() : 0;
  t.Integer(name + "Left", left);
  if (!Saving) form->SetLeft(static_cast<int>(left));
  if (!FCheckWinSize) return;
  long height = form->Height();
  t.Integer(name + "height", height);
  if (!Saving) form->SetHeight(static_cast<int>(height));
  long width = form->Width();
  t.Integer(name + "width", width);
  if (!Saving) form->SetWidth(static_cast<int>(width));
}

void TAutoIni::ExchangeChildren(TWinControl *Parent, IniFile &Ini, bool Saving) {
  for (int i = 0; i < Parent->ControlCount(); ++i) ExchangeControl(Parent->Controls(i), Ini, Saving);
}

void TAutoIni::ExchangeControl(TControl *Control, IniFile &Ini, bool Saving) {
  const Rule rule = RuleFor(Control, FCheckControls);
  if (rule == Rule::kNone) return;
  if (rule == Rule::kContainer) {
    ExchangeChildren(static_cast<TWinControl *>(Control), Ini, Saving);
    return;
  }
  if (FCheckTag && Control->Tag() != FEnableTag) return;
  // A control without a name has no key of its own: all of them would share "".
  const std::string &key = Control->Name();
  if (key.empty()) return;

  Transfer t(Ini, FSection, Saving);
  switch (rule) {
    case Rule::kEdit: {
      std::string text = Control->Text();
      t.String(key, text);
      if (!Saving) Control->SetText(text);
      break;
    }
    case Rule::kCheckBox: {
      auto *box = static_cast<TCheckBox *>(Control);
      bool checked = box->Checked();
      t.Boolean(key, checked);
      if (!Saving) box->SetChecked(checked);
      break;
    }
    case Rule::kRadioButton: {
      auto *button = static_cast<TRadioButton *>(Control);
      bool checked = button->Checked();
      t.Boolean(key, checked);
      if (!Saving) button->SetChecked(checked);
      break;
    }
    case Rule::kRadioGroup: {
      auto *group = static_cast<TCustomRadioGroup *>(Control);
      long index = group->ItemIndex();
      t.Integer(key, index);
      if (!Saving) group->SetItemIndex(static_cast<int>(index));
      break;
    }
    case Rule::kListBox: {
      auto *list = static_cast<TCustomListBox *>(Control);
      long index = list->ItemIndex();
      t.Integer(key, index);
      if (!Saving) list->SetItemIndex(static_cast<int>(index));
      break;
    }
    case Rule::kComboBox: {
      auto *combo = static_cast<TComboBox *>(Control);
      long index = combo->ItemIndex();
      t.Integer(key, index);
      if (!Saving) combo->SetItemIndex(static_cast<int>(index));
      break;
    }
    case Rule::kColor: {
      TBrush *brush = static_cast<TShape *>(Control)->Brush();
      long color = brush->Color();
      t.Integer(key, color);
      if (!Saving) brush->SetColor(static_cast<TColor>(color));
      break;
    }
    case Rule::kNone:
    case Rule::kContainer:
      break;
  }
}
