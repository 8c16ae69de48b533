// The keyboard-cue redraw fix: every idle moment hooks new forms, forgets destroyed ones
// and repaints the forms that saw WM_UPDATEUISTATE since the last pass.
#include "controls/AltCueFix.h"

#include "forms/ComCtrls.h"
#include "forms/StdCtrls.h"
#include "platform/uistate.h"
#include "platform/winapi.h"

// What the hook installed in a form's WindowProc refers to. Copies of the hook can
// outlive the record (a later hook keeps one as its "previous" procedure), so they hold
// this instead of the record: once the record is gone they pass messages to Org.
struct TFormObj::Link {
  TFormObj *Obj = nullptr;  // not owned; nullptr once the record is freed
  TWndMethod Org;           // the replaced procedure, for copies that outlive the record
};

struct TFormObj::Hook {
  std::shared_ptr<Link> L;
  void operator()(TMessage &Message) const {
    // The record, or even this hook, may be freed while the message is handled.
    const std::shared_ptr<Link> keep = L;
    if (keep->Obj) {
      keep->Obj->FormWndProc(Message);
    } else if (keep->Org) {
      const TWndMethod org = keep->Org;
      org(Message);
    }
  }
};

TFormObj::TFormObj(TCustomForm *AForm, bool ARepaintAll)
    : FForm(AForm), FRepaintAll(ARepaintAll), FLink(std::make_shared<Link>()) {
  FLink->Obj = this;
  FOrgWndProc = FForm->WindowProc;
  FForm->WindowProc = Hook{FLink};
}

TFormObj::~TFormObj() {
  FLink->Obj = nullptr;
  if (!FForm) return;  // the form and its procedures are gone; stale copies do nothing
  const Hook *installed = FForm->WindowProc.target<Hook>();
  if (installed && installed->L == FLink)
    FForm->WindowProc = std::move(FOrgWndProc);
  else
    FLink->Org = std::move(FOrgWndProc);  // hooked over: keep the chain whole
}

void TFormObj::FormWndProc(TMessage &Message) {
  const std::shared_ptr<Link> link = FLink;
  const TWndMethod org = FOrgWndProc;  // a copy: the call may free this record
  org(Message);
  if (Message.Msg == WM_UPDATEUISTATE && link->Obj) link->Obj->FNeedRepaint = true;
}

void TFormObj::RepaintIfNeeded() {
  if (!FNeedRepaint || !FForm) return;
  FNeedRepaint = false;
  if (FRepaintAll)
    TAltCueFix::RepaintAllControls(FForm);
  else
    TAltCueFix::RepaintCueControls(FForm);
}

TAltCueFix::TAltCueFix(TComponent *AOwner) : TComponent(AOwner) {
  if (!IsVistaThemed() || (ComponentState() & csDesigning)) return;
  FList = std::make_unique<std::vector<std::unique_ptr<TFormObj>>>();
  FAppEvents = new TApplicationEvents(nullptr);
  FAppEvents->OnIdle = [this](TObject *Sender, bool &Done) { AppIdle(Sender, Done); };
}

TAltCueFix::~TAltCueFix() {
  delete FAppEvents;
  FAppEvents = nullptr;
  if (!FList) return;
  for (const auto &obj : *FList)
    if (obj->FForm) RemoveFreeNotification(obj->FForm);
  FList.reset();  // each record puts its form's procedure back
}

bool TAltCueFix::IsVistaThemed() const {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA record size");
  return GetVersionExA(&info) && info.dwMajorVersion >= 6 && VisualStylesInEffect();
}

void TAltCueFix::AppIdle(TObject *, bool &) {
  for (const auto &obj : *FList) obj->FUsed = false;
  const int formCount = Screen ? Screen->FormCount() : 0;
  for (int i = 0; i < formCount; ++i) {
    TCustomForm *form = Screen->Forms(i);
    TFormObj *found = nullptr;
    for (const auto &obj : *FList)
      if (obj->FForm == form) found = obj.get();
    if (found) {
      found->FUsed = true;
    } else {
      FList->push_back(std::make_unique<TFormObj>(form, FRepaintAll));
      // Tells us when the form dies, so that no record ever touches a freed form.
      FreeNotification(form);
    }
  }
  for (int i = static_cast<int>(FList->size()) - 1; i >= 0; --i) {
    if (i >= static_cast<int>(FList->size())) continue;
    TFormObj *obj = (*FList)[i].get();
    if (obj->FUsed) {
      obj->RepaintIfNeeded();
    } else {
      if (obj->FForm) RemoveFreeNotification(obj->FForm);
      FList->erase(FList->begin() + i);
    }
  }
}

void TAltCueFix::Notification(TComponent *AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || !FList) return;
  for (const auto &obj : *FList)
    if (obj->FForm == AComponent) obj->FormGone();
}

void TAltCueFix::RepaintAllControls(TControl *Control) {
  auto *control = dynamic_cast<TWinControl *>(Control);
  if (!control) return;
  control->Repaint();
  for (int i = 0; i < control->ControlCount(); ++i) RepaintAllControls(control->Controls(i));
}

void TAltCueFix::RepaintCueControls(TControl *Control) {
  auto *control = dynamic_cast<TWinControl *>(Control);
  if (!control) return;
  if (dynamic_cast<TButtonControl *>(control) || dynamic_cast<TStaticText *>(control)) {
    control->Repaint();
    return;
  }
  if (auto *page = dynamic_cast<TTabSheet *>(control))
    if (page->PageControl() && page->PageControl()->ActivePage() != page) return;
  for (int i = 0; i < control->ControlCount(); ++i) RepaintCueControls(control->Controls(i));
}
