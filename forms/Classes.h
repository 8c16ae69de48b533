// The object model every component of the program stands on: objects that can copy
// each other (TPersistent) and components that own one another and hear when a
// component they refer to goes away (TComponent).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "forms/Exception.h"
#include "platform/winapi.h"

// The SDK names the GDI call GetObject through a macro, which would rename
// TStrings::GetObject in every file that saw it; GDI callers say GetObjectA.
#undef GetObject

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

// Bits of TComponent::ComponentState(). csLoading is set while a form's constructor
// builds its design (a component created with a loading owner starts loading too);
// csDesigning is never set in this program, it only marks designer-only paths.
enum : unsigned { csDestroying = 1u, csLoading = 2u, csDesigning = 4u };

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
  // Ends loading: clears csLoading. Overrides that act once their stored properties
  // are set (as a designed form leaves them) do so after calling the base.
  virtual void Loaded();

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
  void SetComponentState(unsigned Bits) { FComponentState |= Bits; }
  void ClearComponentState(unsigned Bits) { FComponentState &= ~Bits; }

 private:
  void Unlink(TComponent *AComponent);

  TComponent *FOwner = nullptr;             // not owned
  std::vector<TComponent *> FComponents;    // owned, in insertion order
  std::vector<TComponent *> FFreeNotifies;  // not owned: partners to tell when one side goes
  std::string FName;
  intptr_t FTag = 0;
  unsigned FComponentState = 0;
};

// An ordered list of CP932 strings, each with an object pointer (not owned). Controls
// that keep items (list boxes, radio groups, memos) expose their items as a TStrings
// whose storage is the control itself; TStringList keeps them in memory.
class TStrings : public TPersistent {
 public:
  virtual int Count() const = 0;
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string &S);    // base: Delete + Insert, object kept
  virtual TObject *GetObject(int Index) const;          // base: nullptr
  virtual void PutObject(int Index, TObject *AObject);  // base: ignored
  virtual void Insert(int Index, const std::string &S) = 0;
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  // Add appends and returns the new index.
  virtual int Add(const std::string &S);
  int AddObject(const std::string &S, TObject *AObject);
  void AddStrings(const TStrings *Strings);
  // First index whose string equals S ignoring the case of ASCII letters (double-byte
  // characters compared whole), -1 when none.
  virtual int IndexOf(const std::string &S) const;
  std::string operator[](int Index) const { return Get(Index); }
  std::string Strings(int Index) const { return Get(Index); }
  // The lines joined, each followed by CR LF; SetText splits at CR LF, CR or LF.
  std::string Text() const;
  void SetText(const std::string &Value);
  // Nested calls allowed; list-backed controls redraw once at the outermost end.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  void Assign(const TPersistent *Source) override;

 protected:
  // Raised when the outermost update ends or, outside an update, after each change.
  virtual void SetUpdateState(bool Updating);

 private:
  int FUpdateCount = 0;
};

class TStringList : public TStrings {
 public:
  int Count() const override { return static_cast<int>(FItems.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string &S) override;
  TObject *GetObject(int Index) const override;
  void PutObject(int Index, TObject *AObject) override;
  void Insert(int Index, const std::string &S) override;
  void Delete(int Index) override;
  void Clear() override;
  // After each change, or once at the end of an update in which something changed.
  TNotifyEvent OnChange;

 protected:
  virtual void Changed();
  void SetUpdateState(bool Updating) override;

 private:
  struct Item {
    std::string S;
    TObject *Object;  // not owned
  };
  std::vector<Item> FItems;
  bool FChangedInUpdate = false;
};

// Raised for an index outside a list: "List index out of bounds (%d)".
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};
