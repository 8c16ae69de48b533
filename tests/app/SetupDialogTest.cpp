// The settings dialog as designed and as handled: geometry, texts, ranges and defaults;
// OK, Cancel and the close box against the INI file and NTP.lst; the server list's
// clicks; the tray's clicks and menu commands.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/BIOS.h"
#include "app/fSetup.h"
#include "settings/IniFile.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using apptest::SetupFixture;

// NTP.lst of Vista and later, where FormCreate will look for it.
std::string ListPathBeforeStart() {
  char appData[MAX_PATH + 1] = {};
  SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE);
  std::string d = appData;
  const char sep = !d.empty() && d[0] == '/' ? '/' : '\\';
  if (d.empty() || d.back() != sep) d += sep;
  CreateDirectoryA((d + "Fernwick").c_str(), nullptr);
  return d + "Fernwick" + sep + "NTP.lst";
}

class SetupDialogTest : public SetupFixture {
 protected:
  void SetUp() override {
    SetupFixture::SetUp();
    FList = ListPathBeforeStart();
    std::error_code ignored;
    fs::remove_all(FList + ".tmp", ignored);
  }
  void TearDown() override {
    SetupFixture::TearDown();
    std::error_code ignored;
    fs::remove_all(FList + ".tmp", ignored);
  }

  // Starts the form with this NTP.lst (LF-only line ends, so a rewrite shows).
  TSetup *Start(const std::string &listBytes, const std::string &server = "127.0.0.9") {
    EXPECT_TRUE(testsupport::WriteAll(FList, listBytes));
    TSetup *s = MakeSetup(server);
    EXPECT_EQ(s->ListPath(), FList);
    return s;
  }
  std::string SettingsIni() const {
    const std::string ini = FList.substr(0, FList.size() - 7);
    const std::string own = testsupport::OwnPath();
    const std::string name = own.substr(own.find_last_of("\\/") + 1);
    return ini + ChangeFileExt(name, ".ini");
  }
  std::string IniValue(const std::string &key) {
    return IniFile(SettingsIni()).ReadString(GetLogonUserName(), key, "<none>");
  }
  static std::vector<std::string> Entries(TSetup *s) {
    std::vector<std::string> out;
    for (int i = 0; i < s->ServerList->Count(); ++i) out.push_back(s->ServerList->Items()->Get(i));
    return out;
  }
  // A click on the button's window, so that a failure goes where a user's would.
  static void ClickOK(TSetup *s) {
    SendMessageA(s->Button1->Handle(), BM_CLICK, 0, 0);
    Application->ProcessMessages();
  }

  std::string FList;
};

