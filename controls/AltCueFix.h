// Redraws the application's forms after Windows changes the keyboard-cue state (Alt
// shows or hides the accelerator underlines), which themed controls on Vista and later
// otherwise leave half drawn. One instance looks after every form of the application.
#pragma once

#include <memory>
#include <vector>

#include "forms/Forms.h"

class TControl;

// One hooked form: its message procedure runs through FormWndProc, which notes the cue
// changes for the next idle moment.
class TFormObj {
 public:
  TFormObj(TCustomForm *AForm, bool ARepaintAll);
  // Puts the form's message procedure back; when another hook was installed over ours,
  // that hook's call into us passes straight through to the procedure we replaced.
  ~TFormObj();
  TFormObj(const TFormObj &) = delete;
  TFormObj &operator=(const TFormObj &) = delete;

  void FormWndProc(TMessage &Message);
  void RepaintIfNeeded();
  // The form is being destroyed: nothing of it may be touched any more.
  void FormGone() { FForm = nullptr; }

  TCustomForm *FForm;  // not owned; nullptr once the form is destroyed
  TWndMethod FOrgWndProc;
  bool FUsed = true;
  bool FNeedRepaint = false;
  bool FRepaintAll;

 private:
  struct Link;
  struct Hook;
  std::shared_ptr<Link> FLink;  // shared with every copy of the hook
};

class TAltCueFix : public TComponent {
 public:
  explicit TAltCueFix(TComponent *AOwner);
  ~TAltCueFix() override;

  // Copied into a form's record when the form is hooked.
  bool RepaintAll() const { return FRepaintAll; }
  void SetRepaintAll(bool Value) { FRepaintAll = Value; }

  // Windows 6 or later with visual styles in effect.
  bool IsVistaThemed() const;
  // False when the fix is inert (older Windows, no visual styles, design mode).
  bool Active() const { return FList != nullptr; }
  int FormObjCount() const { return FList ? static_cast<int>(FList->size()) : 0; }
  TFormObj *FormObjs(int Index) const { return (*FList)[Index].get(); }

  void AppIdle(TObject *Sender, bool &Done);

  static void RepaintAllControls(TControl *Control);
  static void RepaintCueControls(TControl *Control);

 protected:
  void Notification(TComponent *AComponent, TOperation Operation) override;

 private:
  bool FRepaintAll = true;
  std::unique_ptr<std::vector<std::unique_ptr<TFormObj>>> FList;  // owned; only while active
  TApplicationEvents *FAppEvents = nullptr;                       // owned; only while active
};
