// Small controls of the framework's own kinds for the tests of the forms core: a plain
// container window, a system edit field, a painted non-windowed control that records
// its mouse input, and an application object that stands in for the global one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "forms/Forms.h"

namespace coretest {

// A container window of our own class.
class TBox : public TWinControl {
 public:
  explicit TBox(TComponent *AOwner) : TWinControl(AOwner) { FControlStyle |= csAcceptsControls; }
};

// The system's edit field, subclassed.
class TPlainEdit : public TWinControl {
 public:
  explicit TPlainEdit(TComponent *AOwner) : TWinControl(AOwner) { FTabStop = true; }

 protected:
  void CreateParams(TCreateParams &Params) override {
    TWinControl::CreateParams(Params);
    Params.SubClassName = "EDIT";
    Params.Style |= ES_AUTOHSCROLL;
  }
};

// A non-windowed control that notes its mouse input as text, e.g. "down 0 5,2".
class TMouseSpot : public TGraphicControl {
 public:
  explicit TMouseSpot(TComponent *AOwner) : TGraphicControl(AOwner) {
    OnMouseDown = [this](TObject *, TMouseButton b, TShiftState s, int x, int y) {
      Log.push_back(std::string("down ") + std::to_string(b) + (s & ssDouble ? "d " : " ") + Pos(x, y));
    };
    OnMouseUp = [this](TObject *, TMouseButton b, TShiftState, int x, int y) {
      Log.push_back("up " + std::to_string(b) + " " + Pos(x, y));
    };
    OnMouseMove = [this](TObject *, TShiftState, int x, int y) { Log.push_back("move " + Pos(x, y)); };
    OnClick = [this](TObject *) { Log.push_back("click"); };
    OnDblClick = [this](TObject *) { Log.push_back("dblclick"); };
  }
  std::vector<std::string> Log;

 private:
  static std::string Pos(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
};

inline LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// Makes a fresh application the global one for a test and puts the old one back after,
// so that terminating or closing a main form leaves the other tests' application alone.
class ScopedApplication {
 public:
  ScopedApplication() : FSaved(Application) { Application = new TApplication(nullptr); }
  ~ScopedApplication() {
    Application->ProcessMessages();  // takes a WM_QUIT that Terminate left
    delete Application;
    Application = FSaved;
  }
  TApplication *operator->() const { return Application; }

 private:
  TApplication *FSaved;
};

// A hidden form freed at the end of the scope.
inline std::unique_ptr<TForm> NewForm(int width = 400, int height = 300) {
  std::unique_ptr<TForm> form(CreateForm<TForm>(nullptr));
  form->SetBounds(50, 50, width, height);
  return form;
}

}  // namespace coretest
