// The first-run wizard as the user meets it: its window and pages, and each way
// through it, driven by clicks on its buttons, ending in the settings dialog.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/fSelect.h"
#include "app/fSetup.h"
#include "platform/winapi.h"
#include "tests/forms/ControlTestSupport.h"

using namespace controltest;

namespace {

// The settings dialog the wizard hands over to, without its start-up handler (which
// would read this user's settings and could open a wizard of its own), and with
// tray calls captured so that no icon appears.
class SelectFormTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testhooks::CaptureShellNotify();
    auto *setup = new TSetup(nullptr);
    setup->OnCreate = nullptr;
    setup->AfterConstruction();
    ::Setup = setup;
  }
  static void TearDownTestSuite() {
    delete ::Setup;
    ::Setup = nullptr;
    SelectForm = nullptr;
    testhooks::ReleaseShellNotify();
  }

  // A wizard made as the start-up handler makes it.
  void SetUp() override {
    ::Setup->Hide();
    ::Setup->UseNTPServer->SetText("");
    SelectForm = CreateForm<TSelectForm>(::Setup);
    Wizard = SelectForm;
  }
  void TearDown() override {
    delete Wizard;
    SelectForm = nullptr;
  }

  // The one page that shows, by its window.
  std::vector<std::string> ShownPages() const {
    std::vector<std::string> shown;
    for (int i = 0; i < Wizard->NTPPage->PageCount(); ++i) {
      TTabSheet *page = Wizard->NTPPage->Pages(i);
      if (IsWindowVisible(page->Handle())) shown.push_back(page->Name());
    }
    return shown;
  }

  // Picks an item the way a user does: a click on its radio button.
  static void Choose(TRadioGroup *group, int index) {
    Click(group->Buttons(index));
    EXPECT_EQ(group->ItemIndex(), index);
  }

  void ExpectFinished(const std::string &server) {
    Application->ProcessMessages();
    EXPECT_EQ(::Setup->UseNTPServer->Text(), server);
    EXPECT_TRUE(IsWindowVisible(::Setup->Handle()));
    EXPECT_FALSE(IsWindowVisible(Wizard->Handle()));
    // Closing only hides: the wizard stays, owned by the dialog.
    EXPECT_EQ(SelectForm, Wizard);
    EXPECT_EQ(Wizard->Owner(), ::Setup);
  }

  TSelectForm *Wizard = nullptr;
};

void ExpectBounds(const TControl *c, int left, int top, int width, int height) {
  EXPECT_EQ(c->Left(), left) << c->Name();
  EXPECT_EQ(c->Top(), top) << c->Name();
  EXPECT_EQ(c->Width(), width) << c->Name();
  EXPECT_EQ(c->Height(), height) << c->Name();
}

std::vector<std::string> ItemsOf(const TRadioGroup *group) {
  std::vector<std::string> items;
  for (int i = 0; i < group->Items()->Count(); ++i) items.push_back(group->Items()->Get(i));
  return items;
}

