// The first-run wizard: one page to pick the Internet provider, one page per provider
// with several NTP servers, and the hand-over of the chosen name to the settings dialog.
#include "app/fSelect.h"

#include <string>
#include <vector>

#include "app/fSetup.h"

TSelectForm *SelectForm = nullptr;

namespace {

// The providers as SelectISP lists them. A provider with a page offers its servers
// there; one without uses its one host name at once. The host names are the
// providers' published NTP servers at the time of writing.
struct TProvider {
  const char *Item;     // SelectISP's item
  const char *Page;     // name of its page, nullptr: no page
  const char *Heading;  // the provider's name in the page's heading
  std::vector<const char *> Hosts;
  const char *Advice;  // the page's memo, lines separated by CR LF
};

const TProvider Providers[] = {
    {"OCN",
     "OCN",
     "OCN",
     {"ntp1.ocn.ne.jp", "ntp2.ocn.ne.jp", "ntp3.ocn.ne.jp"},
     "OCNのNTPサーバーは東京に2台、大阪に1台あります(上の2つが東京、一番下が大阪)。\r\n"
     "東日本の方は東京の、西日本の方は大阪のサーバーを選んでください。"},
    {"ぷらら",
     "plala",
     "ぷらら",
     {"ntp1.plala.or.jp", "ntp2.plala.or.jp"},
     "1番目は東日本向け、2番目は西日本向けのサーバーです。\r\n"
     "お住まいの地域に合わせて選んでください。"},
    {"WAKWAK",
     "WAKWAK",
     "WAKWAK",
     {"ntp1.wakwak.com", "ntp2.wakwak.com"},
     "WAKWAKのNTPサーバーは2台あります。\r\n"
     "地域による推奨はありませんので、どちらを選んでもかまいません。"},
    {"DION",
     "DION",
     "DION",
     {"ntp02.dion.ne.jp", "ntp03.dion.ne.jp"},
     "DIONのNTPサーバーは02と03の2台です。\r\n"
     "01はありませんので、手で入力するときは番号に注意してください。"},
    {"BB.Excite", nullptr, nullptr, {"ntp.bbexcite.jp"}, nullptr},
    {"Yahoo! BB", nullptr, nullptr, {"ntp.bbtec.net"}, nullptr},
    {"USEN",
     "USEN",
     "USEN",
     {"ntp01.usen.ad.jp", "ntp02.usen.ad.jp", "ntp03.usen.ad.jp"},
     "USENのNTPサーバーは01から03までの3台です。\r\n"
     "推奨はありませんので、お好きなものを選んでください。"},
    {"biglobe",
     "biglobe",
     "biglobe",
     {"ntp1.biglobe.ne.jp", "ntp2.biglobe.ne.jp", "ntp3.biglobe.ne.jp"},
     "biglobeのNTPサーバーは1から3までの3台です。\r\n"
     "推奨はありませんので、お好きなものを選んでください。"},
    {"ASAHI-NET", nullptr, nullptr, {"ntp.asahi-net.or.jp"}, nullptr},
    {"SO-NET", nullptr, nullptr, {"ntp.so-net.ne.jp"}, nullptr},
    {"その他、あるいは自分で指定する", nullptr, nullptr, {}, nullptr},
};
constexpr int ProviderCount = static_cast<int>(sizeof Providers / sizeof Providers[0]);
constexpr int OtherItem = ProviderCount - 1;  // chosen at start

// Where each provider page's controls live in the form, in page order.
struct TPageFields {
  TTabSheet *TSelectForm::*Sheet;
  TStaticText *TSelectForm::*Heading;
  TMemo *TSelectForm::*Memo;
  TRadioGroup *TSelectForm::*Group;
  TButton *TSelectForm::*Button;
  void (TSelectForm::*Click)(TObject *);
};

const TPageFields PageFields[] = {
    {&TSelectForm::OCN, &TSelectForm::StaticTextOCN, &TSelectForm::MemoOCN, &TSelectForm::SelectOCN,
     &TSelectForm::ButtonOCN, &TSelectForm::ButtonOCNClick},
    {&TSelectForm::plala, &TSelectForm::StaticTextplala, &TSelectForm::Memoplala, &TSelectForm::Selectplala,
     &TSelectForm::Buttonplala, &TSelectForm::ButtonplalaClick},
    {&TSelectForm::WAKWAK, &TSelectForm::StaticTextWAKWAK, &TSelectForm::MemoWAKWAK,
     &TSelectForm::SelectWAKWAK, &TSelectForm::ButtonWAKWAK, &TSelectForm::ButtonWAKWAKClick},
    {&TSelectForm::DION, &TSelectForm::StaticTextDION, &TSelectForm::MemoDION, &TSelectForm::SelectDION,
     &TSelectForm::ButtonDION, &TSelectForm::ButtonDIONClick},
    {&TSelectForm::USEN, &TSelectForm::StaticTextUSEN, &TSelectForm::MemoUSEN, &TSelectForm::SelectUSEN,
     &TSelectForm::ButtonUSEN, &TSelectForm::ButtonUSENClick},
    {&TSelectForm::biglobe, &TSelectForm::StaticTextbiglobe, &TSelectForm::Memobiglobe,
     &TSelectForm::Selectbiglobe, &TSelectForm::Buttonbiglobe, &TSelectForm::ButtonbiglobeClick},
};

const char *const NextCaption = "次へ";

TButton *MakeNextButton(TSelectForm *Form, TTabSheet *Page, const std::string &Name) {
  auto *button = new TButton(Form);
  button->SetName(Name);
  button->SetParent(Page);
  button->SetBounds(304, 256, 75, 25);
  button->SetCaption(NextCaption);
  return button;
}

TTabSheet *MakePage(TSelectForm *Form, const std::string &Name) {
  auto *page = new TTabSheet(Form);
  page->SetName(Name);
  page->SetCaption(Name);
  page->SetTabVisible(false);  // only the program moves between pages
  page->SetPageControl(Form->NTPPage);
  return page;
}

// The chosen item of a server page goes into the settings dialog's server field.
void UseChosenServer(TRadioGroup *Group) {
  int index = Group->ItemIndex();
  if (Setup != nullptr && index >= 0 && index < Group->Items()->Count())
    Setup->UseNTPServer->SetText(Group->Items()->Get(index));
}

}  // namespace

