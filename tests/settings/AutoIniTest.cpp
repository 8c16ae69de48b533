// The automatic settings store against a form with every kind of control: the file text
// a save produces, what a load makes of stored values, where the file goes, and what a
// failure leaves behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "forms/ComCtrls.h"
#include "forms/ExtCtrls.h"
#include "forms/Forms.h"
#include "forms/StdCtrls.h"
#include "platform/profileref.h"
#include "platform/winapi.h"
#include "settings/AutoIni.h"
#include "settings/IniFile.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

// An edit whose text cannot be read once told so: a save interrupted half-way.
class TFailingEdit : public TEdit {
 public:
  using TEdit::TEdit;
  bool Fail = false;

 protected:
  std::string GetText() const override {
    if (Fail) throw Exception("interrupted");
    return TEdit::GetText();
  }
};

// Derived from the edit class, as the spin edits are.
class TNumberEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

class TTestForm : public TForm {
 public:
  explicit TTestForm(TComponent *AOwner) : TForm(AOwner) {
    SetName("TestForm");
    SetBounds(30, 40, 300, 200);
    Colour = Add<TShape>(this, "Colour");
    Colour->Brush()->SetColor(clRed);
    Label1 = Add<TLabel>(this, "Label1");
    Label1->SetCaption("&Server");
    Server = Add<TEdit>(this, "Server");
    Server->SetText("pool.ntp.org");
    Notes = Add<TMemo>(this, "Notes");
    Notes->SetText("memo");
    Boot = Add<TCheckBox>(this, "Boot");
    Radio = Add<TRadioButton>(this, "Radio");
    Mode = Add<TRadioGroup>(this, "Mode");
    for (const char *item : {"a", "b", "c"}) Mode->Items()->Add(item);
    Mode->SetItemIndex(0);
    List = Add<TListBox>(this, "List");
    for (const char *item : {"x", "y", "z"}) List->Items()->Add(item);
    Combo = Add<TComboBox>(this, "Combo");
    for (const char *item : {"p", "q"}) Combo->Items()->Add(item);
    OK = Add<TButton>(this, "OK");
    Panel = Add<TPanel>(this, "Panel");
    PanelEdit = Add<TNumberEdit>(Panel, "PanelEdit");
    PanelEdit->SetText("inner");
    PanelCheck = Add<TCheckBox>(Panel, "PanelCheck");
    Pages = Add<TPageControl>(this, "Pages");
    Page1 = new TTabSheet(this);
    Page1->SetName("Page1");
    Page1->SetPageControl(Pages);
    Page1Edit = Add<TEdit>(Page1, "Page1Edit");
    Page1Edit->SetText("one");
    Page2 = new TTabSheet(this);
    Page2->SetName("Page2");
    Page2->SetPageControl(Pages);
    Page2Check = Add<TCheckBox>(Page2, "Page2Check");
    Last = Add<TFailingEdit>(this, "Last");
    AutoIni = new TAutoIni(this);
    AutoIni->SetName("AutoIni");
  }

  template <class T>
  T *Add(TWinControl *parent, const char *name) {
    T *control = new T(this);
    control->SetName(name);
    control->SetParent(parent);
    return control;
  }

  // The values a first save in the tests stores (see kChangedBody).
  void Change() {
    Colour->Brush()->SetColor(0x123456);
    Server->SetText("time.example.jp ");
    Notes->SetText("メモ");
    Boot->SetChecked(true);
    Radio->SetChecked(true);
    Mode->SetItemIndex(2);
    List->SetItemIndex(1);
    Combo->SetItemIndex(0);
    PanelEdit->SetText("007");
    PanelCheck->SetChecked(true);
    Page1Edit->SetText("ページ");
    Page2Check->SetChecked(true);
    Last->SetText("end");
  }

  TShape *Colour;
  TLabel *Label1;
  TEdit *Server;
  TMemo *Notes;
  TCheckBox *Boot;
  TRadioButton *Radio;
  TRadioGroup *Mode;
  TListBox *List;
  TComboBox *Combo;
  TButton *OK;
  TPanel *Panel;
  TNumberEdit *PanelEdit;
  TCheckBox *PanelCheck;
  TPageControl *Pages;
  TTabSheet *Page1, *Page2;
  TEdit *Page1Edit;
  TCheckBox *Page2Check;
  TFailingEdit *Last;
  TAutoIni *AutoIni;
};