TEST_F(SelectFormTest, IsABorderlessTopmostWindowCentredOnTheDesktopShowingTheProviderPage) {
  HWND wnd = Wizard->Handle();
  EXPECT_TRUE(IsWindowVisible(wnd));
  DWORD style = static_cast<DWORD>(GetWindowLongA(wnd, GWL_STYLE));
  DWORD ex = static_cast<DWORD>(GetWindowLongA(wnd, GWL_EXSTYLE));
  EXPECT_EQ(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_DLGFRAME | WS_SYSMENU), 0u);
  EXPECT_NE(ex & WS_EX_TOPMOST, 0u);
  RECT client{}, frame{};
  GetClientRect(wnd, &client);
  GetWindowRect(wnd, &frame);
  EXPECT_EQ(client.right - client.left, 400);
  EXPECT_EQ(client.bottom - client.top, 300);
  EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - 400) / 2);
  EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - 300) / 2);
  EXPECT_EQ(Wizard->Font()->Name(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(Wizard->Font()->Height(), -12);
  EXPECT_EQ(Wizard->Font()->Charset(), SHIFTJIS_CHARSET);

  // Bevel, panel and page control each fill what holds them.
  ExpectBounds(Wizard->Bevel1, 0, 0, 400, 300);
  EXPECT_EQ(Wizard->Bevel1->Style, bsRaised);
  ExpectBounds(Wizard->Panel1, 0, 0, 400, 300);
  EXPECT_EQ(Wizard->Panel1->BorderWidth(), 3);
  EXPECT_EQ(Wizard->NTPPage->Parent(), Wizard->Panel1);
  TRect inner = Wizard->Panel1->ClientRect();
  ExpectBounds(Wizard->NTPPage, inner.Left, inner.Top, inner.Width(), inner.Height());
  EXPECT_EQ(Wizard->NTPPage->Style, tsFlatButtons);

  // Seven pages, none with a tab: the active one takes the whole control.
  const std::vector<std::string> names{"ISP", "OCN", "plala", "WAKWAK", "DION", "USEN", "biglobe"};
  ASSERT_EQ(Wizard->NTPPage->PageCount(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Wizard->NTPPage->Pages(i)->Name(), names[i]);
    EXPECT_FALSE(Wizard->NTPPage->Pages(i)->TabVisible()) << names[i];
  }
  EXPECT_EQ(Wizard->NTPPage->ActivePage(), Wizard->ISP);
  EXPECT_EQ(ShownPages(), std::vector<std::string>{"ISP"});
  TRect display = Wizard->NTPPage->DisplayRect();
  EXPECT_EQ(display.Top, 0);
  EXPECT_EQ(display.Height(), Wizard->NTPPage->Height());
  // Where a tab would be, a click changes nothing.
  for (int x = 5; x < 300; x += 20) ClickAt(Wizard->NTPPage->Handle(), x, 5);
  EXPECT_EQ(ShownPages(), std::vector<std::string>{"ISP"});

  ExpectBounds(Wizard->SelectISP, 8, 8, 369, 233);
  EXPECT_EQ(Wizard->SelectISP->Parent(), Wizard->ISP);
  EXPECT_EQ(Wizard->SelectISP->Caption(), "プロバイダ選択(&P)");
  EXPECT_EQ(ItemsOf(Wizard->SelectISP),
            (std::vector<std::string>{"OCN", "ぷらら", "WAKWAK", "DION", "BB.Excite", "Yahoo! BB", "USEN",
                                      "biglobe", "ASAHI-NET", "SO-NET", "その他、あるいは自分で指定する"}));
  EXPECT_EQ(Wizard->SelectISP->ItemIndex(), 10);
  EXPECT_TRUE(Wizard->SelectISP->Buttons(10)->Checked());
  ExpectBounds(Wizard->Button1, 304, 256, 75, 25);
  EXPECT_EQ(Wizard->Button1->Parent(), Wizard->ISP);
  EXPECT_EQ(Wizard->Button1->Caption(), "次へ");
}

TEST_F(SelectFormTest, EachProviderPageHasItsHeadingAdviceServersAndNextButton) {
  struct Row {
    TTabSheet *page;
    TStaticText *heading;
    TMemo *memo;
    TRadioGroup *group;
    TButton *button;
    const char *name, *headingText;
    int servers;
  };
  TSelectForm *w = Wizard;
  const Row rows[] = {
      {w->OCN, w->StaticTextOCN, w->MemoOCN, w->SelectOCN, w->ButtonOCN, "OCN",
       "OCNのNTPサーバーを使用します", 3},
      {w->plala, w->StaticTextplala, w->Memoplala, w->Selectplala, w->Buttonplala, "plala",
       "ぷららのNTPサーバーを使用します", 2},
      {w->WAKWAK, w->StaticTextWAKWAK, w->MemoWAKWAK, w->SelectWAKWAK, w->ButtonWAKWAK, "WAKWAK",
       "WAKWAKのNTPサーバーを使用します", 2},
      {w->DION, w->StaticTextDION, w->MemoDION, w->SelectDION, w->ButtonDION, "DION",
       "DIONのNTPサーバーを使用します", 2},
      {w->USEN, w->StaticTextUSEN, w->MemoUSEN, w->SelectUSEN, w->ButtonUSEN, "USEN",
       "USENのNTPサーバーを使用します", 3},
      {w->biglobe, w->StaticTextbiglobe, w->Memobiglobe, w->Selectbiglobe, w->Buttonbiglobe, "biglobe",
       "biglobeのNTPサーバーを使用します", 3},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_NE(row.page, nullptr);
    EXPECT_EQ(row.page->Name(), row.name);
    for (TControl *c : std::vector<TControl *>{row.heading, row.memo, row.group, row.button})
      EXPECT_EQ(c->Parent(), row.page) << c->Name();
    EXPECT_EQ(row.heading->Name(), std::string("StaticText") + row.name);
    EXPECT_EQ(row.memo->Name(), std::string("Memo") + row.name);
    EXPECT_EQ(row.group->Name(), std::string("Select") + row.name);
    EXPECT_EQ(row.button->Name(), std::string("Button") + row.name);

    EXPECT_EQ(row.heading->Left(), 16);
    EXPECT_EQ(row.heading->Top(), 16);
    EXPECT_EQ(row.heading->Caption(), row.headingText);
    EXPECT_EQ(row.heading->Font()->Name(), "ＭＳ Ｐゴシック");
    EXPECT_EQ(row.heading->Font()->Height(), -19);
    EXPECT_EQ(row.heading->Font()->Style(), fsBold);

    ExpectBounds(row.memo, 40, 56, 313, 57);
    EXPECT_TRUE(row.memo->ReadOnly());
    EXPECT_EQ(row.memo->BorderStyle(), bsNoBorder);
    EXPECT_EQ(row.memo->Color(), clBtnFace);
    EXPECT_GE(row.memo->Lines()->Count(), 2);
    DWORD memoStyle = StyleOf(row.memo);
    EXPECT_NE(memoStyle & ES_READONLY, 0u);
    EXPECT_EQ(memoStyle & WS_BORDER, 0u);
    EXPECT_EQ(ExStyleOf(row.memo) & WS_EX_CLIENTEDGE, 0u);

    ExpectBounds(row.group, 96, 120, 185, 105);
    EXPECT_EQ(row.group->Caption(), "NTPサーバー選択(&O)");
    EXPECT_EQ(row.group->Items()->Count(), row.servers);
    EXPECT_EQ(row.group->ItemIndex(), 0);
    for (int i = 0; i < row.group->Items()->Count(); ++i) {
      std::string host = row.group->Items()->Get(i);
      EXPECT_FALSE(host.empty());
      EXPECT_EQ(host.find(' '), std::string::npos) << host;
    }

    ExpectBounds(row.button, 304, 256, 75, 25);
    EXPECT_EQ(row.button->Caption(), "次へ");
  }
  // DION's servers are the ones numbered 02 and 03.
  EXPECT_NE(w->SelectDION->Items()->Get(0).find("02"), std::string::npos);
  EXPECT_NE(w->SelectDION->Items()->Get(1).find("03"), std::string::npos);
}

TEST_F(SelectFormTest, AProviderWithSeveralServersLeadsToItsPageAndTheChosenServerIsUsed) {
  Choose(Wizard->SelectISP, 0);  // OCN
  Click(Wizard->Button1);
  EXPECT_EQ(ShownPages(), std::vector<std::string>{"OCN"});
  EXPECT_TRUE(IsWindowVisible(Wizard->Handle()));
  EXPECT_FALSE(IsWindowVisible(::Setup->Handle()));
  EXPECT_EQ(::Setup->UseNTPServer->Text(), "");

  Choose(Wizard->SelectOCN, 1);
  Click(Wizard->ButtonOCN);
  ExpectFinished(Wizard->SelectOCN->Items()->Get(1));
  EXPECT_EQ(::Setup->UseNTPServer->Text(), "ntp2.ocn.ne.jp");
}

TEST_F(SelectFormTest, EveryProviderPageReachedFromItsItemHandsOverItsChoice) {
  // Item of SelectISP, the page it leads to; the server pages are driven without
  // showing the dialog each time, by their buttons' clicks.
  struct Row {
    int item;
    TTabSheet *page;
    TRadioGroup *group;
    TButton *button;
  };
  TSelectForm *w = Wizard;
  const Row rows[] = {
      {1, w->plala, w->Selectplala, w->Buttonplala},       {2, w->WAKWAK, w->SelectWAKWAK, w->ButtonWAKWAK},
      {3, w->DION, w->SelectDION, w->ButtonDION},          {6, w->USEN, w->SelectUSEN, w->ButtonUSEN},
      {7, w->biglobe, w->Selectbiglobe, w->Buttonbiglobe},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.page->Name());
    w->NTPPage->SetActivePage(w->ISP);
    Choose(w->SelectISP, row.item);
    Click(w->Button1);
    EXPECT_EQ(ShownPages(), std::vector<std::string>{row.page->Name()});
    EXPECT_EQ(::Setup->UseNTPServer->Text(), "");
  }
  // The last one all the way: its last server.
  Choose(w->Selectbiglobe, 2);
  Click(w->Buttonbiglobe);
  ExpectFinished("ntp3.biglobe.ne.jp");
}