TEST_F(SetupDialogTest, DesignedControlsGeometryTextsRangesAndDefaults) {
  // The design alone, before FormCreate moves or loads anything.
  TSetup *s = new TSetup(nullptr);
  s->OnCreate = nullptr;
  s->AfterConstruction();

  EXPECT_EQ(s->Name(), "Setup");
  EXPECT_EQ(s->Caption(), "Setup");
  EXPECT_EQ(s->BorderStyle(), bsDialog);
  EXPECT_EQ(s->ClientWidth(), 400);
  EXPECT_EQ(s->ClientHeight(), 264);
  EXPECT_FALSE(s->Visible());
  EXPECT_EQ(s->Font()->Name(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(s->Font()->Height(), -12);
  EXPECT_EQ(s->Font()->Charset(), SHIFTJIS_CHARSET);
  const LONG style = GetWindowLongA(s->Handle(), GWL_STYLE);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0) << std::hex << style;
  RECT client{};
  GetClientRect(s->Handle(), &client);
  EXPECT_EQ(client.right - client.left, 400);
  EXPECT_EQ(client.bottom - client.top, 264);

  const struct {
    TWinControl *control;
    const char *name;
    int left, top, width, height, tab;
    const char *text;
  } rows[] = {
      {s->UseNTPServer, "UseNTPServer", 8, 24, 145, 20, 0, ""},
      {s->OffsetMin, "OffsetMin", 160, 24, 57, 21, 1, "0"},
      {s->OffsetSec, "OffsetSec", 240, 24, 57, 21, 2, "0"},
      {s->ServerList, "ServerList", 8, 72, 145, 88, 3, ""},
      {s->ClickModeSelect, "ClickModeSelect", 160, 56, 233, 81, 4, "クリック時の動作(&C)"},
      {s->UpdateTime, "UpdateTime", 320, 24, 57, 21, 5, "30"},
      {s->BootUpdateTime, "BootUpdateTime", 168, 176, 225, 17, 6, "起動時に時刻を更新する"},
      {s->CheckTiming, "CheckTiming", 167, 200, 225, 17, 7, "0分と30分近辺での同期を行なわない"},
      {s->Button1, "Button1", 256, 232, 64, 20, 8, "OK"},
      {s->Button2, "Button2", 328, 232, 64, 20, 9, "キャンセル"},
      {s->CustomURI, "CustomURI", 160, 144, 233, 20, 10, ""},
      {s->PRIORITY, "PRIORITY", 8, 168, 145, 65, 11, "基本優先度"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.control->Name(), r.name);
    EXPECT_EQ(r.control->Parent(), s);
    EXPECT_EQ(r.control->Left(), r.left);
    EXPECT_EQ(r.control->Top(), r.top);
    EXPECT_EQ(r.control->Width(), r.width);
    if (dynamic_cast<TSpinEdit *>(r.control))
      EXPECT_GE(r.control->Height(), r.height);  // a spin edit grows to show a line of its font
    else
      EXPECT_EQ(r.control->Height(), r.height);
    EXPECT_EQ(r.control->TabOrder(), r.tab);
    EXPECT_EQ(r.control->Text(), r.text);
  }

  const struct {
    TAlignedSpinEdit *spin;
    int32_t min, max;
    int maxLength;
  } spins[] = {{s->OffsetMin, 0, 1439, 4}, {s->OffsetSec, 0, 59, 2}, {s->UpdateTime, 10, 1440, 4}};
  for (const auto &sp : spins) {
    SCOPED_TRACE(sp.spin->Name());
    EXPECT_EQ(sp.spin->MinValue(), sp.min);
    EXPECT_EQ(sp.spin->MaxValue(), sp.max);
    EXPECT_EQ(sp.spin->MaxLength(), sp.maxLength);
  }
  EXPECT_TRUE(s->BootUpdateTime->Checked());
  EXPECT_FALSE(s->CheckTiming->Checked());
  EXPECT_TRUE(s->Button1->Default());
  EXPECT_TRUE(s->Button2->Cancel);
  EXPECT_EQ(s->ClickModeSelect->Items()->Text(),
            "infoseekテレビ番組表\r\nNTPと同期\r\n下のアドレスをブラウザで表示\r\n");
  EXPECT_EQ(s->ClickModeSelect->ItemIndex(), 0);
  EXPECT_EQ(s->PRIORITY->Items()->Text(), "高\r\n通常\r\n低\r\n");
  EXPECT_EQ(s->PRIORITY->ItemIndex(), 1);

  // Whole lines of 12 pixels in the designed height.
  EXPECT_EQ(s->ServerList->ItemHeight(), 12);
  EXPECT_EQ(SendMessageA(s->ServerList->Handle(), LB_GETITEMHEIGHT, 0, 0), 12);
  EXPECT_EQ(s->ServerList->Count(), 23);
  EXPECT_EQ(s->ServerList->ItemIndex(), -1);

  const struct {
    TLabel *label;
    const char *caption;
    int left, top;
    TWinControl *focus;
  } labels[] = {
      {s->Label1, "NTPサーバー(&N)", 8, 8, s->ServerList},
      {s->Label2, "NTPサーバーリスト(&S)", 8, 56, s->ServerList},
      {s->Label3, "分調整(&M)", 160, 8, s->OffsetMin},
      {s->Label4, "分", 224, 28, nullptr},
      {s->Label5, "秒調整(&S)", 240, 8, s->OffsetSec},
      {s->Label6, "秒", 304, 28, nullptr},
      {s->Label7, "更新間隔(&I)", 320, 8, nullptr},
      {s->Label8, "分", 384, 28, nullptr},
  };
  for (const auto &l : labels) {
    SCOPED_TRACE(l.caption);
    EXPECT_EQ(l.label->Caption(), l.caption);
    EXPECT_EQ(l.label->Left(), l.left);
    EXPECT_EQ(l.label->Top(), l.top);
    EXPECT_EQ(l.label->FocusControl(), l.focus);
    EXPECT_EQ(l.label->Parent(), s);
  }

  // Components as the controller expects them before it starts.
  EXPECT_FALSE(s->CheckTimer->Enabled());
  EXPECT_EQ(s->CheckTimer->Interval(), 60000u);
  EXPECT_TRUE(s->AutoIni->CheckWinState());
  EXPECT_FALSE(s->AutoIni->CheckWinSize());
  EXPECT_EQ(s->AutoIni->MySaveFolder(), "Fernwick");
  EXPECT_EQ(s->TrayIcon->Hint(), "Horolan");
  EXPECT_TRUE(s->TrayIcon->IconVisible());
  EXPECT_FALSE(s->TrayIcon->Icon()->Empty());
  EXPECT_EQ(s->TrayIcon->PopupMenu(), s->RMenu);
  EXPECT_EQ(s->ImageList1->Count(), 5);
  delete s;
}

TEST_F(SetupDialogTest, FirstSaveWritesTheKeysInTheStoresWalkOrder) {
  TSetup *s = Start("a.example\n");
  std::remove(SettingsIni().c_str());
  s->AutoIni->SaveToIni();
  const std::string text = testsupport::ReadAll(SettingsIni());
  size_t at = 0;
  for (const char *key :
       {"SetupTop=", "SetupLeft=", "ServerList=", "OffsetSec=", "OffsetMin=", "UpdateTime=",
        "BootUpdateTime=", "UseNTPServer=", "CheckTiming=", "ClickModeSelect=", "CustomURI=", "PRIORITY="}) {
    const size_t next = text.find(std::string("\r\n") + key, at);
    ASSERT_NE(next, std::string::npos) << key << " after " << at << " in\n" << text;
    at = next + 1;
  }
  EXPECT_EQ(text.find("Button"), std::string::npos);
}

TEST_F(SetupDialogTest, OkAddsOnlyServersTheListLacks) {
  const std::string lf = "a.example\nB.example\n";
  const struct {
    const char *what;
    std::string list;
    const char *server;
    std::vector<std::string> entries;
    std::string file;  // what NTP.lst holds afterwards
  } cases[] = {
      {"known, other case", lf, "b.EXAMPLE", {"a.example", "B.example"}, lf},
      {"new",
       lf,
       "new.example",
       {"new.example", "a.example", "B.example"},
       "new.example\r\na.example\r\nB.example\r\n"},
      {"empty", lf, "", {"a.example", "B.example"}, "a.example\r\nB.example\r\n"},
      {"empty, list has an empty entry", "a.example\n\nb\n", "", {"a.example", "", "b"}, "a.example\n\nb\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    TSetup *s = Start(c.list, c.server);
    s->ServerList->SetItemIndex(-1);
    s->Button1Click(s->Button1);
    EXPECT_EQ(Entries(s), c.entries);
    EXPECT_EQ(testsupport::ReadAll(FList), c.file);
    EXPECT_EQ(IniValue("UseNTPServer"), c.server);
    delete s;
    ::Setup = nullptr;
  }
}

TEST_F(SetupDialogTest, OkClampsTypedValuesBeforeSavingAndUsingThem) {
  TSetup *s = Start("a.example\n");
  s->OffsetMin->SetText("5000");
  s->OffsetSec->SetText("99");
  s->UpdateTime->SetText("5");
  s->Button1Click(s->Button1);
  EXPECT_EQ(s->OffsetMin->Text(), "1439");
  EXPECT_EQ(s->OffsetSec->Text(), "59");
  EXPECT_EQ(s->UpdateTime->Text(), "10");
  EXPECT_EQ(IniValue("OffsetMin"), "1439");
  EXPECT_EQ(IniValue("OffsetSec"), "59");
  EXPECT_EQ(IniValue("UpdateTime"), "10");
  EXPECT_EQ(s->CheckTimer->Interval(), 600000u);

  // In range, the text stays as typed, as leaving the field leaves it.
  s->UpdateTime->SetText("0045");
  s->Button1Click(s->Button1);
  EXPECT_EQ(IniValue("UpdateTime"), "0045");
  EXPECT_EQ(s->CheckTimer->Interval(), 45u * 60000u);
}

TEST_F(SetupDialogTest, FailedListWriteIsReportedAndLeavesTheOldFile) {
  TSetup *s = Start("a.example\n");
  const UINT interval = s->CheckTimer->Interval();
  fs::create_directory(FList + ".tmp");
  s->UseNTPServer->SetText("new.example");
  s->UpdateTime->SetText("60");
  ClickOK(s);
  EXPECT_EQ(testsupport::ReadAll(FList), "a.example\n");
  EXPECT_EQ(Entries(s), (std::vector<std::string>{"new.example", "a.example"}));
  EXPECT_EQ(IniValue("UpdateTime"), "60");  // saved before the list
  EXPECT_EQ(s->CheckTimer->Interval(), interval);
  const auto &boxes = testhooks::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(FList), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].caption, "Horolan");
  EXPECT_NE(boxes[0].type & MB_ICONERROR, 0u);
}

