// The keyboard-cue redraw fix: inert where it is not needed, hooks every form at the
// next idle moment, repaints a form once per cue change after the form has handled it,
// and never leaves a form calling into a freed record.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/AltCueFix.h"
#include "forms/ComCtrls.h"
#include "forms/ExtCtrls.h"
#include "forms/Forms.h"
#include "forms/StdCtrls.h"
#include "platform/winapi.h"

namespace {

std::vector<std::string> *Log = nullptr;  // not owned: the running test's log

// A control that notes each repaint by name.
template <class Base>
class Counted : public Base {
 public:
  using Base::Base;
  void Repaint() override {
    if (Log) Log->push_back("repaint " + this->Name());
    Base::Repaint();
  }
};

// Stands for the form's own handling of a cue change (and for any hook installed before
// the fix); its result must come back to the sender.
struct FormHandling {
  TWndMethod Previous;
  void operator()(TMessage &Message) const {
    Previous(Message);
    if (Message.Msg == WM_UPDATEUISTATE) {
      if (Log) Log->push_back("handled");
      Message.Result = 1234;
    }
  }
};

// A hook installed over the fix's, keeping the fix's hook as its previous procedure.
struct LaterHook {
  TWndMethod Previous;
  int *Calls;
  void operator()(TMessage &Message) const {
    ++*Calls;
    Previous(Message);
  }
};

class TCueForm : public TForm {
 public:
  explicit TCueForm(TComponent *AOwner) : TForm(AOwner) {
    SetBounds(10, 10, 320, 240);
    Label = Add<Counted<TLabel>>(this, "Label");
    Button = Add<Counted<TButton>>(this, "Button");
    Check = Add<Counted<TCheckBox>>(this, "Check");
    Static = Add<Counted<TStaticText>>(this, "Static");
    Edit = Add<Counted<TEdit>>(this, "Edit");
    Group = Add<Counted<TGroupBox>>(this, "Group");
    GroupRadio = Add<Counted<TRadioButton>>(Group, "GroupRadio");
    Pages = Add<Counted<TPageControl>>(this, "Pages");
    Page1 = AddPage("Page1");
    Page1Button = Add<Counted<TButton>>(Page1, "Page1Button");
    Page2 = AddPage("Page2");
    Page2Button = Add<Counted<TButton>>(Page2, "Page2Button");
    Page2Check = Add<Counted<TCheckBox>>(Page2, "Page2Check");
    Pages->SetActivePage(Page1);
    WindowProc = FormHandling{WindowProc};
  }

  template <class T>
  T *Add(TWinControl *parent, const char *name) {
    T *control = new T(this);
    control->SetName(name);
    control->SetParent(parent);
    return control;
  }
  Counted<TTabSheet> *AddPage(const char *name) {
    auto *page = new Counted<TTabSheet>(this);
    page->SetName(name);
    page->SetPageControl(Pages);
    return page;
  }
  void Repaint() override {
    if (Log) Log->push_back("repaint form");
    TForm::Repaint();
  }
  LRESULT CueChange() {
    return SendMessageA(Handle(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL), 0);
  }
  bool Hooked() const { return WindowProc.target<FormHandling>() == nullptr; }

  TLabel *Label;
  TButton *Button;
  TCheckBox *Check;
  TStaticText *Static;
  TEdit *Edit;
  TGroupBox *Group;
  TRadioButton *GroupRadio;
  TPageControl *Pages;
  TTabSheet *Page1, *Page2;
  TButton *Page1Button, *Page2Button;
  TCheckBox *Page2Check;
};

class AltCueFixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log = &FLog;
    testhooks::SetReportedVersion(6, 1, VER_PLATFORM_WIN32_NT);
    testhooks::SetReportedVisualStyles(1);
  }
  void TearDown() override {
    Log = nullptr;
    testhooks::ResetReportedVersion();
    testhooks::SetReportedVisualStyles(-1);
  }

  static std::unique_ptr<TCueForm> NewForm(const char *name) {
    std::unique_ptr<TCueForm> form(CreateForm<TCueForm>(nullptr));
    form->SetName(name);
    form->HandleNeeded();
    return form;
  }

  // Runs the application's loop until it has had one idle moment.
  static void Idle() {
    bool idled = false;
    TApplicationEvents watcher(nullptr);
    watcher.OnIdle = [&idled](TObject *, bool &Done) {
      idled = true;
      Done = false;  // no waiting for a message afterwards
    };
    for (int i = 0; i < 1000 && !idled; ++i) Application->HandleMessage();
    ASSERT_TRUE(idled);
  }

  std::vector<std::string> TakeLog() {
    std::vector<std::string> log;
    log.swap(FLog);
    return log;
  }

  std::vector<std::string> FLog;
};

using Lines = std::vector<std::string>;

TEST_F(AltCueFixTest, InertOnOlderWindowsOrWithoutVisualStyles) {
  const struct {
    unsigned major, minor;
    int styles;
  } rows[] = {{5, 1, 1}, {5, 1, 0}, {6, 0, 0}, {10, 0, 0}};
  auto form = NewForm("Old");
  for (const auto &row : rows) {
    SCOPED_TRACE(std::to_string(row.major) + "." + std::to_string(row.minor) + " styles " +
                 std::to_string(row.styles));
    testhooks::SetReportedVersion(row.major, row.minor, VER_PLATFORM_WIN32_NT);
    testhooks::SetReportedVisualStyles(row.styles);
    TAltCueFix fix(nullptr);
    EXPECT_FALSE(fix.IsVistaThemed());
    EXPECT_FALSE(fix.Active());
    Idle();
    EXPECT_EQ(fix.FormObjCount(), 0);
    EXPECT_FALSE(form->Hooked());
    EXPECT_EQ(form->CueChange(), 1234);
    Idle();
    EXPECT_EQ(TakeLog(), Lines{"handled"});
  }
}