TSelectForm::TSelectForm(TComponent *AOwner) : TForm(AOwner) {
  SetName("SelectForm");
  SetBorderStyle(bsNone);
  SetFormStyle(fsStayOnTop);
  SetPosition(poDesktopCenter);
  SetClientSize(400, 300);
  Font()->SetName("ＭＳ Ｐゴシック");
  Font()->SetHeight(-12);
  Font()->SetCharset(SHIFTJIS_CHARSET);

  Bevel1 = new TBevel(this);
  Bevel1->SetName("Bevel1");
  Bevel1->SetParent(this);
  Bevel1->SetAlign(alClient);
  Bevel1->Style = bsRaised;

  Panel1 = new TPanel(this);
  Panel1->SetName("Panel1");
  Panel1->SetParent(this);
  Panel1->SetAlign(alClient);
  Panel1->SetBorderWidth(3);
  Panel1->SetCaption("");

  NTPPage = new TPageControl(this);
  NTPPage->SetName("NTPPage");
  NTPPage->SetParent(Panel1);
  NTPPage->SetAlign(alClient);
  NTPPage->Style = tsFlatButtons;

  ISP = MakePage(this, "ISP");
  SelectISP = new TRadioGroup(this);
  SelectISP->SetName("SelectISP");
  SelectISP->SetParent(ISP);
  SelectISP->SetBounds(8, 8, 369, 233);
  SelectISP->SetCaption("プロバイダ選択(&P)");
  for (const TProvider &provider : Providers) SelectISP->Items()->Add(provider.Item);
  SelectISP->SetItemIndex(OtherItem);
  Button1 = MakeNextButton(this, ISP, "Button1");
  Button1->OnClick = [this](TObject *Sender) { Button1Click(Sender); };

  // The provider pages follow in the order of their providers in SelectISP.
  int page = 0;
  for (const TProvider &provider : Providers) {
    if (provider.Page == nullptr) continue;
    const TPageFields &fields = PageFields[page++];
    const std::string name = provider.Page;
    TTabSheet *sheet = this->*fields.Sheet = MakePage(this, name);

    TStaticText *heading = this->*fields.Heading = new TStaticText(this);
    heading->SetName("StaticText" + name);
    heading->SetParent(sheet);
    heading->SetLeft(16);
    heading->SetTop(16);
    heading->Font()->SetName("ＭＳ Ｐゴシック");
    heading->Font()->SetHeight(-19);
    heading->Font()->SetCharset(SHIFTJIS_CHARSET);
    heading->Font()->SetStyle(fsBold);
    heading->SetCaption(std::string(provider.Heading) + "のNTPサーバーを使用します");

    TMemo *memo = this->*fields.Memo = new TMemo(this);
    memo->SetName("Memo" + name);
    memo->SetParent(sheet);
    memo->SetBounds(40, 56, 313, 57);
    memo->SetReadOnly(true);
    memo->SetBorderStyle(bsNoBorder);
    memo->SetColor(clBtnFace);
    memo->SetTabStop(false);  // advice only: the keyboard goes to the choice
    memo->Lines()->SetText(provider.Advice);

    TRadioGroup *group = this->*fields.Group = new TRadioGroup(this);
    group->SetName("Select" + name);
    group->SetParent(sheet);
    group->SetBounds(96, 120, 185, 105);
    group->SetCaption("NTPサーバー選択(&O)");
    for (const char *host : provider.Hosts) group->Items()->Add(host);
    group->SetItemIndex(0);

    auto click = fields.Click;
    TButton *button = this->*fields.Button = MakeNextButton(this, sheet, "Button" + name);
    button->OnClick = [this, click](TObject *Sender) { (this->*click)(Sender); };
  }

  OnCreate = [this](TObject *Sender) { FormCreate(Sender); };
  SetVisible(true);
}

