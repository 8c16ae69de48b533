// Actions and action lists. An action and its clients (and its list) know each other
// through free notification, so whichever side is freed first unlinks the other.
#include "forms/ActnList.h"

#include <algorithm>
#include <string>

#include "forms/ImgList.h"

TBasicAction::TBasicAction(TComponent *AOwner) : TComponent(AOwner) {}

TBasicAction::~TBasicAction() = default;

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  // A copy: the handler may free the action (and with it OnExecute).
  TNotifyEvent handler = OnExecute;
  handler(this);
  return true;
}

void TBasicAction::RegisterChanges(TComponent *Client, std::function<void()> Changed) {
  if (!Client) return;
  for (auto &entry : FClients) {
    if (entry.first == Client) {
      entry.second = std::move(Changed);
      return;
    }
  }
  FClients.emplace_back(Client, std::move(Changed));
  FreeNotification(Client);
}

void TBasicAction::UnRegisterChanges(TComponent *Client) {
  auto it =
      std::find_if(FClients.begin(), FClients.end(), [Client](const auto &e) { return e.first == Client; });
  if (it == FClients.end()) return;
  FClients.erase(it);
  RemoveFreeNotification(Client);
}

void TBasicAction::Change() {
  // A callback may unregister clients (its own or others'): work on a copy and skip
  // those that have left meanwhile.
  auto clients = FClients;
  for (auto &entry : clients) {
    bool stillThere = std::any_of(FClients.begin(), FClients.end(),
                                  [&entry](const auto &e) { return e.first == entry.first; });
    if (stillThere && entry.second) entry.second();
  }
}

void TBasicAction::Notification(TComponent *AComponent, TOperation Operation) {
  if (Operation == opRemove) {
    FClients.erase(std::remove_if(FClients.begin(), FClients.end(),
                                  [AComponent](const auto &e) { return e.first == AComponent; }),
                   FClients.end());
  }
  TComponent::Notification(AComponent, Operation);
}

TAction::TAction(TComponent *AOwner) : TBasicAction(AOwner) {}

TAction::~TAction() { SetActionList(nullptr); }

void TAction::SetCaption(const std::string &Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  Change();
}

void TAction::SetImageIndex(int Value) {
  if (Value == FImageIndex) return;
  FImageIndex = Value;
  Change();
}

void TAction::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  Change();
}

void TAction::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  Change();
}

void TAction::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  Change();
}

void TAction::SetActionList(TActionList *Value) {
  if (Value == FActionList) return;
  if (FActionList) {
    auto &actions = FActionList->FActions;
    actions.erase(std::remove(actions.begin(), actions.end(), this), actions.end());
    RemoveFreeNotification(FActionList);
  }
  FActionList = Value;
  if (Value) {
    Value->FActions.push_back(this);
    FreeNotification(Value);
  }
}

bool TAction::Execute() {
  if (!FEnabled) return false;
  return TBasicAction::Execute();
}

void TAction::Notification(TComponent *AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == FActionList) {
    // A dying list's action vector is already gone; a list that only stops being
    // owned by this action is left properly.
    if (AComponent->ComponentState() & csDestroying)
      FActionList = nullptr;
    else
      SetActionList(nullptr);
  }
  TBasicAction::Notification(AComponent, Operation);
}

TActionList::TActionList(TComponent *AOwner) : TComponent(AOwner) {}

TActionList::~TActionList() {
  for (TAction *action : FActions) {
    action->RemoveFreeNotification(this);
    action->FActionList = nullptr;
  }
}

void TActionList::SetImages(TImageList *Value) {
  if (Value == FImages) return;
  if (FImages) RemoveFreeNotification(FImages);
  FImages = Value;
  if (Value) FreeNotification(Value);
}

TAction *TActionList::Actions(int Index) const {
  if (Index < 0 || Index >= ActionCount())
    throw EComponentError("List index out of bounds (" + std::to_string(Index) + ")");
  return FActions[static_cast<size_t>(Index)];
}

void TActionList::Notification(TComponent *AComponent, TOperation Operation) {
  if (Operation == opRemove) {
    if (AComponent == FImages) FImages = nullptr;
    // The link to an action ends with any removal (the base drops the free
    // notification), so the action leaves the list: an action owned by the list that
    // moves to another owner leaves it too, rather than keep a pointer to it.
    auto it = std::find(FActions.begin(), FActions.end(), AComponent);
    if (it != FActions.end()) {
      auto *action = *it;
      FActions.erase(it);
      if (!(AComponent->ComponentState() & csDestroying)) action->FActionList = nullptr;
    }
  }
  TComponent::Notification(AComponent, Operation);
}