TEST_F(SetupDialogTest, CancelRestoresEveryControlFromTheLastSave) {
  TSetup *s = Start("a.example\n", "saved.example");
  s->OffsetMin->SetText("12");
  s->CustomURI->SetText("https://saved.example/");
  s->Button1Click(s->Button1);

  s->UseNTPServer->SetText("edited.example");
  s->OffsetMin->SetText("99");
  s->OffsetSec->SetText("9");
  s->UpdateTime->SetText("99");
  s->BootUpdateTime->SetChecked(!s->BootUpdateTime->Checked());
  s->CheckTiming->SetChecked(!s->CheckTiming->Checked());
  const bool boot = !s->BootUpdateTime->Checked(), timing = !s->CheckTiming->Checked();
  s->ClickModeSelect->SetItemIndex(2);
  s->CustomURI->SetText("https://edited.example/");
  s->PRIORITY->SetItemIndex(2);
  s->Button2Click(s->Button2);

  EXPECT_EQ(s->UseNTPServer->Text(), "saved.example");
  EXPECT_EQ(s->OffsetMin->Text(), "12");
  EXPECT_EQ(s->OffsetSec->Text(), "0");
  EXPECT_EQ(s->UpdateTime->Text(), "30");
  EXPECT_EQ(s->BootUpdateTime->Checked(), boot);
  EXPECT_EQ(s->CheckTiming->Checked(), timing);
  EXPECT_EQ(s->ClickModeSelect->ItemIndex(), 0);
  EXPECT_EQ(s->CustomURI->Text(), "https://saved.example/");
  EXPECT_EQ(s->PRIORITY->ItemIndex(), 1);
  EXPECT_FALSE(s->Visible());
}

