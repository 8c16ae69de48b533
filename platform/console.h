// The program's answers on its command line: usage, version and refusals. The host
// layer writes them to the terminal; on Windows, which starts the GUI program without
// a console, they appear in a message box.
#pragma once

#include <string>

// text is CP932 and may hold several lines. An error goes to stderr, the rest to stdout.
void ShowCommandLineText(const std::string &text, bool error);
