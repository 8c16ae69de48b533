// The program's entry: Windows Sockets bound and the single-instance guard taken before
// anything else, then the hidden main form and the message loop.
#include <exception>

#include "app/BIOS.h"
#include "app/DblChkNF.h"
#include "app/StartOptions.h"
#include "app/fSetup.h"
#include "forms/Forms.h"
#include "platform/session.h"
#include "platform/winapi.h"
#include "sockets/NsSockAccess.h"

int main() {
  ProgramIniPath();  // worked out before anything can change the current folder
  const StartRequest request = ParseStartCommand(CommandLineParameters());
  if (request.Command != StartCommand::Run) return AnswerStartCommand(request, ModuleFileName());
  try {
    NsStartSocketFramework();
  } catch (std::exception &e) {
    // Without Windows Sockets there is nothing this program can do.
    MessageBoxA(nullptr, e.what(), "Horolan", MB_OK | MB_ICONERROR);
    return 1;
  }
  bool first = false;
  try {
    first = AcquireSingleInstance(ModuleFileName());
  } catch (std::exception &e) {
    // Without the guard two copies could set the clock against each other.
    MessageBoxA(nullptr, e.what(), "Horolan", MB_OK | MB_ICONERROR);
    NsStopSocketFramework();
    return 1;
  }
  if (!first) {
    NsStopSocketFramework();
    return 0;
  }
  InstallSessionEndSignals();
  Application->Initialize();
  Application->ShowMainForm = false;
  Application->SetTitle("Horolan");
  Application->CreateForm(Setup);
  Application->Run();
  // Run-once tells its caller whether the clock was set.
  const int status = Setup ? Setup->ExitCode() : 1;
  ReleaseSingleInstance();
  DoneApplication();
  NsStopSocketFramework();  // after every socket, which went with the forms
  return status;
}