// Walk order: the non-windowed controls first (the shape; the label is skipped), then
// the windowed ones in creation order, containers walked in place; buttons skipped.
const char kChangedBody[] =
    "Colour=1193046\r\n"
    "Server=time.example.jp \r\n"
    "Notes=メモ\r\n"
    "Boot=1\r\n"
    "Radio=1\r\n"
    "Mode=2\r\n"
    "List=1\r\n"
    "Combo=0\r\n"
    "PanelEdit=007\r\n"
    "PanelCheck=1\r\n"
    "Page1Edit=ページ\r\n"
    "Page2Check=1\r\n"
    "Last=end\r\n";

std::vector<int> Place(const TControl *c) { return {c->Left(), c->Top(), c->Width(), c->Height()}; }

std::string Unique() {
  static std::mt19937 random(std::random_device{}());
  return std::to_string(random());
}

class AutoIniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testhooks::CaptureMessageBoxes();
    testhooks::ClearMessageBoxes();
    do {
      FDir = fs::temp_directory_path() / ("horolan-autoini-" + Unique());
    } while (!fs::create_directory(FDir));
    FHost = testhooks::HostLayer();
    if (FHost) {
      // The host's application-data folder is the XDG config home: keep it in the scratch
      // folder, and use the program's real folder name there.
      static char env[4096];
      std::snprintf(env, sizeof env, "XDG_CONFIG_HOME=%s", FDir.string().c_str());
      putenv(env);
      FSaveFolder = "Fernwick";
    } else {
      FSaveFolder = "HorolanAutoIniTest" + Unique();
    }
    char appData[MAX_PATH + 1] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE));
    FAppData = appData;
    const std::string own = testsupport::OwnPath();
    FExeFolder = own.substr(0, own.find_last_of(FHost ? "/" : "\\") + 1);
    FExeName = FHost ? "test_settings" : "test_settings.exe";
    testhooks::SetReportedVersion(6, 0, VER_PLATFORM_WIN32_NT);
    FForm.reset(CreateForm<TTestForm>(nullptr));
    Ini()->SetMySaveFolder(FSaveFolder);
    Ini()->SetSection("Tester");
  }

  void TearDown() override {
    FForm.reset();
    testhooks::ResetReportedVersion();
    testhooks::ReleaseMessageBoxes();
    std::error_code ignored;
    for (const std::string &path : FBesideExe) fs::remove(path, ignored);
    if (!FHost) fs::remove_all(FAppData + "\\" + FSaveFolder, ignored);
    fs::remove_all(FDir, ignored);
  }

  TAutoIni *Ini() { return FForm->AutoIni; }
  // The file of Vista and later, spelt out for each platform.
  std::string AppDataIni() const {
    const std::string d = FHost ? "/" : "\\";
    return FAppData + d + FSaveFolder + d + "test_settings.ini";
  }
  std::string BesideExe(const std::string &name) {
    FBesideExe.push_back(FExeFolder + name);
    return FBesideExe.back();
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto &call : testhooks::MessageBoxes()) {
      EXPECT_EQ(call.type, static_cast<unsigned>(MB_OK));
      texts.push_back(call.text);
    }
    return texts;
  }
  static std::string Read(const std::string &path) { return testsupport::ReadAll(path); }

  fs::path FDir;
  bool FHost = false;
  std::string FSaveFolder, FAppData, FExeFolder, FExeName;
  std::vector<std::string> FBesideExe;
  std::unique_ptr<TTestForm> FForm;
};

TEST_F(AutoIniTest, FirstSaveWritesPositionThenControlsInWalkOrder) {
  Ini()->SetCheckWinState(true);
  FForm->Change();
  Ini()->SaveToIni();
  EXPECT_EQ(Read(AppDataIni()),
            std::string("[Tester]\r\nTestFormTop=40\r\nTestFormLeft=30\r\n") + kChangedBody);
  EXPECT_TRUE(testhooks::MessageBoxes().empty());

  // The size keys are spelt in lower case and follow the position.
  Ini()->SetCheckWinSize(true);
  FForm->SetBounds(-5, 7, 320, 210);
  Ini()->SaveToIni();
  EXPECT_EQ(Read(AppDataIni()), std::string("[Tester]\r\nTestFormTop=7\r\nTestFormLeft=-5\r\n") +
                                    kChangedBody + "TestFormheight=210\r\nTestFormwidth=320\r\n");
}

