// The application object: the general error report and the ways an error reaches it,
// the loop (idle events, nested loops, Run and Terminate), hooks on its hidden window,
// and the end of the application and screen.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "forms/StdCtrls.h"
#include "tests/forms/CoreTestSupport.h"

using namespace coretest;

namespace {

// Message boxes captured and the title known for one test.
class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSavedTitle = Application->Title();
    Application->SetTitle("Horolan");
    testhooks::CaptureMessageBoxes();
    testhooks::ClearMessageBoxes();
    Application->ProcessMessages();
  }
  void TearDown() override {
    testhooks::ReleaseMessageBoxes();
    Application->SetTitle(FSavedTitle);
    Application->OnException = nullptr;
  }
  static std::vector<std::string> Texts() {
    std::vector<std::string> v;
    for (auto &box : testhooks::MessageBoxes()) v.push_back(box.text);
    return v;
  }

 private:
  std::string FSavedTitle;
};

TEST_F(ReportTest, TheTextGetsAFullStopWhenItsLastByteSortsAfterTheFullStop) {
  struct Row {
    const char *text, *shown;
  };
  const Row rows[] = {
      {"abc", "abc."},  {"abc.", "abc."}, {"abc!", "abc!"},  // '!' sorts before '.'
      {"a-", "a-"},     {"a/", "a/."},    {"100", "100."},
      {"end ", "end "}, {"", ""},         {"情報", "情報."},  // a double-byte character
      {"ｱ", "ｱ."},                                            // a single-byte katakana, above 0x80
  };
  for (const Row &row : rows) {
    testhooks::ClearMessageBoxes();
    Exception e(row.text);
    Application->HandleException(e);
    ASSERT_EQ(testhooks::MessageBoxes().size(), 1u) << row.text;
    const auto &box = testhooks::MessageBoxes()[0];
    EXPECT_EQ(box.text, row.shown);
    EXPECT_EQ(box.caption, "Horolan");
    EXPECT_EQ(box.type, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  }
}

TEST_F(ReportTest, OnExceptionReplacesTheReportAndAFailingOneIsReportedInstead) {
  std::vector<std::string> seen;
  Application->OnException = [&](TObject *sender, std::exception &e) {
    EXPECT_EQ(sender, Application);
    seen.push_back(e.what());
  };
  Exception first("first");
  Application->HandleException(first);
  EXPECT_EQ(seen, std::vector<std::string>{"first"});
  EXPECT_TRUE(testhooks::MessageBoxes().empty());

  Application->OnException = [](TObject *, std::exception &) { throw std::runtime_error("handler broke"); };
  Exception second("second");
  EXPECT_NO_THROW(Application->HandleException(second));
  EXPECT_EQ(Texts(), std::vector<std::string>{"handler broke."});
}

TEST_F(ReportTest, AnErrorInAHandlerIsReportedAndTheLoopGoesOn) {
  auto form = NewForm();
  auto *edit = new TPlainEdit(form.get());
  edit->SetParent(form.get());
  edit->OnKeyPress = [](TObject *, char &key) {
    if (key == 'x') throw Exception("Key x is not allowed");
    if (key == 'z') throw std::runtime_error("z");
  };
  HWND wnd = edit->Handle();
  for (char ch : std::string("axbzc")) PostMessageA(wnd, WM_CHAR, static_cast<unsigned char>(ch), 1);
  Application->ProcessMessages();
  EXPECT_EQ(edit->Text(), "abc");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Key x is not allowed.", "z."}));

  // Also from the click that a dialog key runs directly, outside any window procedure.
  testhooks::ClearMessageBoxes();
  auto *ok = new TButton(form.get());
  ok->SetParent(form.get());
  ok->SetDefault(true);
  ok->OnClick = [](TObject *) { throw Exception("Cannot save"); };
  form->Show();
  edit->SetFocus();
  PostMessageA(wnd, WM_KEYDOWN, VK_RETURN, 1);
  PostMessageA(wnd, WM_CHAR, 'd', 1);
  Application->ProcessMessages();
  EXPECT_EQ(Texts(), std::vector<std::string>{"Cannot save."});
  EXPECT_EQ(edit->Text(), "abcd");
}

TEST_F(ReportTest, AnErrorInAnApplicationWindowHookIsReported) {
  int id = Application->HookMainWindow([](TMessage &m) {
    if (m.Msg == WM_USER + 9) throw Exception("hook failed");
    return false;
  });
  EXPECT_EQ(SendMessageA(Application->Handle(), WM_USER + 9, 0, 0), 0);
  Application->UnhookMainWindow(id);
  EXPECT_EQ(Texts(), std::vector<std::string>{"hook failed."});
}

TEST(LoopTest, IdleEventsRunWhenTheQueueIsEmptyInOrderAndSkipAFreedListener) {
  std::vector<std::string> log;
  Application->ProcessMessages();
  auto *first = new TApplicationEvents(nullptr);
  auto *second = new TApplicationEvents(nullptr);
  Application->OnIdle = [&](TObject *sender, bool &done) {
    EXPECT_EQ(sender, Application);
    EXPECT_TRUE(done);
    log.push_back("application");
  };
  first->OnIdle = [&](TObject *sender, bool &done) {
    EXPECT_EQ(sender, first);
    log.push_back("first");
    done = false;  // no waiting for a message: the test goes on at once
  };
  second->OnIdle = [&](TObject *sender, bool &done) {
    EXPECT_EQ(sender, second);
    EXPECT_FALSE(done);  // what the earlier listener said
    log.push_back("second");
  };
  Application->HandleMessage();
  EXPECT_EQ(log, (std::vector<std::string>{"application", "first", "second"}));

  // A pending message is handled instead of idling.
  log.clear();
  PostMessageA(Application->Handle(), WM_NULL, 0, 0);
  Application->HandleMessage();
  EXPECT_TRUE(log.empty());

  // A listener freed by an earlier one is not called.
  first->OnIdle = [&](TObject *, bool &done) {
    log.push_back("first");
    delete second;
    done = false;
  };
  Application->HandleMessage();
  EXPECT_EQ(log, (std::vector<std::string>{"application", "first"}));
  Application->OnIdle = nullptr;
  delete first;
}

TEST(LoopTest, AHandlerRunningANestedLoopSeesLaterMessagesBeforeItReturns) {
  auto form = NewForm();
  HWND wnd = form->Handle();
  const UINT kOuter = WM_USER + 20, kInner = WM_USER + 21;
  std::vector<std::string> log;
  TWndMethod previous = form->WindowProc;
  form->WindowProc = [&](TMessage &m) {
    if (m.Msg == kOuter) {
      log.push_back("outer starts");
      PostMessageA(wnd, kInner, 0, 0);
      Application->ProcessMessages();  // as a modal message box does
      log.push_back("outer ends");
    } else if (m.Msg == kInner) {
      log.push_back("inner");
    } else {
      previous(m);
    }
  };
  PostMessageA(wnd, kOuter, 0, 0);
  Application->ProcessMessages();
  form->WindowProc = previous;
  EXPECT_EQ(log, (std::vector<std::string>{"outer starts", "inner", "outer ends"}));
}

TEST(LoopTest, RunShowsTheMainFormOnlyWhenAskedAndEndsAtTerminateOrQuit) {
  for (bool show : {false, true}) {
    ScopedApplication app;
    TForm *main = nullptr;
    app->CreateForm(main);
    app->ShowMainForm = show;
    bool visibleWhileRunning = !show;
    TWndMethod previous = main->WindowProc;
    main->WindowProc = [&](TMessage &m) {
      if (m.Msg == WM_USER + 30) {
        visibleWhileRunning = main->Showing();
        Application->Terminate();
        return;
      }
      previous(m);
    };
    PostMessageA(main->Handle(), WM_USER + 30, 0, 0);
    app->Run();
    EXPECT_TRUE(app->Terminated());
    EXPECT_EQ(visibleWhileRunning, show);
    main->WindowProc = previous;
  }
  ScopedApplication app;
  TForm *main = nullptr;
  app->CreateForm(main);
  app->ShowMainForm = false;
  PostQuitMessage(0);
  app->Run();
  EXPECT_TRUE(app->Terminated());
}

TEST(ApplicationWindowTest, HiddenTopLevelWindowCarriesTheTitleAndHooksSeeItsMessagesFirst) {
  ScopedApplication app;
  app->SetTitle("Horolan");
  HWND wnd = app->Handle();
  char text[32] = {}, cls[32] = {};
  GetWindowTextA(wnd, text, sizeof text);
  GetClassNameA(wnd, cls, sizeof cls);
  EXPECT_STREQ(text, "Horolan");
  EXPECT_STREQ(cls, "TApplication");
  DWORD style = static_cast<DWORD>(GetWindowLongA(wnd, GWL_STYLE));
  DWORD want = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
  EXPECT_EQ(style & want, want);
  EXPECT_FALSE(IsWindowVisible(wnd));
  app->SetTitle("Other");
  GetWindowTextA(wnd, text, sizeof text);
  EXPECT_STREQ(text, "Other");

  const UINT kAsk = WM_USER + 3, kOther = WM_USER + 4;
  std::vector<std::string> log;
  int lateId = 0;
  int firstId = app->HookMainWindow([&](TMessage &m) {
    if (m.Msg == kAsk || m.Msg == kOther) log.push_back("first");
    return false;
  });
  int consumerId = app->HookMainWindow([&](TMessage &m) {
    if (m.Msg != kAsk) return false;
    log.push_back("consumer");
    // Added while a message is handled: sees the next one.
    if (!lateId)
      lateId = app->HookMainWindow([&](TMessage &n) {
        if (n.Msg == kAsk) log.push_back("late");
        return false;
      });
    m.Result = 7;
    return true;
  });
  EXPECT_EQ(SendMessageA(wnd, kAsk, 0, 0), 7);
  EXPECT_EQ(log, (std::vector<std::string>{"first", "consumer"}));
  log.clear();
  EXPECT_EQ(SendMessageA(wnd, kOther, 0, 0), 0);  // passed on to the default handling
  EXPECT_EQ(log, std::vector<std::string>{"first"});

  log.clear();
  app->UnhookMainWindow(consumerId);
  EXPECT_EQ(SendMessageA(wnd, kAsk, 0, 0), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"first", "late"}));

  // A hook that removes itself while it runs.
  log.clear();
  int selfId = 0;
  selfId = app->HookMainWindow([&](TMessage &m) {
    if (m.Msg == kAsk) {
      log.push_back("self");
      app->UnhookMainWindow(selfId);
    }
    return false;
  });
  SendMessageA(wnd, kAsk, 0, 0);
  SendMessageA(wnd, kAsk, 0, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"first", "late", "self", "first", "late"}));
  app->UnhookMainWindow(firstId);
  app->UnhookMainWindow(lateId);
}

TEST(DoneApplicationTest, FreesTheApplicationWithItsFormsThenTheScreen) {
  int windowsBefore = testhooks::LiveWindowCount();
  TApplication *savedApplication = Application;
  TScreen *savedScreen = Screen;
  Application = new TApplication(nullptr);
  Screen = new TScreen(nullptr);
  TForm *form = nullptr;
  Application->CreateForm(form);
  bool destroyed = false;
  form->OnDestroy = [&](TObject *) {
    destroyed = true;
    EXPECT_NE(Screen, nullptr);  // the screen outlives the forms
  };
  auto *box = new TBox(form);
  box->SetParent(form);
  form->Show();

  DoneApplication();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Application, nullptr);
  EXPECT_EQ(Screen, nullptr);
  if (windowsBefore >= 0) {
    EXPECT_EQ(testhooks::LiveWindowCount(), windowsBefore);
  }
  Application = savedApplication;
  Screen = savedScreen;
}

}  // namespace
