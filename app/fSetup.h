// The main form: hidden while the program sits in the tray, it is also the settings
// dialog. It owns every long-lived object of the program (SNTP client, settings store,
// check timer, tray icon and its menu) and holds the synchronisation controller.
#pragma once

#include <string>
#include <vector>

#include "controls/AlignedSpinEdit.h"
#include "controls/AltCueFix.h"
#include "controls/TrayIcon.h"
#include "forms/ActnList.h"
#include "forms/DateUtils.h"
#include "forms/ExtCtrls.h"
#include "forms/Forms.h"
#include "forms/ImgList.h"
#include "forms/Menus.h"
#include "forms/StdCtrls.h"
#include "settings/AutoIni.h"
#include "sntp/NsSNTP.h"

class TSetup : public TForm {
 public:
  explicit TSetup(TComponent *AOwner);
  ~TSetup() override;

  // ---- The dialog's controls, in tab order --------------------------------------
  TEdit *UseNTPServer;
  TAlignedSpinEdit *OffsetMin;
  TAlignedSpinEdit *OffsetSec;
  TListBox *ServerList;
  TRadioGroup *ClickModeSelect;
  TAlignedSpinEdit *UpdateTime;
  TCheckBox *BootUpdateTime;
  TCheckBox *CheckTiming;
  TButton *Button1;  // OK
  TButton *Button2;  // キャンセル
  TEdit *CustomURI;
  TRadioGroup *PRIORITY;
  // Labels: "NTPサーバー(&N)", "NTPサーバーリスト(&S)", "分調整(&M)", "分", "秒調整(&S)",
  // "秒", "更新間隔(&I)", "分".
  TLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8;

  // ---- Non-visual components ------------------------------------------------------
  TNsSNTPClient *SNTPC;
  TAutoIni *AutoIni;
  TTimer *CheckTimer;
  TTrayIcon *TrayIcon;
  TPopupMenu *RMenu;
  TMenuItem *O1, *L1, *N2, *H1, *W1, *About1, *N1, *HorolanX1;
  TActionList *ActionList1;
  TAction *ExitApp, *VerInfo, *OpenWeb, *AppSetup, *AppConnectNTP, *HelpOnHelp1, *LogonTask;
  TImageList *ImageList1;
  TAltCueFix *AltCueFix1;

  // ---- Handlers -------------------------------------------------------------------
  void FormCreate(TObject *Sender);
  void FormCloseQuery(TObject *Sender, bool &CanClose);
  void Button1Click(TObject *Sender);
  void Button2Click(TObject *Sender);
  void ServerListClick(TObject *Sender);
  void ServerListDblClick(TObject *Sender);
  void CheckTimerTimer(TObject *Sender);
  void SNTPCSNTPTime(TObject *Sender, TDateTime TimeStamp, double LocalOffset, double RoundTripDelay,
                     uint8_t Stratum, bool Synchronized);
  void SNTPCError(TObject *Sender, SOCKET Socket, int32_t ErrCode, const std::string &ErrStr);
  void SNTPCQueryFailed(TObject *Sender, TNsSNTPFailure Failure, TSntpAnswerCheck LastRefusal);
  void TrayIconClick(TObject *Sender);
  void TrayIconMouseDown(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void AppConnectNTPExecute(TObject *Sender);
  void AppSetupExecute(TObject *Sender);
  void HelpOnHelp1Execute(TObject *Sender);
  void OpenWebExecute(TObject *Sender);
  void VerInfoExecute(TObject *Sender);
  void ExitAppExecute(TObject *Sender);
  // Registers the elevated logon task, or removes it when it is there, after asking.
  void LogonTaskExecute(TObject *Sender);
  // The logon task's item: shown where a Task Scheduler exists, checked while registered.
  void RMenuPopup(TObject *Sender);

  // ---- The controller -------------------------------------------------------------
  void StartSync();
  int32_t UpdateIntervalMs();
  void ApplyPriority();
  std::string StatusText();

  // State, readable for tests.
  TDateTime LastSync() const { return FLastSync; }
  bool Deferred() const { return FDeferred; }
  bool RunOnce() const { return FRunOnce; }
  const std::string &ListPath() const { return FListPath; }
  int Failures() const { return FFailures; }
  // The process's exit status: in run-once mode 0 only when the clock was set.
  int ExitCode() const { return FExitCode; }

 protected:
  void WndProc(TMessage &Message) override;
  void WMPowerBroadcast(TMessage &Message);

 private:
  // Builds the designed controls and components (fSetupDesign.cpp).
  void CreateDesign();
  // Puts the values read from the INI file into the controls' ranges, as OK does.
  void CheckLoadedValues();
  // The servers failover takes in turn: the chosen one, then the list's other entries.
  std::vector<std::string> FailoverTurns(const std::string &Chosen) const;
  // The server an attempt asks: the chosen one, or after repeated failures the next
  // entries of the server list in turn.
  std::string ServerForAttempt(const std::string &Chosen) const;
  // An attempt that got no usable time: counted, told, and tried again sooner.
  void AttemptFailed(const std::string &Reason);
  void NoteAdvance();
  std::string FailureStatusText();
  void ShowBalloon(const std::string &Title, const std::string &Text, TBalloonIcon Kind);
  // Ends a run-once start with its result; the reason is shown when the clock was not set
  // and no balloon has said why yet.
  void FinishRunOnce(bool ClockSet, const std::string &Reason = std::string());
  void RunOnceTimerTimer();
  void CloseForRunOnce();
  void MakeRunOnceTimer();
  void ArmRunOnceTimer(UINT Ms);
  void SessionEndQuery(const TMessage &Message);

  TDateTime FLastSync = 0.0;
  bool FDeferred = false;
  bool FRunOnce = false;
  std::string FListPath;
  // A run of refused clock settings is reported once, in a balloon.
  bool FClockSetFailing = false;
  // A resume balloon was shown for the resume now being handled (18 then 7).
  bool FResumeAnnounced = false;
  // Run-once: the attempt was sent and the form closes when it is over.
  bool FRunOnceWaiting = false;
  bool FRunOnceEnded = false;       // its result is in; the form closes (again) on FRunOnceTimer
  int FRunOnceAttempts = 0;
  bool FBalloonShown = false;       // a balloon of this run still wants to be read
  int FExitCode = 0;
  TTimer *FRunOnceTimer = nullptr;  // owned as a component: the wait's time-out
  // Consecutive attempts without a usable time, and what became of the last one.
  int FFailures = 0;
  bool FFailureWarned = false;  // the warning balloon of this run of failures was shown
  TDateTime FLastFailureAt = 0.0;
  std::string FAttemptServer;  // asked by the attempt in flight, or answered last
  bool FAttemptOpen = false;
  bool FTimingExempt = false;  // the attempt in flight was asked for by hand, now
  // The advance as the attempt in flight went out: the answer's way to the clock reads
  // no control. Without an attempt (a handler called directly) the fields are read.
  bool FAdvanceNoted = false;
  int32_t FAdvanceMin = 0, FAdvanceSec = 0;
  bool FZoneWarned = false;    // the machine's time zone was found not to be Japan's
  bool FSessionEnding = false;
  int FSessionHook = 0;
};

extern TSetup *Setup;
