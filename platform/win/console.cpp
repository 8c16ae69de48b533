// Command-line answers on Windows: the GUI program has no console, so a message box.
#include "platform/console.h"

#include "platform/winapi.h"

void ShowCommandLineText(const std::string &text, bool error) {
  MessageBoxA(nullptr, text.c_str(), "Horolan", MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}
