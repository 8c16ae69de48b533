// Start-up of the main form: restoring the settings, finding and loading NTP.lst,
// deciding run-once mode, arming the check timer and, on a first start, the wizard.
#include "app/fSetup.h"

#include <exception>
#include <functional>

#include "app/BIOS.h"
#include "app/ServerList.h"
#include "app/StartOptions.h"
#include "app/fSelect.h"
#include "platform/winapi.h"

TSetup *Setup = nullptr;

namespace {

constexpr UINT BootSyncDelayMs = 10000;

// The host layer hands out POSIX paths (they start with '/'); Windows paths take
// backslashes.
bool IsPosixPath(const std::string &path) { return !path.empty() && path[0] == '/'; }

// Whether the path ends in a delimiter. A Windows path is CP932, whose trail bytes can
// be 0x5C, so it is read character by character.
bool EndsWithDelimiter(const std::string &path) {
  if (IsPosixPath(path)) return path.back() == '/';
  bool delimiter = false;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    delimiter = c == '\\' || c == '/';
    if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < path.size()) ++i;
  }
  return delimiter;
}

std::string WithDelimiter(std::string path, const std::string &like) {
  if (path.empty() || !EndsWithDelimiter(path)) path += IsPosixPath(like) ? '/' : '\\';
  return path;
}

// The folder part of a path, with its delimiter.
std::string FolderOf(const std::string &path) {
  size_t cut = std::string::npos;
  const bool posix = IsPosixPath(path);
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == '/' || (!posix && (c == '\\' || c == ':'))) cut = i;
    if (!posix && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < path.size()) ++i;
  }
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool FileExists(const std::string &path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TSetup::~TSetup() {
  if (FSessionHook && Application) Application->UnhookMainWindow(FSessionHook);
  // The wizard is one of the components freed after this body; nobody may reach it then.
  if (SelectForm && SelectForm->Owner() == this) SelectForm = nullptr;
  if (Setup == this) Setup = nullptr;
}

void TSetup::FormCreate(TObject *) {
  SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
  SetTop(0);
  SetLeft(0);
  FLastSync = 0.0;
  FDeferred = false;
  // The session's end reaches the application's window too.
  if (!FSessionHook)
    FSessionHook = Application->HookMainWindow([this](TMessage &Message) {
      SessionEndQuery(Message);
      return false;
    });
  // A step that fails is reported once the rest has run: a bad file must never leave the
  // program without its schedule or a run-once start without its end.
  std::exception_ptr failure;
  auto step = [&failure](const std::function<void()> &run) {
    try {
      run();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  AutoIni->SetSection(GetLogonUserName());
  step([this] { AutoIni->LoadFromIni(); });
  CheckLoadedValues();

  const std::string exePath = ModuleFileName();
  Application->HelpFile = ChangeFileExt(exePath, ".pdf");

  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = 148;
  GetVersionExA(&version);  // a failure leaves major 0: the list beside the executable
  ApplyPriority();

  FListPath = FolderOf(exePath) + "NTP.lst";
  if (version.dwMajorVersion > 5) {
    char folder[261] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_APPDATA, FALSE);
    const std::string appData = folder;
    FListPath = WithDelimiter(WithDelimiter(appData, appData) + AutoIni->MySaveFolder(), appData) + "NTP.lst";
  }
  // A list that cannot be written leaves the built-in names in use.
  step([this] {
    if (!FileExists(FListPath)) WriteServerListFile(FListPath, *ServerList->Items());
  });
  step([this] {
    if (FileExists(FListPath)) ReadServerListFile(FListPath, *ServerList->Items());
  });

  FRunOnce =
      DecideRunOnce(exePath, CommandLineParameters(), ReadIniBool(AutoIni->Section(), "RunOnce", false));
  FExitCode = FRunOnce ? 1 : 0;  // until the clock is set

  CheckTimer->SetInterval(static_cast<UINT>(UpdateIntervalMs()));
  if (BootUpdateTime->Checked()) CheckTimer->SetInterval(BootSyncDelayMs);
  CheckTimer->SetEnabled(true);

  if (UseNTPServer->Text().empty()) {
    ShowBalloon("設定警告", "NTPサーバーが指定されていません。", biWarning);
    SelectForm = new TSelectForm(this);
    SelectForm->AfterConstruction();
    SelectForm->SetVisible(true);
  }
  if (failure) std::rethrow_exception(failure);
}

void TSetup::WndProc(TMessage &Message) {
  SessionEndQuery(Message);
  if (Message.Msg == WM_POWERBROADCAST) {
    WMPowerBroadcast(Message);
    return;
  }
  TForm::WndProc(Message);
}
