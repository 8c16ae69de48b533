// Forms: construction with the loading state, closing and the end of a session, the
// screen's list, window styles, placement and client size, and the dialog keys of the
// message loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/StdCtrls.h"
#include "tests/forms/CoreTestSupport.h"

using namespace coretest;

namespace {

TEST(CloseTest, CloseAsksTheQueryThenTheCloseHandlerAndActsOnItsAnswer) {
  struct Row {
    bool canClose;
    TCloseAction action;
    bool closeRaised, visibleAfter, freed;
  };
  const Row rows[] = {
      {false, caHide, false, true, false},
      {true, caHide, true, false, false},
      {true, caNone, true, true, false},
      {true, caFree, true, false, true},
  };
  for (const Row &row : rows) {
    TForm *form = CreateForm<TForm>(nullptr);
    bool closeRaised = false, destroyed = false;
    form->OnCloseQuery = [&](TObject *, bool &canClose) { canClose = row.canClose; };
    form->OnClose = [&](TObject *sender, TCloseAction &action) {
      EXPECT_EQ(action, caHide);  // the default offered
      EXPECT_EQ(sender, form);
      closeRaised = true;
      action = row.action;
    };
    form->OnDestroy = [&](TObject *) { destroyed = true; };
    form->Show();
    // The close box of the window.
    SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
    std::string what = "can close " + std::to_string(row.canClose) + " action " + std::to_string(row.action);
    EXPECT_EQ(closeRaised, row.closeRaised) << what;
    EXPECT_FALSE(destroyed) << what;  // never inside its own message
    Application->ProcessMessages();
    EXPECT_EQ(destroyed, row.freed) << what;
    if (!row.freed) {
      EXPECT_EQ(form->Visible(), row.visibleAfter) << what;
      EXPECT_EQ(IsWindowVisible(form->Handle()) != FALSE, row.visibleAfter) << what;
      delete form;
    }
  }
}

TEST(CloseTest, ClosingTheMainFormEndsTheApplicationUnlessItsQueryRefuses) {
  ScopedApplication app;
  TForm *main = nullptr;
  app->CreateForm(main);
  ASSERT_EQ(app->MainForm(), main);
  bool allow = false;
  main->OnCloseQuery = [&](TObject *, bool &canClose) { canClose = allow; };
  main->Show();
  main->Close();
  EXPECT_FALSE(app->Terminated());
  EXPECT_TRUE(main->Visible());
  allow = true;
  main->Close();
  EXPECT_TRUE(app->Terminated());
  EXPECT_FALSE(main->Visible());
  // The loop sees the quit message it left.
  MSG msg{};
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST(SessionTest, TheEndOfASessionAsksTheMainFormAndTerminatesWhenItReallyEnds) {
  ScopedApplication app;
  TForm *main = nullptr;
  app->CreateForm(main);
  int asked = 0;
  bool allow = false;
  main->OnCloseQuery = [&](TObject *, bool &canClose) {
    ++asked;
    canClose = allow;
  };
  // Asked through the application's window and through the form's own.
  EXPECT_EQ(SendMessageA(app->Handle(), WM_QUERYENDSESSION, 0, 0), 0);
  EXPECT_EQ(SendMessageA(main->Handle(), WM_QUERYENDSESSION, 0, 0), 0);
  allow = true;
  EXPECT_EQ(SendMessageA(app->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
  EXPECT_EQ(SendMessageA(main->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
  EXPECT_EQ(asked, 4);
  // A cancelled end goes on running.
  SendMessageA(main->Handle(), WM_ENDSESSION, FALSE, 0);
  SendMessageA(app->Handle(), WM_ENDSESSION, FALSE, 0);
  EXPECT_FALSE(app->Terminated());
  SendMessageA(main->Handle(), WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(app->Terminated());
}

TEST(SessionTest, ClosingTheApplicationWindowClosesTheMainForm) {
  ScopedApplication app;
  TForm *main = nullptr;
  app->CreateForm(main);
  bool asked = false;
  main->OnCloseQuery = [&](TObject *, bool &) { asked = true; };
  SendMessageA(app->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(asked);
  EXPECT_TRUE(app->Terminated());
  EXPECT_TRUE(IsWindow(app->Handle()));  // the window stays until the application goes
}

TEST(ScreenTest, FormsAreListedInCreationOrderAndLeaveTheListWhenFreed) {
  int n = Screen->FormCount();
  TForm *a = CreateForm<TForm>(nullptr);
  TForm *b = CreateForm<TForm>(nullptr);
  TForm *c = CreateForm<TForm>(a);  // the owner does not change the order
  ASSERT_EQ(Screen->FormCount(), n + 3);
  EXPECT_EQ(Screen->Forms(n), a);
  EXPECT_EQ(Screen->Forms(n + 1), b);
  EXPECT_EQ(Screen->Forms(n + 2), c);
  delete b;
  ASSERT_EQ(Screen->FormCount(), n + 2);
  EXPECT_EQ(Screen->Forms(n + 1), c);
  delete a;  // takes c with it
  EXPECT_EQ(Screen->FormCount(), n);
  EXPECT_THROW(Screen->Forms(n), Exception);
}

// A component that notes when it is loaded.
class TLoadNote : public TComponent {
 public:
  TLoadNote(TComponent *AOwner, std::vector<std::string> *Log, std::string Name)
      : TComponent(AOwner), FLog(Log), FNoteName(std::move(Name)) {}
  void Loaded() override {
    TComponent::Loaded();
    FLog->push_back("loaded " + FNoteName);
  }

 private:
  std::vector<std::string> *FLog;
  std::string FNoteName;
};

// A form built in its constructor, as a designed form is.
class TDesignedForm : public TForm {
 public:
  TDesignedForm(TComponent *AOwner, std::vector<std::string> *Log, bool Fail) : TForm(AOwner), FLog(Log) {
    First = new TLoadNote(this, Log, "first");
    Second = new TLoadNote(this, Log, "second");
    Nested = new TLoadNote(First, Log, "nested");
    SetVisible(true);
    Log->push_back(std::string("built, window ") + (HandleAllocated() ? "made" : "none"));
    OnCreate = [this, Fail](TObject *) {
      FLog->push_back(std::string("create, loading ") + ((ComponentState() & csLoading) ? "yes" : "no"));
      Late = new TLoadNote(this, FLog, "late");
      if (Fail) throw Exception("The list file cannot be opened");
      FLog->push_back("create done");
    };
  }
  void Loaded() override {
    TForm::Loaded();
    FLog->push_back("loaded form");
  }
  TLoadNote *First, *Second, *Nested, *Late = nullptr;

 private:
  std::vector<std::string> *FLog;
};

TEST(ConstructionTest, ComponentsAreLoadedInCreationOrderThenTheFormThenOnCreateThenItShows) {
  testhooks::CaptureMessageBoxes();
  for (bool fail : {false, true}) {
    testhooks::ClearMessageBoxes();
    std::vector<std::string> log;
    TDesignedForm *form = CreateForm<TDesignedForm>(nullptr, &log, fail);
    std::vector<std::string> expected{"built, window none", "loaded first", "loaded nested",
                                      "loaded second",      "loaded form",  "create, loading no"};
    if (!fail) expected.push_back("create done");
    EXPECT_EQ(log, expected);
    for (TComponent *c : std::vector<TComponent *>{form, form->First, form->Nested, form->Late})
      EXPECT_EQ(c->ComponentState() & csLoading, 0u);
    // Shown all the same: a failing creation handler is reported, not fatal.
    EXPECT_TRUE(form->Showing());
    if (fail) {
      ASSERT_EQ(testhooks::MessageBoxes().size(), 1u);
      EXPECT_EQ(testhooks::MessageBoxes()[0].text, "The list file cannot be opened.");
    } else {
      EXPECT_TRUE(testhooks::MessageBoxes().empty());
    }
    delete form;
  }
  testhooks::ReleaseMessageBoxes();
}

TEST(FormWindowTest, BorderAndFormStyleGiveTheWindowStyleAndTheApplicationOwnsIt) {
  struct Row {
    TFormBorderStyle border;
    TFormStyle style;
    DWORD present, absent, exPresent, exAbsent;
  };
  const Row rows[] = {
      {bsSizeable, fsNormal, WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
       WS_CHILD, 0, WS_EX_TOPMOST | WS_EX_TOOLWINDOW},
      {bsSingle, fsNormal, WS_CAPTION | WS_MINIMIZEBOX, WS_THICKFRAME | WS_CHILD, 0, 0},
      {bsDialog, fsNormal, WS_CAPTION | WS_SYSMENU, WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
       WS_EX_DLGMODALFRAME, 0},
      {bsNone, fsStayOnTop, WS_POPUP, WS_CAPTION | WS_THICKFRAME, WS_EX_TOPMOST, 0},
      {bsToolWindow, fsNormal, WS_CAPTION, WS_THICKFRAME, WS_EX_TOOLWINDOW, 0},
  };
  for (const Row &row : rows) {
    auto form = NewForm();
    form->SetBorderStyle(row.border);
    form->SetFormStyle(row.style);
    HWND wnd = form->Handle();
    std::string what = "border " + std::to_string(row.border) + " style " + std::to_string(row.style);
    DWORD style = static_cast<DWORD>(GetWindowLongA(wnd, GWL_STYLE));
    DWORD ex = static_cast<DWORD>(GetWindowLongA(wnd, GWL_EXSTYLE));
    EXPECT_EQ(style & row.present, row.present) << what;
    EXPECT_EQ(style & row.absent, 0u) << what;
    EXPECT_EQ(ex & row.exPresent, row.exPresent) << what;
    EXPECT_EQ(ex & row.exAbsent, 0u) << what;
    EXPECT_FALSE(style & WS_VISIBLE) << what;  // forms start hidden
    EXPECT_EQ(GetWindow(wnd, GW_OWNER), Application->Handle()) << what;
  }

  // A change on a shown form makes the window again, shown as it was.
  auto form = NewForm();
  form->Show();
  form->SetBorderStyle(bsDialog);
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_EQ(GetWindowLongA(form->Handle(), GWL_STYLE) & WS_THICKFRAME, 0);
  form->SetFormStyle(fsStayOnTop);
  EXPECT_TRUE(GetWindowLongA(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST(FormWindowTest, ClientSizeIsExactAndScreenCentringHappensAtTheFirstShow) {
  for (TFormBorderStyle border : {bsSizeable, bsDialog, bsNone}) {
    for (bool windowFirst : {false, true}) {
      auto form = NewForm();
      form->SetBorderStyle(border);
      if (windowFirst) form->HandleNeeded();
      form->SetClientSize(250, 150);
      RECT r{};
      GetClientRect(form->Handle(), &r);
      EXPECT_EQ(r.right - r.left, 250) << border << " " << windowFirst;
      EXPECT_EQ(r.bottom - r.top, 150) << border << " " << windowFirst;
      EXPECT_EQ(form->ClientWidth(), 250);
    }
  }
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  auto form = NewForm(300, 200);
  form->SetPosition(poScreenCenter);
  form->Show();
  EXPECT_EQ(form->Left(), (sw - 300) / 2);
  EXPECT_EQ(form->Top(), (sh - 200) / 2);
  // Only the first showing places it.
  form->SetBounds(10, 20, 300, 200);
  form->SetVisible(false);
  form->Show();
  EXPECT_EQ(form->Left(), 10);
  RECT r{};
  GetWindowRect(form->Handle(), &r);
  EXPECT_EQ(r.top, 20);
}

// A shown dialog: two edits, a disabled one between them, and the two buttons.
struct Dialog {
  std::unique_ptr<TForm> form = NewForm();
  TEdit *name, *skipped, *city;
  TButton *ok, *cancel;
  TLabel *label;
  int oks = 0, cancels = 0;
  Dialog() {
    name = Add<TEdit>(10);
    skipped = Add<TEdit>(40);
    skipped->SetEnabled(false);
    city = Add<TEdit>(70);
    ok = Add<TButton>(100);
    ok->SetDefault(true);
    ok->OnClick = [this](TObject *) { ++oks; };
    cancel = Add<TButton>(130);
    cancel->Cancel = true;
    cancel->OnClick = [this](TObject *) { ++cancels; };
    label = new TLabel(form.get());
    label->SetParent(form.get());
    label->SetCaption("&City");
    label->SetFocusControl(city);
    form->Show();
  }
  template <class T>
  T *Add(int top) {
    T *c = new T(form.get());
    c->SetParent(form.get());
    c->SetBounds(80, top, 100, 24);
    return c;
  }
};

void PostKey(WORD vk) {
  PostMessageA(GetFocus(), WM_KEYDOWN, vk, 1);
  PostMessageA(GetFocus(), WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
  Application->ProcessMessages();
}

void PostChar(UINT msg, char ch) {
  PostMessageA(GetFocus(), msg, static_cast<unsigned char>(ch), msg == WM_SYSCHAR ? 0x20000001 : 1);
  Application->ProcessMessages();
}

TEST(DialogKeyTest, TabMovesAlongTheTabOrderSkippingWhatCannotTakeTheFocus) {
  Dialog d;
  ASSERT_EQ(GetFocus(), d.name->Handle());
  std::vector<HWND> forward;
  for (int i = 0; i < 5; ++i) {
    PostKey(VK_TAB);
    forward.push_back(GetFocus());
  }
  EXPECT_EQ(forward, (std::vector<HWND>{d.city->Handle(), d.ok->Handle(), d.cancel->Handle(),
                                        d.name->Handle(), d.city->Handle()}));
  EXPECT_EQ(d.oks + d.cancels, 0);
  EXPECT_EQ(d.city->Text(), "");  // no tab typed anywhere

  testhooks::SetFakeKeyDown(VK_SHIFT, true);
  PostKey(VK_TAB);
  EXPECT_EQ(GetFocus(), d.name->Handle());
  PostKey(VK_TAB);
  EXPECT_EQ(GetFocus(), d.cancel->Handle());
  testhooks::ResetFakeInput();

  // The tab order, not the creation order, decides.
  d.cancel->SetTabOrder(0);
  d.name->SetFocus();
  PostKey(VK_TAB);
  EXPECT_EQ(GetFocus(), d.city->Handle());
  PostKey(VK_TAB);
  PostKey(VK_TAB);
  EXPECT_EQ(GetFocus(), d.cancel->Handle());
}

TEST(DialogKeyTest, EnterClicksTheDefaultButtonEscTheCancelButtonAndAltKeysFindLabels) {
  Dialog d;
  d.name->SetFocus();
  PostKey(VK_RETURN);
  EXPECT_EQ(d.oks, 1);
  PostKey(VK_ESCAPE);
  EXPECT_EQ(d.cancels, 1);
  EXPECT_EQ(d.oks, 1);

  PostChar(WM_SYSCHAR, 'c');
  EXPECT_EQ(GetFocus(), d.city->Handle());
  // A plain letter is typed where characters are wanted...
  PostChar(WM_CHAR, 'c');
  EXPECT_EQ(d.city->Text(), "c");
  // ...and is an accelerator where they are not.
  d.cancel->SetFocus();
  PostChar(WM_CHAR, 'C');
  EXPECT_EQ(GetFocus(), d.city->Handle());
  EXPECT_EQ(d.oks + d.cancels, 2);
}

}  // namespace
