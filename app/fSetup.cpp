// Start-up of the main form: restoring the settings, finding and loading NTP.lst,
// deciding run-once mode, arming the check timer and, on a first start, the wizard.
#include "app/fSetup.h"

#include "app/BIOS.h"
#include "app/ServerList.h"
#include "app/StartOptions.h"
#include "app/fSelect.h"
#include "platform/winapi.h"

TSetup *Setup = nullptr;

namespace {

constexpr UINT BootSyncDelayMs = 10000;

std::string WithBackslash(std::string path) {
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  return path;
}

std::string FolderOf(const std::string &path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool FileExists(const std::string &path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TSetup::~TSetup() {
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
  AutoIni->SetSection(GetLogonUserName());
  AutoIni->LoadFromIni();

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
    FListPath = WithBackslash(WithBackslash(folder) + AutoIni->MySaveFolder()) + "NTP.lst";
  }
  if (!FileExists(FListPath)) WriteServerListFile(FListPath, *ServerList->Items());
  ReadServerListFile(FListPath, *ServerList->Items());

  FRunOnce =
      DecideRunOnce(exePath, CommandLineParameters(), ReadIniBool(AutoIni->Section(), "RunOnce", false));

  CheckTimer->SetInterval(static_cast<UINT>(UpdateIntervalMs()));
  if (BootUpdateTime->Checked()) CheckTimer->SetInterval(BootSyncDelayMs);
  CheckTimer->SetEnabled(true);

  if (UseNTPServer->Text().empty()) {
    TrayIcon->DisplayBalloon("設定警告", "NTPサーバーが指定されていません。", biWarning, 10);
    SelectForm = new TSelectForm(this);
    SelectForm->AfterConstruction();
    SelectForm->SetVisible(true);
  }
}

void TSetup::WndProc(TMessage &Message) {
  if (Message.Msg == WM_POWERBROADCAST) {
    WMPowerBroadcast(Message);
    return;
  }
  TForm::WndProc(Message);
}