TEST_F(SetupDialogTest, AfterStartNoEntryIsSelectedAndAClickCopiesTheEntry) {
  TSetup *first = Start("a.example\nb.example\nc.example\n");
  first->ServerList->SetItemIndex(2);
  first->AutoIni->SaveToIni();
  EXPECT_EQ(IniValue("ServerList"), "2");
  delete first;
  ::Setup = nullptr;

  TSetup *s = Start("a.example\nb.example\nc.example\n");
  EXPECT_EQ(s->ServerList->ItemIndex(), -1);
  s->ServerList->Click();  // nothing selected: nothing copied
  EXPECT_EQ(s->UseNTPServer->Text(), "127.0.0.9");
  s->ServerList->SetItemIndex(1);
  s->ServerList->Click();
  EXPECT_EQ(s->UseNTPServer->Text(), "b.example");
}

TEST_F(SetupDialogTest, DoubleClickSynchronisesAtOnceEvenInTheDeferralWindow) {
  TSetup *s = Start("127.0.0.7\n127.0.0.8\n", "127.0.0.9");
  s->CheckTiming->SetChecked(true);
  apptest::SetFakeLocalTime(testsupport::Civil(2026, 12, 8, 21, 0, 30));
  s->ServerList->DblClick();  // nothing selected
  EXPECT_FALSE(RequestOutstanding(s));
  s->ServerList->SetItemIndex(1);
  s->ServerList->DblClick();
  EXPECT_EQ(s->SNTPC->Server, "127.0.0.8");
  EXPECT_TRUE(RequestOutstanding(s));
  EXPECT_FALSE(s->Deferred());
  EXPECT_EQ(s->UseNTPServer->Text(), "127.0.0.9");
  EXPECT_TRUE(apptest::Balloons().empty());
}

TEST_F(SetupDialogTest, CloseBoxHidesWithoutSavingAndExitSavesWhatIsShown) {
  TSetup *s = Start("a.example\n", "kept.example");
  s->Button1Click(s->Button1);
  // The middle button opens the dialog; the others do not.
  s->TrayIcon->OnMouseDown(s->TrayIcon, mbLeft, 0, 0, 0);
  s->TrayIcon->OnMouseDown(s->TrayIcon, mbRight, 0, 0, 0);
  EXPECT_FALSE(s->Visible());
  s->TrayIcon->OnMouseDown(s->TrayIcon, mbMiddle, ssMiddle, 0, 0);
  ASSERT_TRUE(s->Visible());

  s->UseNTPServer->SetText("edited.example");
  SendMessageA(s->Handle(), WM_CLOSE, 0, 0);
  Application->ProcessMessages();
  EXPECT_FALSE(s->Visible());
  EXPECT_EQ(IniValue("UseNTPServer"), "kept.example");
  EXPECT_EQ(s->UseNTPServer->Text(), "edited.example");  // still in effect

  // Exit from the menu while the dialog is shown: hidden first, then saved.
  s->AppSetup->Execute();
  ASSERT_TRUE(s->Visible());
  s->ExitApp->Execute();
  Application->ProcessMessages();
  EXPECT_FALSE(s->Visible());
  EXPECT_EQ(IniValue("UseNTPServer"), "edited.example");
}

