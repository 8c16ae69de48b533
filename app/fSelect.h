// The first-run wizard: asks for the user's Internet provider, then for one of its NTP
// servers, writes the chosen host name into the settings dialog and opens it there.
// It saves nothing itself; the dialog's OK does.
#pragma once

#include "forms/ComCtrls.h"
#include "forms/ExtCtrls.h"
#include "forms/Forms.h"
#include "forms/StdCtrls.h"

class TSelectForm : public TForm {
 public:
  explicit TSelectForm(TComponent *AOwner);

  TBevel *Bevel1;
  TPanel *Panel1;
  TPageControl *NTPPage;
  TTabSheet *ISP, *OCN, *plala, *WAKWAK, *DION, *USEN, *biglobe;
  // Page ISP
  TRadioGroup *SelectISP;
  TButton *Button1;
  // Provider pages: heading, advice, the provider's servers, "次へ".
  TStaticText *StaticTextOCN, *StaticTextplala, *StaticTextWAKWAK, *StaticTextDION, *StaticTextUSEN,
      *StaticTextbiglobe;
  TMemo *MemoOCN, *Memoplala, *MemoWAKWAK, *MemoDION, *MemoUSEN, *Memobiglobe;
  TRadioGroup *SelectOCN, *Selectplala, *SelectWAKWAK, *SelectDION, *SelectUSEN, *Selectbiglobe;
  TButton *ButtonOCN, *Buttonplala, *ButtonWAKWAK, *ButtonDION, *ButtonUSEN, *Buttonbiglobe;

  void FormCreate(TObject *Sender);
  void Button1Click(TObject *Sender);
  void ButtonOCNClick(TObject *Sender);
  void ButtonplalaClick(TObject *Sender);
  void ButtonWAKWAKClick(TObject *Sender);
  void ButtonDIONClick(TObject *Sender);
  void ButtonUSENClick(TObject *Sender);
  void ButtonbiglobeClick(TObject *Sender);

 private:
  void FinishWizard();
};

extern TSelectForm *SelectForm;
