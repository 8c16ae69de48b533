// The main form as designed: the settings dialog's controls with their geometry, texts
// and defaults, and the components the form owns (SNTP client, settings store, check
// timer, tray icon with its menu, actions and images).
#include <initializer_list>

#include "app/ServerList.h"
#include "app/fSetup.h"

namespace {

template <class T>
T *Make(TSetup *Form, const char *Name) {
  T *c = new T(Form);
  c->SetName(Name);
  return c;
}

template <class T>
T *Place(TSetup *Form, const char *Name, int Left, int Top, int Width, int Height) {
  T *c = Make<T>(Form, Name);
  c->SetParent(Form);
  c->SetBounds(Left, Top, Width, Height);
  return c;
}

TLabel *MakeLabel(TSetup *Form, const char *Name, const char *Caption, int Left, int Top,
                  TWinControl *FocusTarget) {
  TLabel *l = Make<TLabel>(Form, Name);
  l->SetParent(Form);
  l->SetCaption(Caption);
  l->SetLeft(Left);
  l->SetTop(Top);
  l->SetFocusControl(FocusTarget);
  return l;
}

void SetupSpin(TAlignedSpinEdit *Spin, int32_t Min, int32_t Max, int MaxLength, int32_t Value) {
  Spin->SetMinValue(Min);
  Spin->SetMaxValue(Max);
  Spin->SetMaxLength(MaxLength);
  Spin->SetValue(Value);
}

void AddItems(TStrings *Items, std::initializer_list<const char *> Texts) {
  for (const char *t : Texts) Items->Add(t);
}

}  // namespace

TSetup::TSetup(TComponent *AOwner) : TForm(AOwner) { CreateDesign(); }