TEST_F(SetupDialogTest, TrayClicksAndCommandsOpenWhatTheyShould) {
  TSetup *s = Start("a.example\n");
  const HWND owner = s->Handle();
  testhooks::ClearShellExecuteCalls();
  const struct {
    int mode;
    const char *uri;
    const char *opened;  // nullptr: nothing opened
  } clicks[] = {
      {0, "", "https://bangumi.org/"},
      {1, "https://unused.example/", nullptr},
      {2, "", ""},
      {2, "https://custom.example/x?y=1", "https://custom.example/x?y=1"},
      {-1, "https://unused.example/", nullptr},  // no choice
  };
  for (const auto &c : clicks) {
    SCOPED_TRACE(c.mode);
    testhooks::ClearShellExecuteCalls();
    s->ClickModeSelect->SetItemIndex(c.mode);
    s->CustomURI->SetText(c.uri);
    s->TrayIcon->OnClick(s->TrayIcon);
    const auto &calls = testhooks::ShellExecuteCalls();
    if (!c.opened) {
      EXPECT_TRUE(calls.empty());
      continue;
    }
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].hwnd, owner);
    EXPECT_EQ(calls[0].verb, "OPEN");
    EXPECT_EQ(calls[0].file, c.opened);
    EXPECT_EQ(calls[0].parameters, "");
    EXPECT_EQ(calls[0].directory, "");
    EXPECT_EQ(calls[0].show, SW_SHOW);
  }
  EXPECT_TRUE(testhooks::MessageBoxes().empty());

  testhooks::ClearShellExecuteCalls();
  s->HelpOnHelp1->Execute();
  s->OpenWeb->Execute();
  const auto &calls = testhooks::ShellExecuteCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].file, ChangeFileExt(testsupport::OwnPath(), ".pdf"));
  EXPECT_EQ(calls[1].file, "https://fernwick.example/horolan/");

  s->VerInfo->Execute();
  const auto &boxes = testhooks::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  const std::string tail = "\r\n\r\nFileVersion : 1.0.7.16";
  ASSERT_GT(boxes[0].text.size(), tail.size());
  EXPECT_EQ(boxes[0].text.substr(boxes[0].text.size() - tail.size()), tail);
  EXPECT_EQ(boxes[0].text.substr(0, boxes[0].text.size() - tail.size()).find_first_of("\r\n"),
            std::string::npos);
  EXPECT_EQ(boxes[0].caption, "情報");
  EXPECT_EQ(boxes[0].type, static_cast<unsigned>(MB_OK | MB_ICONINFORMATION));
}

TEST_F(SetupDialogTest, RightPressShowsTheMenuAndItsExitEndsWithASave) {
  TSetup *s = Start("a.example\n", "menu.example");
  std::remove(SettingsIni().c_str());
  testhooks::SetFakeLogonTask(0);
  unsigned exitId = 0;
  testhooks::CapturePopupMenus([&exitId](const testhooks::PopupMenuCall &call) {
    for (const auto &item : call.items)
      if (item.text == "Horolan終了(&X)") exitId = item.id;
    return exitId;
  });
  SendMessageA(TTrayIconHandler::Instance()->Handle(), TRAYICON_CALLBACK_MSG, s->TrayIcon->IconId(),
               WM_RBUTTONDOWN);
  Application->ProcessMessages();
  const auto calls = testhooks::PopupMenuCalls();
  testhooks::ReleasePopupMenus();
  testhooks::SetFakeLogonTask(-1);
  ASSERT_EQ(calls.size(), 1u);
  const char *captions[] = {"環境オプション(&O)...",
                            "ログオン時に管理者として起動(&L)",
                            nullptr,
                            "ヘルプ目次(&H)",
                            "Fernwick(&W)",
                            "バージョン情報(&A)",
                            nullptr,
                            "Horolan終了(&X)"};
  const auto &items = calls[0].items;
  ASSERT_EQ(items.size(), 8u);
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(items[i].isDefault);
    if (!captions[i]) {
      EXPECT_NE(items[i].type & MFT_SEPARATOR, 0u);
      continue;
    }
    EXPECT_EQ(items[i].text, captions[i]);
    EXPECT_EQ(items[i].hasBitmap, i != 1) << "the logon task's item has no picture";
  }
  EXPECT_NE(exitId, 0u);
  EXPECT_EQ(IniValue("UseNTPServer"), "menu.example");
}

