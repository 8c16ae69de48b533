// The object model every component of the program stands on: objects that can copy
// each other (TPersistent) and components that own one another and hear when a
// component they refer to goes away (TComponent).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "forms/Exception.h"

// Set once a second thread has been started. This program never starts one, so the
// locks of the socket framework are never entered; the flag keeps them honest if it did.
extern bool IsMultiThread;

class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

class TObject {
 public:
  virtual ~TObject() = default;
  // The class name as written in the source ("TComponent"), for messages.
  std::string ClassName() const;
};

// The plain event: Sender is the object that raises it.
using TNotifyEvent = std::function<void(TObject *Sender)>;

class TPersistent : public TObject {
 public:
  // Copies Source into this object. The base asks Source to do it (AssignTo), and a
  // pair that neither side knows raises "Cannot assign a TX to a TY".
  virtual void Assign(const TPersistent *Source);

 protected:
  virtual void AssignTo(TPersistent *Dest) const;

 private:
  [[noreturn]] void AssignError(const TPersistent *Source) const;
};

enum TOperation { opInsert, opRemove };

// Bits of TComponent::ComponentState().
enum : unsigned { csDestroying = 1u };

class TComponent : public TPersistent {
 public:
  // An owned component must live on the heap: the owner deletes it.
  explicit TComponent(TComponent *AOwner);
  ~TComponent() override;
  TComponent(const TComponent &) = delete;
  TComponent &operator=(const TComponent &) = delete;

  TComponent *Owner() const { return FOwner; }
  const std::string &Name() const { return FName; }
  // A name is empty or an identifier, unique (ignoring case) among the owner's components.
  void SetName(const std::string &Value);
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t Value) { FTag = Value; }
  unsigned ComponentState() const { return FComponentState; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent *Components(int Index) const;
  // Position in the owner's list, -1 without owner.
  int ComponentIndex() const;
  // The owned component of that name (ignoring case), or nullptr.
  TComponent *FindComponent(const std::string &AName) const;

  void InsertComponent(TComponent *AComponent);
  void RemoveComponent(TComponent *AComponent);
  // Deletes the owned components, the last inserted first.
  void DestroyComponents();

  // Asks that AComponent tell this component, through Notification(…, opRemove), when
  // it is destroyed. The registration is mutual and goes away with either side.
  void FreeNotification(TComponent *AComponent);
  void RemoveFreeNotification(TComponent *AComponent);

 protected:
  // Called on the owner when a component is inserted or removed, and on every
  // free-notification partner when a component is destroyed. Overrides that keep a
  // pointer to AComponent clear it on opRemove and call the base.
  virtual void Notification(TComponent *AComponent, TOperation Operation);
  // Marks this component and everything it owns as being destroyed.
  void Destroying();

 private:
  void Unlink(TComponent *AComponent);

  TComponent *FOwner = nullptr;             // not owned
  std::vector<TComponent *> FComponents;    // owned, in insertion order
  std::vector<TComponent *> FFreeNotifies;  // not owned: partners to tell when one side goes
  std::string FName;
  intptr_t FTag = 0;
  unsigned FComponentState = 0;
};
