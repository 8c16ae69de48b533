// Actions: a command with a caption, an image and a handler, shared by the menu items
// (and other clients) bound to it, which follow its caption, image and state.
#pragma once

#include <string>
#include <vector>

#include "forms/Classes.h"

class TImageList;
class TActionList;

class TBasicAction : public TComponent {
 public:
  explicit TBasicAction(TComponent *AOwner);
  ~TBasicAction() override;
  // Raises OnExecute; false when none is assigned (or the action is disabled).
  virtual bool Execute();
  TNotifyEvent OnExecute;

  // Clients hear of every change through their callback; the registration goes
  // away with the client (free notification). Registering again replaces the callback.
  void RegisterChanges(TComponent *Client, std::function<void()> Changed);
  void UnRegisterChanges(TComponent *Client);

 protected:
  // Calls every client's callback.
  void Change();
  void Notification(TComponent *AComponent, TOperation Operation) override;

 private:
  std::vector<std::pair<TComponent *, std::function<void()>>> FClients;  // not owned
};

class TAction : public TBasicAction {
 public:
  explicit TAction(TComponent *AOwner);
  ~TAction() override;
  const std::string &Caption() const { return FCaption; }
  void SetCaption(const std::string &Value);
  int ImageIndex() const { return FImageIndex; }  // -1: none
  void SetImageIndex(int Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  std::string Hint;
  // Joins Value's list of actions (and leaves the previous one's).
  TActionList *ActionList() const { return FActionList; }
  void SetActionList(TActionList *Value);
  // Runs OnExecute only while the action is enabled.
  bool Execute() override;

 protected:
  void Notification(TComponent *AComponent, TOperation Operation) override;

 private:
  friend class TActionList;
  std::string FCaption;
  int FImageIndex = -1;
  bool FEnabled = true;
  bool FVisible = true;
  bool FChecked = false;
  TActionList *FActionList = nullptr;  // not owned
};

class TActionList : public TComponent {
 public:
  explicit TActionList(TComponent *AOwner);
  ~TActionList() override;
  TImageList *Images() const { return FImages; }
  void SetImages(TImageList *Value);
  // The actions that joined the list, in the order they joined.
  int ActionCount() const { return static_cast<int>(FActions.size()); }
  // An index outside the list raises EComponentError.
  TAction *Actions(int Index) const;

 protected:
  void Notification(TComponent *AComponent, TOperation Operation) override;

 private:
  friend class TAction;
  std::vector<TAction *> FActions;  // not owned
  TImageList *FImages = nullptr;    // not owned: cleared when it goes
};
