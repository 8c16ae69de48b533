// What the tray icon's clicks and the commands of its menu do.
#include "app/BIOS.h"
#include "app/LogonTask.h"
#include "app/fSetup.h"
#include "platform/logontask.h"

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

// What ShellExecuteA leaves in GetLastError when the user declines the elevation.
constexpr DWORD kErrorCancelled = 1223;
// Left in the temporary folder: schtasks.exe reads it after ShellExecuteA has returned.
const char kTaskDefinitionFile[] = "Horolan-logon-task.xml";

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

void TSetup::RMenuPopup(TObject *) {
  const TLogonTaskState state = QueryLogonTask(LogonTaskName(GetLogonUserName()));
  LogonTask->SetVisible(state != TLogonTaskState::Unavailable);
  LogonTask->SetChecked(state == TLogonTaskState::Registered);
}

void TSetup::LogonTaskExecute(TObject *) {
  const std::string user = GetLogonUserName();
  const std::string name = LogonTaskName(user);
  const TLogonTaskState state = QueryLogonTask(name);
  if (state == TLogonTaskState::Unavailable) {
    Application->MessageBox(
        "この環境ではタスク スケジューラを使えません。ログオン時の起動はシステムの方法で設定してください。",
        "Horolan", MB_OK | MB_ICONINFORMATION);
    return;
  }
  const bool registered = state == TLogonTaskState::Registered;
  const char *question = registered ? "ログオン時に Horolan を管理者として起動するタスクを削除します。\r\n"
                                      "Windows が管理者としての実行を確認します。よろしいですか？"
                                    : "ログオン時に Horolan を管理者として起動するタスクを登録します。\r\n"
                                      "時計の設定に必要な権限で起動するようになります。"
                                      "Windows が管理者としての実行を確認します。よろしいですか？";
  if (Application->MessageBox(question, "確認", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  std::string definition;
  if (!registered) {
    definition = WriteTaskDefinition(kTaskDefinitionFile, LogonTaskDefinition(user, ExecutablePath()));
    if (definition.empty()) {
      Application->MessageBox("タスクの定義を一時フォルダに書けませんでした。", "Horolan",
                              MB_OK | MB_ICONERROR);
      return;
    }
  }
  const std::string parameters = LogonTaskParameters(!registered, name, definition);
  const INT_PTR result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(Handle(), "runas", "schtasks.exe", parameters.c_str(), "", SW_HIDE));
  // 32 and below are failures; a declined elevation was the user's own answer.
  if (result <= 32 && GetLastError() != kErrorCancelled)
    Application->MessageBox(registered ? "タスクを削除できませんでした。" : "タスクを登録できませんでした。",
                            "Horolan", MB_OK | MB_ICONERROR);
}
