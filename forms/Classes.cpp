// Object model: assignment between persistent objects, ownership and free notification
// between components.
#include "forms/Classes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <typeinfo>

bool IsMultiThread = false;

namespace {

bool SameTextAscii(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

bool IsIdentifier(const std::string &s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

}  // namespace

std::string TObject::ClassName() const {
  const char *raw = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void *)> demangled(abi::__cxa_demangle(raw, nullptr, nullptr, &status),
                                                    std::free);
  std::string name = status == 0 && demangled ? std::string(demangled.get()) : std::string(raw);
  // Unqualified, as messages show it: the last "::" outside template arguments.
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    if (name[i] == '>') --depth;
    if (depth == 0 && name.compare(i, 2, "::") == 0) start = i + 2;
  }
  return name.substr(start);
}

void TPersistent::Assign(const TPersistent *Source) {
  if (Source == nullptr) AssignError(nullptr);
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent *Dest) const { Dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent *Source) const {
  std::string from = Source ? Source->ClassName() : std::string("nil");
  throw Exception("Cannot assign a " + from + " to a " + ClassName());
}

TComponent::TComponent(TComponent *AOwner) {
  if (AOwner) {
    AOwner->InsertComponent(this);
    if (AOwner->FComponentState & csLoading) FComponentState |= csLoading;
  }
}

void TComponent::Loaded() { FComponentState &= ~csLoading; }

TComponent::~TComponent() {
  Destroying();
  while (!FFreeNotifies.empty()) {
    TComponent *partner = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    partner->Unlink(this);
    partner->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::SetName(const std::string &Value) {
  if (Value == FName) return;
  if (!Value.empty() && !IsIdentifier(Value))
    throw EComponentError("\"" + Value + "\" is not a valid component name");
  if (FOwner && !Value.empty()) {
    TComponent *other = FOwner->FindComponent(Value);
    if (other && other != this) throw EComponentError("A component named " + Value + " already exists");
  }
  FName = Value;
}

TComponent *TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EComponentError("List index out of bounds (" + std::to_string(Index) + ")");
  return FComponents[static_cast<size_t>(Index)];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto &list = FOwner->FComponents;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

TComponent *TComponent::FindComponent(const std::string &AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent *c : FComponents)
    if (SameTextAscii(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent *AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (!AComponent->FName.empty() && FindComponent(AComponent->FName))
    throw EComponentError("A component named " + AComponent->FName + " already exists");
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent *AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  FComponents.erase(std::find(FComponents.begin(), FComponents.end(), AComponent));
  AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  // Taken off the list before it dies, so its destructor does not call back into us.
  while (!FComponents.empty()) {
    TComponent *last = FComponents.back();
    FComponents.pop_back();
    last->FOwner = nullptr;
    delete last;
  }
}

void TComponent::FreeNotification(TComponent *AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(AComponent);
    AComponent->FFreeNotifies.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent *AComponent) {
  if (!AComponent) return;
  Unlink(AComponent);
  AComponent->Unlink(this);
}

void TComponent::Unlink(TComponent *AComponent) {
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent),
                      FFreeNotifies.end());
}

void TComponent::Notification(TComponent *AComponent, TOperation Operation) {
  if (Operation == opRemove) RemoveFreeNotification(AComponent);
}

void TComponent::Destroying() {
  if (FComponentState & csDestroying) return;
  FComponentState |= csDestroying;
  for (TComponent *c : FComponents) c->Destroying();
}

// ---- String lists ---------------------------------------------------------------------------

namespace {

[[noreturn]] void ListIndexError(int Index) {
  throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
}

}  // namespace

void TStrings::Put(int Index, const std::string &S) {
  TObject *object = GetObject(Index);
  Delete(Index);
  Insert(Index, S);
  PutObject(Index, object);
}

TObject *TStrings::GetObject(int) const { return nullptr; }

void TStrings::PutObject(int, TObject *) {}

int TStrings::Add(const std::string &S) {
  int index = Count();
  Insert(index, S);
  return index;
}

int TStrings::AddObject(const std::string &S, TObject *AObject) {
  int index = Add(S);
  PutObject(index, AObject);
  return index;
}

void TStrings::AddStrings(const TStrings *Strings) {
  if (!Strings) return;
  int n = Strings->Count();  // fixed first: a list may be added to itself
  BeginUpdate();
  try {
    for (int i = 0; i < n; ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

namespace {

// Like SameTextAscii, but the trail byte of a double-byte CP932 character (which may
// look like an ASCII letter: ア is 0x83 0x41, ヂ 0x83 0x61) is compared as it is.
bool SameTextCp932(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    bool lead = (x >= 0x81 && x <= 0x9F) || (x >= 0xE0 && x <= 0xFC);
    if (lead) {
      if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace

int TStrings::IndexOf(const std::string &S) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (SameTextCp932(Get(i), S)) return i;
  return -1;
}

std::string TStrings::Text() const {
  std::string text;
  for (int i = 0, n = Count(); i < n; ++i) {
    text += Get(i);
    text += "\r\n";
  }
  return text;
}

void TStrings::SetText(const std::string &Value) {
  BeginUpdate();
  try {
    Clear();
    // CR and LF never occur inside a double-byte CP932 character, so bytes can be split.
    size_t start = 0;
    while (start < Value.size()) {
      size_t end = Value.find_first_of("\r\n", start);
      if (end == std::string::npos) {
        Add(Value.substr(start));
        break;
      }
      Add(Value.substr(start, end - start));
      start = end + 1;
      if (Value[end] == '\r' && start < Value.size() && Value[start] == '\n') ++start;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (FUpdateCount == 0) return;  // unbalanced: nothing to end
  if (--FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::Assign(const TPersistent *Source) {
  if (Source == this) return;
  if (auto *strings = dynamic_cast<const TStrings *>(Source)) {
    BeginUpdate();
    try {
      Clear();
      AddStrings(strings);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

std::string TStringList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<size_t>(Index)].S;
}

void TStringList::Put(int Index, const std::string &S) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  FItems[static_cast<size_t>(Index)].S = S;
  Changed();
}

TObject *TStringList::GetObject(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<size_t>(Index)].Object;
}

void TStringList::PutObject(int Index, TObject *AObject) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  FItems[static_cast<size_t>(Index)].Object = AObject;
  Changed();
}

void TStringList::Insert(int Index, const std::string &S) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  FItems.insert(FItems.begin() + Index, Item{S, nullptr});
  Changed();
}

void TStringList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  FItems.erase(FItems.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (FItems.empty()) return;
  FItems.clear();
  Changed();
}

void TStringList::Changed() {
  if (UpdateCount() > 0) {
    FChangedInUpdate = true;
    return;
  }
  if (OnChange) OnChange(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating || !FChangedInUpdate) return;
  FChangedInUpdate = false;
  Changed();
}
