#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/Classes.h"

namespace {

// Records its own destruction, what it was told, and what it saw of its own state then.
class TProbe : public TComponent {
 public:
  TProbe(TComponent *AOwner, const std::string &id, std::vector<std::string> *log)
      : TComponent(AOwner), FLog(log) {
    SetName(id);
  }
  // "*": the component already knew it was being destroyed.
  ~TProbe() override { FLog->push_back("~" + Name() + ((ComponentState() & csDestroying) ? "*" : "")); }
  void PointAt(TProbe *target) {
    FTarget = target;
    if (target) target->FreeNotification(this);
  }
  TProbe *Target() const { return FTarget; }

 protected:
  void Notification(TComponent *AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    FLog->push_back(Name() + (Operation == opInsert ? " +" : " -") + AComponent->Name());
    if (Operation == opRemove && AComponent == FTarget) FTarget = nullptr;
  }

 private:
  std::vector<std::string> *FLog;
  TProbe *FTarget = nullptr;  // not owned
};

class TPoint2 : public TPersistent {
 public:
  int X = 0, Y = 0;
  void Assign(const TPersistent *Source) override {
    if (auto *p = dynamic_cast<const TPoint2 *>(Source)) {
      X = p->X;
      Y = p->Y;
      return;
    }
    TPersistent::Assign(Source);
  }
};

class TOther : public TPersistent {};

TEST(TPersistentTest, AssignCopiesKnownPairsAndNamesBothClassesOtherwise) {
  TPoint2 a, b;
  b.X = 3;
  b.Y = 4;
  a.Assign(&b);
  EXPECT_EQ(a.X, 3);
  EXPECT_EQ(a.Y, 4);

  TOther other;
  try {
    a.Assign(&other);
    FAIL() << "no exception";
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TOther to a TPoint2");
  }
  try {
    a.Assign(nullptr);
    FAIL() << "no exception";
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "Cannot assign a nil to a TPoint2");
  }
  EXPECT_EQ(a.X, 3);
}

TEST(TComponentTest, OwnerListsFindsAndDestroysInReverseOrder) {
  std::vector<std::string> log;
  auto *owner = new TProbe(nullptr, "owner", &log);
  auto *a = new TProbe(owner, "a", &log);
  auto *b = new TProbe(owner, "b", &log);
  auto *c = new TProbe(owner, "c", &log);
  a->SetName("Alpha");
  b->SetName("Beta");
  ASSERT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(owner->Components(2), c);
  EXPECT_EQ(c->ComponentIndex(), 2);
  EXPECT_EQ(owner->ComponentIndex(), -1);
  EXPECT_EQ(a->Owner(), owner);
  EXPECT_EQ(owner->FindComponent("BETA"), b);
  EXPECT_EQ(owner->FindComponent("Gamma"), nullptr);
  EXPECT_EQ(owner->FindComponent(""), nullptr) << "an unnamed component is never found";
  EXPECT_THROW(owner->Components(3), EComponentError);
  EXPECT_THROW(owner->Components(-1), EComponentError);

  log.clear();
  delete owner;
  // Children are marked as destroying before any of them goes, the last inserted first.
  EXPECT_EQ(log, (std::vector<std::string>{"~owner", "~c*", "~Beta*", "~Alpha*"}));
}

TEST(TComponentTest, NamesAreIdentifiersUniqueWithinTheOwner) {
  TComponent owner(nullptr);
  auto *a = new TComponent(&owner);
  auto *b = new TComponent(&owner);
  a->SetName("Edit1");
  EXPECT_THROW(b->SetName("edit1"), EComponentError) << "names compare without case";
  EXPECT_EQ(b->Name(), "");
  b->SetName("Edit2");
  a->SetName("EDIT1");  // renaming itself is no clash
  EXPECT_EQ(a->Name(), "EDIT1");
  for (const char *bad : {"1Edit", "Edit 1", "Ed-it", "情報"})
    EXPECT_THROW(a->SetName(bad), EComponentError) << bad;
  a->SetName("");
  b->SetName("_x9");
  EXPECT_EQ(b->Name(), "_x9");

  // Moving to an owner that already has the name is refused and leaves it where it was.
  TComponent other(nullptr);
  auto *c = new TComponent(&other);
  c->SetName("_X9");
  EXPECT_THROW(owner.InsertComponent(c), EComponentError);
  EXPECT_EQ(c->Owner(), &other);
  c->SetName("Moved");
  owner.InsertComponent(c);
  EXPECT_EQ(c->Owner(), &owner);
  EXPECT_EQ(other.ComponentCount(), 0);
  EXPECT_EQ(owner.ComponentCount(), 3);
}

TEST(TComponentTest, OwnerHearsInsertAndRemove) {
  std::vector<std::string> log;
  TProbe owner(nullptr, "owner", &log);
  auto *a = new TProbe(&owner, "a", &log);
  auto *b = new TProbe(&owner, "b", &log);
  delete a;
  owner.RemoveComponent(b);
  EXPECT_EQ(b->Owner(), nullptr);
  EXPECT_EQ(owner.ComponentCount(), 0);
  // The owner hears of an insertion before the newcomer has a name.
  EXPECT_EQ(log, (std::vector<std::string>{"owner +", "owner +", "~a", "owner -a", "owner -b"}));
  delete b;
}

TEST(TComponentTest, FreeNotificationClearsReferencesWhicheverSideGoesFirst) {
  std::vector<std::string> log;
  {
    // Pointer into another owner's component: the pointer is cleared when it goes.
    TProbe form1(nullptr, "form1", &log), form2(nullptr, "form2", &log);
    auto *viewer = new TProbe(&form1, "viewer", &log);
    auto *target = new TProbe(&form2, "target", &log);
    viewer->PointAt(target);
    target->FreeNotification(viewer);  // registering twice is one registration
    log.clear();
    delete target;
    EXPECT_EQ(viewer->Target(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"~target", "viewer -target", "form2 -target"}));
  }
  {
    // The one who asked goes first: the target must not call it later (ASan would tell).
    TProbe viewer(nullptr, "viewer", &log);
    auto *target = new TProbe(nullptr, "target", &log);
    {
      TProbe early(nullptr, "early", &log);
      early.PointAt(target);
    }
    log.clear();
    viewer.PointAt(target);
    viewer.RemoveFreeNotification(target);
    delete target;
    EXPECT_EQ(log, (std::vector<std::string>{"~target"}));
    EXPECT_EQ(viewer.Target(), target) << "a withdrawn registration is not told";
    viewer.PointAt(nullptr);
  }
  {
    // Siblings pointing at each other while their owner destroys them both.
    auto *form = new TProbe(nullptr, "form", &log);
    auto *label = new TProbe(form, "label", &log);
    auto *edit = new TProbe(form, "edit", &log);
    label->PointAt(edit);
    edit->PointAt(label);
    log.clear();
    delete form;
    EXPECT_EQ(log, (std::vector<std::string>{"~form", "~edit*", "label -edit", "~label*"}));
  }
}

TEST(TObjectTest, ClassNameIsTheSourceName) {
  TComponent c(nullptr);
  EXPECT_EQ(c.ClassName(), "TComponent");
  std::vector<std::string> log;
  TProbe p(nullptr, "p", &log);
  EXPECT_EQ(static_cast<TObject &>(p).ClassName(), "TProbe") << "the namespace is not part of it";
}

}  // namespace