TEST_F(AutoIniTest, LoadRestoresWhatASaveStored) {
  Ini()->SetCheckWinState(true);
  Ini()->SetCheckWinSize(true);
  // A first start without a file keeps the design, but moves the form to the corner.
  Ini()->LoadFromIni();
  EXPECT_EQ(Place(FForm.get()), (std::vector<int>{0, 0, 300, 200}));
  EXPECT_EQ(FForm->Server->Text(), "pool.ntp.org");
  EXPECT_EQ(FForm->Colour->Brush()->Color(), clRed);
  EXPECT_EQ(FForm->Mode->ItemIndex(), 0);
  EXPECT_EQ(FForm->List->ItemIndex(), -1);
  EXPECT_FALSE(fs::exists(AppDataIni()));  // loading writes nothing

  FForm->Change();
  FForm->SetBounds(12, 34, 280, 190);
  Ini()->SaveToIni();

  std::unique_ptr<TTestForm> fresh(CreateForm<TTestForm>(nullptr));
  TAutoIni *ini = fresh->AutoIni;
  ini->SetMySaveFolder(FSaveFolder);
  ini->SetSection("tester");  // sections match without regard to case
  ini->SetCheckWinState(true);
  ini->SetCheckWinSize(true);
  for (int pass = 0; pass < 2; ++pass) {  // loading twice gives the same result
    ini->LoadFromIni();
    EXPECT_EQ(Place(fresh.get()), (std::vector<int>{12, 34, 280, 190}));
    EXPECT_EQ(fresh->Colour->Brush()->Color(), 0x123456);
    EXPECT_EQ(fresh->Server->Text(),
              "time.example.jp");  // the trailing blank is dropped
    EXPECT_EQ(fresh->Notes->Text(), "メモ");
    EXPECT_TRUE(fresh->Boot->Checked());
    EXPECT_TRUE(fresh->Radio->Checked());
    EXPECT_EQ(fresh->Mode->ItemIndex(), 2);
    EXPECT_EQ(fresh->List->ItemIndex(), 1);
    EXPECT_EQ(fresh->Combo->ItemIndex(), 0);
    EXPECT_EQ(fresh->PanelEdit->Text(), "007");
    EXPECT_TRUE(fresh->PanelCheck->Checked());
    EXPECT_EQ(fresh->Page1Edit->Text(), "ページ");
    EXPECT_TRUE(fresh->Page2Check->Checked());
    EXPECT_EQ(fresh->Last->Text(), "end");
  }
  EXPECT_TRUE(testhooks::MessageBoxes().empty());

  // The system's own reader (where there is one) reads every key as our store does.
  const profileref::Functions *ref = profileref::Reference();
  if (!ref) return;
  const std::string text = Read(AppDataIni());
  const IniFile store(AppDataIni());
  int keys = 0;
  for (size_t at = text.find("\r\n") + 2; at < text.size(); at = text.find("\r\n", at) + 2, ++keys) {
    const std::string key = text.substr(at, text.find('=', at) - at);
    char buffer[2048] = {};
    ref->GetString("Tester", key.c_str(), "<missing>", buffer, sizeof buffer, AppDataIni().c_str());
    EXPECT_EQ(std::string(buffer), store.ReadString("Tester", key, "<none>")) << key;
  }
  EXPECT_EQ(keys, 17);
}