TEST_F(AltCueFixTest, CueChangeRepaintsTheWholeFormOnceAtTheNextIdleMoment) {
  auto first = NewForm("First");
  TAltCueFix *fix = new TAltCueFix(first.get());  // owned by the form, as in the program
  ASSERT_TRUE(fix->IsVistaThemed());
  ASSERT_TRUE(fix->Active());
  EXPECT_FALSE(first->Hooked());  // not before the first idle moment
  Idle();
  EXPECT_TRUE(first->Hooked());
  const int hooked = fix->FormObjCount();

  // A form made later is hooked at the next idle moment.
  auto second = NewForm("Second");
  EXPECT_FALSE(second->Hooked());
  Idle();
  EXPECT_TRUE(second->Hooked());
  EXPECT_EQ(fix->FormObjCount(), hooked + 1);
  EXPECT_TRUE(TakeLog().empty());

  // The form handles the message first and its result stands; the repaint waits for the
  // idle moment and happens once.
  EXPECT_EQ(second->CueChange(), 1234);
  EXPECT_EQ(second->CueChange(), 1234);
  EXPECT_EQ(TakeLog(), (Lines{"handled", "handled"}));
  Idle();
  EXPECT_EQ(TakeLog(),
            (Lines{"repaint form", "repaint Button", "repaint Check", "repaint Static", "repaint Edit",
                   "repaint Group", "repaint GroupRadio", "repaint Pages", "repaint Page1",
                   "repaint Page1Button", "repaint Page2", "repaint Page2Button", "repaint Page2Check"}));
  Idle();
  EXPECT_TRUE(TakeLog().empty());
  // Other messages do not count.
  SendMessageA(second->Handle(), WM_NULL, 0, 0);
  Idle();
  EXPECT_TRUE(TakeLog().empty());
}

TEST_F(AltCueFixTest, WithoutRepaintAllOnlyCueControlsOfShownPagesAreRepainted) {
  TAltCueFix fix(nullptr);
  auto full = NewForm("Full");
  Idle();  // hooked with RepaintAll still true, which the record keeps
  fix.SetRepaintAll(false);
  auto cue = NewForm("Cue");
  Idle();

  cue->CueChange();
  TakeLog();
  Idle();
  // Not the label, the group box frame, the form, the edit or the pages themselves, nor
  // anything on the page that is not shown.
  EXPECT_EQ(TakeLog(), (Lines{"repaint Button", "repaint Check", "repaint Static", "repaint GroupRadio",
                              "repaint Page1Button"}));

  cue->Pages->SetActivePage(cue->Page2);
  cue->CueChange();
  TakeLog();
  Idle();
  EXPECT_EQ(TakeLog(), (Lines{"repaint Button", "repaint Check", "repaint Static", "repaint GroupRadio",
                              "repaint Page2Button", "repaint Page2Check"}));

  full->CueChange();
  TakeLog();
  Idle();
  EXPECT_EQ(TakeLog().size(), 13u);
}

TEST_F(AltCueFixTest, DestroyedFormsAndTheFixLeaveNoDanglingHooks) {
  auto fix = std::make_unique<TAltCueFix>(nullptr);
  auto kept = NewForm("Kept");
  auto doomed = NewForm("Doomed");
  Idle();
  const int hooked = fix->FormObjCount();

  // Flagged, then destroyed before the idle moment: its record goes without a repaint.
  doomed->CueChange();
  doomed.reset();
  TakeLog();
  EXPECT_EQ(fix->FormObjCount(), hooked);
  Idle();
  EXPECT_EQ(fix->FormObjCount(), hooked - 1);
  EXPECT_TRUE(TakeLog().empty());

  // Someone hooks over the fix; then the fix goes. The later hook's call into the fix's
  // hook must pass straight on to the form's own handling.
  int laterCalls = 0;
  kept->WindowProc = LaterHook{kept->WindowProc, &laterCalls};
  fix.reset();
  EXPECT_EQ(kept->CueChange(), 1234);
  EXPECT_EQ(laterCalls, 1);
  EXPECT_EQ(TakeLog(), Lines{"handled"});
  // The later hook unhooks by putting back what it found: still the form's handling.
  kept->WindowProc = kept->WindowProc.target<LaterHook>()->Previous;
  EXPECT_EQ(kept->CueChange(), 1234);
  EXPECT_EQ(TakeLog(), Lines{"handled"});

  // Without a later hook the fix's destruction puts the form's procedure back.
  auto plain = NewForm("Plain");
  auto again = std::make_unique<TAltCueFix>(nullptr);
  Idle();
  EXPECT_TRUE(plain->Hooked());
  again.reset();
  EXPECT_FALSE(plain->Hooked());
  EXPECT_EQ(plain->CueChange(), 1234);
  EXPECT_EQ(TakeLog(), Lines{"handled"});
}

TEST_F(AltCueFixTest, OwnerFormDestroyedWithTheFix) {
  auto owner = NewForm("Owner");
  auto other = NewForm("Other");
  new TAltCueFix(owner.get());
  Idle();
  EXPECT_TRUE(other->Hooked());
  owner.reset();  // frees the fix with its records: the other form is unhooked
  EXPECT_FALSE(other->Hooked());
  EXPECT_EQ(other->CueChange(), 1234);
}

}  // namespace