TEST_F(SetupDialogTest, LogonTaskItemShowsTheTaskAndChangesItOnlyAfterAYes) {
  TSetup *s = Start("a.example\n");
  const std::string item = "ログオン時に管理者として起動(&L)";
  const std::string name = "Horolan (" + GetLogonUserName() + ")";
  const std::string exe = testsupport::OwnPath();
  const struct {
    int task;  // the seam's answer; -1 the system's own
    int answer;
    const char *parameters;  // nullptr: schtasks.exe is not started
  } rows[] = {
      {0, IDYES, "/Create /TN \"%n\" /XML \"%x\" /F"},
      {0, IDNO, nullptr},
      {1, IDYES, "/Delete /TN \"%n\" /F"},
      {-1, IDYES, nullptr},  // the host has no Task Scheduler; Windows is not asked here
  };
  for (const auto &row : rows) {
    if (row.task < 0 && !testhooks::HostLayer()) continue;
    SCOPED_TRACE(row.task * 10 + row.answer);
    testhooks::SetFakeLogonTask(row.task);
    testhooks::CapturePopupMenus();
    testhooks::ClearPopupMenuCalls();
    SendMessageA(TTrayIconHandler::Instance()->Handle(), TRAYICON_CALLBACK_MSG, s->TrayIcon->IconId(),
                 WM_RBUTTONDOWN);
    Application->ProcessMessages();
    const testhooks::PopupMenuItem *shown = nullptr;
    for (const auto &i : testhooks::PopupMenuCalls().at(0).items)
      if (i.text == item) shown = &i;
    ASSERT_EQ(shown != nullptr, row.task >= 0);
    if (shown) {
      EXPECT_EQ((shown->state & MFS_CHECKED) != 0, row.task == 1);
    }
    testhooks::ReleasePopupMenus();

    testhooks::ClearShellExecuteCalls();
    testhooks::ClearMessageBoxes();
    testhooks::CaptureMessageBoxes([&row](const testhooks::MessageBoxCall &) { return row.answer; });
    s->LogonTask->Execute();
    testhooks::CaptureMessageBoxes();
    testhooks::SetFakeLogonTask(-1);
    ASSERT_EQ(testhooks::MessageBoxes().size(), 1u) << "asked first, or told why not";
    const auto &calls = testhooks::ShellExecuteCalls();
    if (!row.parameters) {
      EXPECT_TRUE(calls.empty());
      continue;
    }
    EXPECT_EQ(testhooks::MessageBoxes()[0].type, unsigned(MB_YESNO | MB_ICONQUESTION));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].verb, "runas");
    EXPECT_EQ(calls[0].file, "schtasks.exe");
    EXPECT_EQ(calls[0].hwnd, s->Handle());
    std::string want = row.parameters;
    want.replace(want.find("%n"), 2, name);
    const size_t file = want.find("%x");
    if (file == std::string::npos) {
      EXPECT_EQ(calls[0].parameters, want);
      continue;
    }
    // The definition file: UTF-16 with its mark; the test's names are ASCII.
    const std::string path = calls[0].parameters.substr(file, calls[0].parameters.size() - want.size() + 2);
    want.replace(file, 2, path);
    EXPECT_EQ(calls[0].parameters, want);
    const std::string bytes = testsupport::ReadAll(path);
    ASSERT_GT(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    std::string xml;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) xml += bytes[i + 1] ? '?' : bytes[i];
    for (const std::string &part :
         {"<UserId>" + GetLogonUserName() + "</UserId></LogonTrigger>",
          std::string("<RunLevel>HighestAvailable<"), std::string("<ExecutionTimeLimit>PT0S<"),
          std::string("<DisallowStartIfOnBatteries>false<"), std::string("<StopIfGoingOnBatteries>false<"),
          "<Command>\"" + exe + "\"</Command>"})
      EXPECT_NE(xml.find(part), std::string::npos) << part << " in\n" << xml;
    std::remove(path.c_str());
  }
}

}  // namespace