TEST_F(AutoIniTest, StoredValuesAreReadAsTheirKindDefines) {
  const struct {
    bool radio;  // the radio button instead of the check box
    const char *stored;
    bool before, after;
  } booleans[] = {{false, "1", false, true},    {false, "2", false, true}, {false, "-1", false, true},
                  {false, "0x10", false, true}, {false, "0", true, false}, {false, "yes", true, true},
                  {false, "yes", false, false}, {false, "", true, true},   {false, "true", false, false},
                  {false, " 1 ", false, true},  {true, "3", false, true},  {true, "no", true, true},
                  {true, "0", true, false}};
  fs::create_directories(fs::path(AppDataIni()).parent_path());
  for (const auto &row : booleans) {
    const char *key = row.radio ? "Radio" : "Boot";
    SCOPED_TRACE(std::string(key) + "=" + row.stored);
    testsupport::WriteAll(AppDataIni(), std::string("[Tester]\r\n") + key + "=" + row.stored + "\r\n");
    if (row.radio)
      FForm->Radio->SetChecked(row.before);
    else
      FForm->Boot->SetChecked(row.before);
    Ini()->LoadFromIni();
    EXPECT_EQ(row.radio ? FForm->Radio->Checked() : FForm->Boot->Checked(), row.after);
  }

  const TColor before = 77;
  const struct {
    const char *stored;
    TColor after;
  } integers[] = {
      // clang-format off
      {"0x1F", 31}, {"0X1f", 31}, {"31", 31}, {"-5", -5}, {" 42 ", 42}, {"0xFFFFFFFF", -1},
      {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
      {"abc", before}, {"12abc", before}, {"0x", before}, {"0xG1", before}, {"", before},
      {"2147483648", before}, {"0x100000000", before}, {"$1F", before}, {"1.5", before},
      // clang-format on
  };
  for (const auto &row : integers) {
    SCOPED_TRACE(std::string("Colour=") + row.stored);
    testsupport::WriteAll(AppDataIni(), std::string("[Tester]\r\nColour=") + row.stored + "\r\n");
    FForm->Colour->Brush()->SetColor(before);
    Ini()->LoadFromIni();
    EXPECT_EQ(FForm->Colour->Brush()->Color(), row.after);
  }

  const struct {
    const char *stored, *after;
  } strings[] = {{"007", "007"},
                 {"  spaced out  ", "spaced out"},
                 {"\"quoted \"", "quoted "},
                 {"", ""},
                 {"時刻", "時刻"}};
  for (const auto &row : strings) {
    SCOPED_TRACE(std::string("Server=") + row.stored);
    testsupport::WriteAll(AppDataIni(), std::string("[Tester]\r\nServer=") + row.stored + "\r\n");
    FForm->Server->SetText("before");
    Ini()->LoadFromIni();
    EXPECT_EQ(FForm->Server->Text(), row.after);
  }

  // A text longer than 2047 bytes comes back cut there.
  testsupport::WriteAll(AppDataIni(), "[Tester]\r\nServer=" + std::string(3000, 'n') + "\r\n");
  Ini()->LoadFromIni();
  EXPECT_EQ(FForm->Server->Text(), std::string(2047, 'n'));
  EXPECT_TRUE(testhooks::MessageBoxes().empty());
}

TEST_F(AutoIniTest, TagAndKindSelectionDecideWhatIsStored) {
  // Containers are walked whatever their tag; only value controls carrying it count.
  Ini()->SetCheckTag(true);
  Ini()->SetEnableTag(5);
  FForm->Panel->SetTag(1);
  FForm->Pages->SetTag(1);
  FForm->Page1->SetTag(1);
  for (TControl *c : std::vector<TControl *>{FForm->Server, FForm->PanelEdit, FForm->Page1Edit, FForm->Combo})
    c->SetTag(5);
  Ini()->SaveToIni();
  EXPECT_EQ(Read(AppDataIni()),
            "[Tester]\r\nServer=pool.ntp.org\r\nCombo=-1\r\nPanelEdit=inner\r\nPage1Edit=one\r\n");

  // A kind left out falls through to the later rules: the radio group is then walked as a
  // container, and its buttons, having no names, are not stored under "".
  fs::remove(AppDataIni());
  Ini()->SetCheckTag(false);
  Ini()->SetCheckControls(TCheckControls::All().Exclude(ccEdit).Exclude(ccRadioGroup).Exclude(ccColor));
  Ini()->SaveToIni();
  EXPECT_EQ(Read(AppDataIni()),
            "[Tester]\r\nBoot=0\r\nRadio=0\r\nList=-1\r\nCombo=-1\r\nPanelCheck=0\r\nPage2Check=0\r\n");

  // Loading follows the same selection: the excluded edit keeps its text.
  testsupport::WriteAll(AppDataIni(), "[Tester]\r\nServer=changed\r\nBoot=1\r\n");
  Ini()->LoadFromIni();
  EXPECT_EQ(FForm->Server->Text(), "pool.ntp.org");
  EXPECT_TRUE(FForm->Boot->Checked());
}

TEST_F(AutoIniTest, VistaAndLaterUseTheApplicationDataFolder) {
  // Section defaults to the executable's file name and keeps it.
  Ini()->SetSection("");
  Ini()->SetAIniFileName("ignored.ini");
  const std::string ignored = BesideExe("ignored.ini");
  ASSERT_FALSE(fs::exists(FAppData + (FHost ? "/" : "\\") + FSaveFolder));
  Ini()->SaveToIni();
  EXPECT_EQ(Ini()->Section(), FExeName);
  EXPECT_EQ(Read(AppDataIni()).substr(0, FExeName.size() + 4), "[" + FExeName + "]\r\n");
  EXPECT_FALSE(fs::exists(ignored));
  if (FHost) {
    EXPECT_EQ(AppDataIni(), FDir.string() + "/Fernwick/test_settings.ini");
  }
  Ini()->LoadFromIni();
  EXPECT_EQ(Ini()->Section(), FExeName);
}

TEST_F(AutoIniTest, BeforeVistaTheFileLiesBesideTheExecutable) {
  testhooks::SetReportedVersion(5, 1, VER_PLATFORM_WIN32_NT);
  const struct {
    const char *fileName;
    bool winDir, appDataDir;
  } rows[] = {{"", false, false},
              {"autoini-named.ini", false, false},
              {"", true, false},
              {"autoini-bare.ini", true, false},
              {"autoini-named.ini", false, true}};
  // Every place a row could wrongly write to.
  std::vector<std::string> candidates = {AppDataIni()};
  for (const char *name : {"test_settings.ini", "autoini-named.ini", "autoini-bare.ini"}) {
    candidates.push_back((FDir / name).string());
    candidates.push_back(BesideExe(name));
  }
  const fs::path previous = fs::current_path();
  fs::current_path(FDir);  // where a bare name is opened
  for (const auto &row : rows) {
    SCOPED_TRACE(std::string(row.fileName) + (row.winDir ? " bare" : "") +
                 (row.appDataDir ? " appdata" : ""));
    std::unique_ptr<TTestForm> form(CreateForm<TTestForm>(nullptr));  // reads the version when made
    TAutoIni *ini = form->AutoIni;
    ini->SetSection("Old");
    ini->SetMySaveFolder(FSaveFolder);
    ini->SetAIniFileName(row.fileName);
    ini->SetMakeIniWinDir(row.winDir);
    ini->SetMakeIniAppDataDir(row.appDataDir);
    const std::string name = *row.fileName ? row.fileName : "test_settings.ini";
    const std::string expected = row.appDataDir ? AppDataIni()
                                 : row.winDir   ? (FDir / name).string()
                                                : FExeFolder + name;
    ini->SaveToIni();
    EXPECT_EQ(Read(expected).substr(0, 7), "[Old]\r\n");
    std::error_code ec;
    fs::remove(expected, ec);
    for (const std::string &path : candidates) EXPECT_FALSE(fs::exists(path)) << path;
  }
  fs::current_path(previous);
}

TEST_F(AutoIniTest, FailedSaveLeavesTheOldFileAndPassesTheErrorOn) {
  FForm->Change();
  Ini()->SaveToIni();
  const std::string before = Read(AppDataIni());
  ASSERT_FALSE(before.empty());
  FForm->Server->SetText("other");
  FForm->Boot->SetChecked(false);

  // Interrupted half-way through the walk: nothing of the new values reaches the file.
  FForm->Last->Fail = true;
  try {
    Ini()->SaveToIni();
    ADD_FAILURE() << "no exception";
  } catch (const EIniFileError &) {
    ADD_FAILURE() << "the failure was replaced";
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "interrupted");
  }
  FForm->Last->Fail = false;
  EXPECT_EQ(Read(AppDataIni()), before);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Can not save to IniFile"});

  // A refused write (the temporary file cannot be made) names the file.
  testhooks::ClearMessageBoxes();
  fs::create_directory(AppDataIni() + ".tmp");
  try {
    Ini()->SaveToIni();
    ADD_FAILURE() << "no exception";
  } catch (const EIniFileError &e) {
    EXPECT_EQ(e.Message(), AppDataIni() + " に書き込めません");
  }
  EXPECT_EQ(Read(AppDataIni()), before);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Can not save to IniFile"});
}

TEST_F(AutoIniTest, PositionNeedsAFormAsOwner) {
  TComponent owner(nullptr);
  auto *ini = new TAutoIni(&owner);
  ini->SetMySaveFolder(FSaveFolder);
  ini->SetSection("Tester");
  ini->SaveToIni();  // without the position nothing needs a form
  ini->SetCheckWinState(true);
  EXPECT_THROW(ini->SaveToIni(), EAutoIniError);
  EXPECT_THROW(ini->LoadFromIni(), EAutoIniError);
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"Can not save to IniFile", "Can not load from IniFile"}));
  EXPECT_FALSE(fs::exists(AppDataIni()));
}

}  // namespace