void TSelectForm::FormCreate(TObject *) {
  NTPPage->SetActivePage(ISP);
  ISP->SetVisible(true);
}

void TSelectForm::Button1Click(TObject *) {
  int index = SelectISP->ItemIndex();
  if (index < 0 || index >= OtherItem) {
    FinishWizard();
    return;
  }
  const TProvider &provider = Providers[index];
  if (provider.Page != nullptr) {
    NTPPage->SetActivePage(static_cast<TTabSheet *>(FindComponent(provider.Page)));
    return;
  }
  if (Setup != nullptr) Setup->UseNTPServer->SetText(provider.Hosts.front());
  FinishWizard();
}

void TSelectForm::ButtonOCNClick(TObject *) {
  UseChosenServer(SelectOCN);
  FinishWizard();
}

void TSelectForm::ButtonplalaClick(TObject *) {
  UseChosenServer(Selectplala);
  FinishWizard();
}

void TSelectForm::ButtonWAKWAKClick(TObject *) {
  UseChosenServer(SelectWAKWAK);
  FinishWizard();
}

void TSelectForm::ButtonDIONClick(TObject *) {
  UseChosenServer(SelectDION);
  FinishWizard();
}

void TSelectForm::ButtonUSENClick(TObject *) {
  UseChosenServer(SelectUSEN);
  FinishWizard();
}

void TSelectForm::ButtonbiglobeClick(TObject *) {
  UseChosenServer(Selectbiglobe);
  FinishWizard();
}

void TSelectForm::FinishWizard() {
  if (Setup != nullptr) Setup->Show();
  // Closing only hides: the form stays, owned by Setup, until the program ends.
  Close();
}
