// What the tray icon's clicks and the commands of its menu do.
#include "app/BIOS.h"
#include "app/fSetup.h"

namespace {

const char kListingsPage[] = "https://bangumi.org/";
// Placeholder on a reserved name until the maker has a page of its own.
const char kMakerPage[] = "https://fernwick.example/horolan/";
const char kVersionNotice[] = "Horolan - NTPサーバーでパソコンの時計を合わせます";

std::string ExecutablePath() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n <= MAX_PATH ? n : 0);
}

void OpenWithShell(HWND Owner, const std::string &Target) {
  // Nothing is reported when the shell cannot open it.
  ShellExecuteA(Owner, "OPEN", Target.c_str(), "", "", SW_SHOW);
}

}  // namespace

void TSetup::TrayIconClick(TObject *) {
  switch (ClickModeSelect->ItemIndex()) {
    case 0:
      SetForegroundWindow(Handle());
      OpenWithShell(Handle(), kListingsPage);
      break;
    case 1:
      StartSync();
      break;
    case 2:
      SetForegroundWindow(Handle());
      OpenWithShell(Handle(), CustomURI->Text());
      break;
    default:
      break;
  }
}

void TSetup::TrayIconMouseDown(TObject *, TMouseButton Button, TShiftState, int, int) {
  if (Button == mbMiddle) Show();
}

void TSetup::AppConnectNTPExecute(TObject *) { StartSync(); }

void TSetup::AppSetupExecute(TObject *) { Show(); }

void TSetup::HelpOnHelp1Execute(TObject *) { OpenWithShell(Handle(), Application->HelpFile); }

void TSetup::OpenWebExecute(TObject *) { OpenWithShell(Handle(), kMakerPage); }

void TSetup::VerInfoExecute(TObject *) {
  const std::string text = std::string(kVersionNotice) + "\r\n\r\n" + GetVersionInfoText(ExecutablePath(), 2);
  Application->MessageBox(text, "情報", MB_OK | MB_ICONINFORMATION);
}

void TSetup::ExitAppExecute(TObject *) {
  // Hidden first, so the close query saves the settings and lets the program end.
  Hide();
  Close();
}