void TSetup::CreateDesign() {
  SetName("Setup");
  SetCaption("Setup");
  SetBorderStyle(bsDialog);
  SetClientSize(400, 264);
  Font()->SetName("ＭＳ Ｐゴシック");
  Font()->SetHeight(-12);
  Font()->SetCharset(SHIFTJIS_CHARSET);

  // Windowed controls are created in the order the settings store walks them, which
  // fixes the key order of a first save; the tab order is set separately below.
  ServerList = Place<TListBox>(this, "ServerList", 8, 72, 145, 88);
  ServerList->IntegralHeight = true;
  ServerList->SetItemHeight(12);
  for (const char *host : kBuiltInServers) ServerList->Items()->Add(host);
  OffsetSec = Place<TAlignedSpinEdit>(this, "OffsetSec", 240, 24, 57, 21);
  SetupSpin(OffsetSec, 0, 59, 2, 0);
  OffsetMin = Place<TAlignedSpinEdit>(this, "OffsetMin", 160, 24, 57, 21);
  SetupSpin(OffsetMin, 0, 1439, 4, 0);
  UpdateTime = Place<TAlignedSpinEdit>(this, "UpdateTime", 320, 24, 57, 21);
  SetupSpin(UpdateTime, 10, 1440, 4, 30);
  BootUpdateTime = Place<TCheckBox>(this, "BootUpdateTime", 168, 176, 225, 17);
  BootUpdateTime->SetCaption("起動時に時刻を更新する");
  BootUpdateTime->SetChecked(true);
  UseNTPServer = Place<TEdit>(this, "UseNTPServer", 8, 24, 145, 20);
  CheckTiming = Place<TCheckBox>(this, "CheckTiming", 167, 200, 225, 17);
  CheckTiming->SetCaption("0分と30分近辺での同期を行なわない");
  ClickModeSelect = Place<TRadioGroup>(this, "ClickModeSelect", 160, 56, 233, 81);
  ClickModeSelect->SetCaption("クリック時の動作(&C)");
  AddItems(ClickModeSelect->Items(), {"infoseekテレビ番組表", "NTPと同期", "下のアドレスをブラウザで表示"});
  ClickModeSelect->SetItemIndex(0);
  CustomURI = Place<TEdit>(this, "CustomURI", 160, 144, 233, 20);
  PRIORITY = Place<TRadioGroup>(this, "PRIORITY", 8, 168, 145, 65);
  PRIORITY->SetCaption("基本優先度");
  AddItems(PRIORITY->Items(), {"高", "通常", "低"});
  PRIORITY->SetItemIndex(1);
  Button1 = Place<TButton>(this, "Button1", 256, 232, 64, 20);
  Button1->SetCaption("OK");
  Button1->SetDefault(true);
  Button2 = Place<TButton>(this, "Button2", 328, 232, 64, 20);
  Button2->SetCaption("キャンセル");
  Button2->Cancel = true;
  Button1->OnClick = [this](TObject *Sender) { Button1Click(Sender); };
  Button2->OnClick = [this](TObject *Sender) { Button2Click(Sender); };
  ServerList->OnClick = [this](TObject *Sender) { ServerListClick(Sender); };
  ServerList->OnDblClick = [this](TObject *Sender) { ServerListDblClick(Sender); };

  int tab = 0;
  for (TWinControl *c : std::initializer_list<TWinControl *>{
           UseNTPServer, OffsetMin, OffsetSec, ServerList, ClickModeSelect, UpdateTime, BootUpdateTime,
           CheckTiming, Button1, Button2, CustomURI, PRIORITY})
    c->SetTabOrder(tab++);

  Label1 = MakeLabel(this, "Label1", "NTPサーバー(&N)", 8, 8, ServerList);
  Label2 = MakeLabel(this, "Label2", "NTPサーバーリスト(&S)", 8, 56, ServerList);
  Label3 = MakeLabel(this, "Label3", "分調整(&M)", 160, 8, OffsetMin);
  Label4 = MakeLabel(this, "Label4", "分", 224, 28, nullptr);
  Label5 = MakeLabel(this, "Label5", "秒調整(&S)", 240, 8, OffsetSec);
  Label6 = MakeLabel(this, "Label6", "秒", 304, 28, nullptr);
  Label7 = MakeLabel(this, "Label7", "更新間隔(&I)", 320, 8, nullptr);
  Label8 = MakeLabel(this, "Label8", "分", 384, 28, nullptr);

  SNTPC = Make<TNsSNTPClient>(this, "SNTPC");
  SNTPC->OnSNTPTime = [this](TObject *Sender, TDateTime TimeStamp, double LocalOffset, double RoundTripDelay,
                             uint8_t Stratum, bool Synchronized) {
    SNTPCSNTPTime(Sender, TimeStamp, LocalOffset, RoundTripDelay, Stratum, Synchronized);
  };
  SNTPC->OnError = [this](TObject *Sender, SOCKET Socket, int32_t ErrCode, const std::string &ErrStr) {
    SNTPCError(Sender, Socket, ErrCode, ErrStr);
  };
  SNTPC->OnQueryFailed = [this](TObject *Sender, TNsSNTPFailure Failure, TSntpAnswerCheck LastRefusal) {
    SNTPCQueryFailed(Sender, Failure, LastRefusal);
  };

  AutoIni = Make<TAutoIni>(this, "AutoIni");
  AutoIni->SetCheckWinState(true);
  AutoIni->SetCheckWinSize(false);
  AutoIni->SetMySaveFolder("Fernwick");

  CheckTimer = Make<TTimer>(this, "CheckTimer");
  CheckTimer->SetEnabled(false);
  CheckTimer->SetInterval(60000);
  CheckTimer->SetOnTimer([this](TObject *Sender) { CheckTimerTimer(Sender); });

  HINSTANCE instance = GetModuleHandleA(nullptr);
  ImageList1 = Make<TImageList>(this, "ImageList1");
  ImageList1->AddResource(instance, "MENUIMAGES", TImageList::kBitmapKeyColor);

  ActionList1 = Make<TActionList>(this, "ActionList1");
  ActionList1->SetImages(ImageList1);
  auto action = [this](const char *Name, const char *Caption, int Image, void (TSetup::*Handler)(TObject *)) {
    TAction *a = Make<TAction>(this, Name);
    a->SetCaption(Caption);
    a->SetImageIndex(Image);
    a->SetActionList(ActionList1);
    a->OnExecute = [this, Handler](TObject *Sender) { (this->*Handler)(Sender); };
    return a;
  };
  ExitApp = action("ExitApp", "Horolan終了(&X)", 0, &TSetup::ExitAppExecute);
  VerInfo = action("VerInfo", "バージョン情報(&A)", 1, &TSetup::VerInfoExecute);
  OpenWeb = action("OpenWeb", "Fernwick(&W)", 2, &TSetup::OpenWebExecute);
  AppSetup = action("AppSetup", "環境オプション(&O)...", 4, &TSetup::AppSetupExecute);
  AppConnectNTP = action("AppConnectNTP", "AppConnectNTP", -1, &TSetup::AppConnectNTPExecute);
  HelpOnHelp1 = action("HelpOnHelp1", "ヘルプ目次(&H)", 3, &TSetup::HelpOnHelp1Execute);
  LogonTask = action("LogonTask", "ログオン時に管理者として起動(&L)", -1, &TSetup::LogonTaskExecute);
  LogonTask->SetVisible(false);  // until the menu has asked the Task Scheduler

  RMenu = Make<TPopupMenu>(this, "RMenu");
  RMenu->SetImages(ImageList1);
  auto item = [this](const char *Name, TAction *Action) {
    TMenuItem *m = Make<TMenuItem>(this, Name);
    if (Action)
      m->SetAction(Action);
    else
      m->SetCaption("-");
    RMenu->Items()->Add(m);
    return m;
  };
  O1 = item("O1", AppSetup);
  L1 = item("L1", LogonTask);
  N2 = item("N2", nullptr);
  H1 = item("H1", HelpOnHelp1);
  W1 = item("W1", OpenWeb);
  About1 = item("About1", VerInfo);
  N1 = item("N1", nullptr);
  HorolanX1 = item("HorolanX1", ExitApp);
  RMenu->OnPopup = [this](TObject *Sender) { RMenuPopup(Sender); };

  TrayIcon = Make<TTrayIcon>(this, "TrayIcon");
  TIcon icon;
  icon.LoadFromResourceName(instance, "MAINICON");
  TrayIcon->SetIcon(&icon);
  TrayIcon->SetHint("Horolan");
  TrayIcon->SetIconIndex(0);
  TrayIcon->SetCycleInterval(0);
  TrayIcon->SetPopupMenu(RMenu);
  TrayIcon->SetIconVisible(true);
  TrayIcon->OnClick = [this](TObject *Sender) { TrayIconClick(Sender); };
  TrayIcon->OnDblClick = [this](TObject *Sender) { AppConnectNTPExecute(Sender); };
  TrayIcon->OnMouseDown = [this](TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    TrayIconMouseDown(Sender, Button, Shift, X, Y);
  };

  AltCueFix1 = Make<TAltCueFix>(this, "AltCueFix1");

  OnCreate = [this](TObject *Sender) { FormCreate(Sender); };
  OnCloseQuery = [this](TObject *Sender, bool &CanClose) { FormCloseQuery(Sender, CanClose); };
}
