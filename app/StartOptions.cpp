// The executable's name and command line, and the run-once decision made from them.
#include "app/StartOptions.h"

#include <vector>

#include "app/BIOS.h"
#include "app/VersionInfo.h"
#include "platform/console.h"
#include "platform/winapi.h"

std::string ModuleFileName() {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size() - 1 || buffer.size() > 32768) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);  // cut: try a larger buffer
  }
}

std::vector<std::string> SplitParameters(const std::string &commandLine) {
  std::vector<std::string> words;
  size_t i = 0;
  const size_t n = commandLine.size();
  // The program name ends at the closing quote or the first blank; no escapes.
  if (i < n && commandLine[i] == '"') {
    size_t close = commandLine.find('"', i + 1);
    i = close == std::string::npos ? n : close + 1;
  }
  while (i < n && commandLine[i] != ' ' && commandLine[i] != '\t') ++i;
  for (;;) {
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= n) break;
    std::string word;
    bool quoted = false;
    while (i < n && (quoted || (commandLine[i] != ' ' && commandLine[i] != '\t'))) {
      size_t slashes = 0;
      while (i < n && commandLine[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < n && commandLine[i] == '"') {
        // 2n backslashes and a quote: n backslashes and the quote toggles quoting;
        // 2n+1: n backslashes and a literal quote.
        word.append(slashes / 2, '\\');
        if (slashes % 2) {
          word += '"';
        } else if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
          word += '"';  // "" inside quotes is one quote
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        word.append(slashes, '\\');
        if (i < n && (quoted || (commandLine[i] != ' ' && commandLine[i] != '\t'))) word += commandLine[i++];
      }
    }
    words.push_back(word);
  }
  return words;
}

std::vector<std::string> CommandLineParameters() {
  const char *line = GetCommandLineA();
  return SplitParameters(line ? line : "");
}

bool DecideRunOnce(const std::string &exePath, const std::vector<std::string> &parameters, bool iniSwitch) {
  std::string base = ExtractBaseName(exePath);
  // The ANSI lower-casing of the system's code page keeps double-byte characters whole.
  if (!base.empty()) CharLowerBuffA(&base[0], static_cast<DWORD>(base.size()));
  bool runOnce = (base.size() < 2 ? base : base.substr(base.size() - 2)) == "x1";
  for (const std::string &p : parameters)
    if (p.size() >= 2 && (p[0] == '/' || p[0] == '-') && p[1] == '1') runOnce = true;
  return runOnce || iniSwitch;
}

StartRequest ParseStartCommand(const std::vector<std::string> &parameters) {
  StartRequest r;
  for (const std::string &p : parameters) {
    if (p == "--help" || p == "-h" || p == "-?") {
      r.Command = StartCommand::Help;
    } else if (p == "--version" || p == "-V") {
      r.Command = StartCommand::Version;
    } else if (p.size() >= 1 && p[0] == '-' && !(p.size() >= 2 && p[1] == '1')) {
      r.Command = StartCommand::BadOption;
      r.Option = p;
    } else {
      continue;
    }
    return r;  // the first of them decides
  }
  return r;
}

std::string ProgramUsageText(const std::string &exeName) {
  return "Usage: " + exeName +
         " [-1] [--help] [--version]\n"
         "Keeps this computer's clock right with SNTP time servers.\n"
         "Without options it stays resident and sets the clock at the times of its settings.\n"
         "\n"
         "  -1, /1      run once: set the clock from the servers, then end; the exit status\n"
         "              is 0 when the clock was set, 1 otherwise. So does a program file\n"
         "              name ending in \"x1\", and the RunOnce switch of the INI file.\n"
         "  --help      show this text and end\n"
         "  --version   show the version and end\n"
         "\n"
         "Setting the clock needs administrator rights (on Linux: root or CAP_SYS_TIME).\n";
}

std::string ProgramVersionText() {
  return std::string(HL_VER_PRODUCTNAME " ") + HL_VER_PRODUCTVERSION + "\n";
}

int AnswerStartCommand(const StartRequest &request, const std::string &exePath) {
  const size_t cut = exePath.find_last_of("\\/:");
  const std::string exeName = cut == std::string::npos ? exePath : exePath.substr(cut + 1);
  switch (request.Command) {
    case StartCommand::Help:
      ShowCommandLineText(ProgramUsageText(exeName), false);
      return 0;
    case StartCommand::Version:
      ShowCommandLineText(ProgramVersionText(), false);
      return 0;
    case StartCommand::BadOption:
      ShowCommandLineText(
          "unknown option \"" + request.Option + "\"; " + exeName + " --help lists the options", true);
      return 2;
    case StartCommand::Run:
      break;
  }
  return 0;
}