TEST_F(SelectFormTest, AProviderWithOneServerFinishesAtOnceWithItsName) {
  const struct {
    int item;
    const char *host;
  } rows[] = {{5, "ntp.bbtec.net"},  // Yahoo! BB
              {4, "ntp.bbexcite.jp"},
              {8, "ntp.asahi-net.or.jp"},
              {9, "ntp.so-net.ne.jp"}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.item);
    ::Setup->Hide();
    ::Setup->UseNTPServer->SetText("");
    Wizard->Show();
    Choose(Wizard->SelectISP, row.item);
    Click(Wizard->Button1);
    ExpectFinished(row.host);
    EXPECT_EQ(Wizard->NTPPage->ActivePage(), Wizard->ISP);  // no second page
  }
}

TEST_F(SelectFormTest, TheLastItemOrNoChosenServerOpensTheDialogWithTheServerFieldUntouched) {
  Click(Wizard->Button1);  // item 10 is chosen at start
  ExpectFinished("");

  // A server page whose group has lost its choice finishes all the same, without a
  // name, instead of reading past the items.
  ::Setup->Hide();
  Wizard->Show();
  Wizard->NTPPage->SetActivePage(Wizard->OCN);
  Wizard->SelectOCN->SetItemIndex(-1);
  Click(Wizard->ButtonOCN);
  ExpectFinished("");
}

}  // namespace
