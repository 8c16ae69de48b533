// The settings dialog's handlers: OK, Cancel, the close query and the server list.
#include <initializer_list>

#include "app/ServerList.h"
#include "app/fSetup.h"

namespace {

// The bounds check a spin edit makes when the focus leaves it: a number outside the
// range is clamped; any other text is left for the reader of the value.
void CheckSpinValue(TSpinEdit *Spin) {
  const int32_t v = Spin->Value();
  if (Spin->MinValue() != Spin->MaxValue() && (v < Spin->MinValue() || v > Spin->MaxValue()))
    Spin->SetValue(v);
}

}  // namespace

void TSetup::CheckLoadedValues() {
  // A file edited by hand, or by an older copy, must not stop the schedule (an interval
  // of 0) or make every answer unusable (an advance of 5000 minutes).
  for (TSpinEdit *spin : {OffsetMin, OffsetSec, UpdateTime}) CheckSpinValue(spin);
  // A choice outside the items reads back as none chosen: take the design's.
  if (ClickModeSelect->ItemIndex() < 0) ClickModeSelect->SetItemIndex(0);
  if (PRIORITY->ItemIndex() < 0) PRIORITY->SetItemIndex(1);
}

void TSetup::Button1Click(TObject *) {
  // OK does not move the focus, so a value still being typed has not been checked yet:
  // without this it would be saved and used out of range.
  for (TSpinEdit *spin : {OffsetMin, OffsetSec, UpdateTime}) CheckSpinValue(spin);
  ApplyPriority();
  AutoIni->SaveToIni();
  const std::string server = UseNTPServer->Text();
  // The list's exact search finds no item for an empty text; an empty entry still
  // counts as the empty server being in the list.
  const int found = server.empty() ? ServerList->Items()->IndexOf(server) : ServerList->FindExact(server);
  if (found < 0) {
    if (!server.empty()) ServerList->Items()->Insert(0, server);
    // A failure goes to the error report and leaves the dialog open.
    WriteServerListFile(FListPath, *ServerList->Items());
  }
  CheckTimer->SetInterval(static_cast<UINT>(UpdateIntervalMs()));
  Hide();
}

void TSetup::Button2Click(TObject *) {
  AutoIni->LoadFromIni();
  CheckLoadedValues();
  Hide();
}

void TSetup::FormCloseQuery(TObject *, bool &CanClose) {
  // Closing the shown dialog only hides it; closing the hidden form ends the program.
  // A log-off or shut-down is never refused: it saves what the dialog holds.
  CanClose = FSessionEnding || !Visible();
  Hide();
  if (!CanClose) return;
  try {
    AutoIni->SaveToIni();
  } catch (std::exception &e) {
    // Reported, but the program still ends: a full disk must not keep it running.
    Application->HandleException(e);
  }
}

void TSetup::SessionEndQuery(const TMessage &Message) {
  if (Message.Msg == WM_QUERYENDSESSION) FSessionEnding = true;
  if (Message.Msg == WM_ENDSESSION && !Message.WParam) FSessionEnding = false;  // the end was called off
}

void TSetup::ServerListClick(TObject *) {
  const int i = ServerList->ItemIndex();
  if (i >= 0) UseNTPServer->SetText(ServerList->Items()->Get(i));
}

void TSetup::ServerListDblClick(TObject *) {
  // The user asked for this server now: no timing window, no deferral.
  const int i = ServerList->ItemIndex();
  if (i < 0) return;
  SNTPC->Server = ServerList->Items()->Get(i);
  FAttemptServer = SNTPC->Server;
  FAttemptOpen = true;
  FTimingExempt = true;
  NoteAdvance();
  SNTPC->RequestTime();
}
