// Fuzzes reading an INI file: whatever the file holds, every name it mentions reads
// back within the store's limits, and the integer and switch readings agree.
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/IniFile.h"

namespace {

// The bracketed and the "name=" parts of each line: what a reader may well ask for.
void Names(const std::string &text, std::vector<std::string> &sections, std::vector<std::string> &keys) {
  size_t start = 0;
  while (start < text.size() && sections.size() + keys.size() < 16) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t close = line.find(']');
    if (!line.empty() && line[0] == '[' && close != std::string::npos)
      sections.push_back(line.substr(1, close - 1));
    const size_t eq = line.find('=');
    if (eq != std::string::npos) keys.push_back(line.substr(0, eq));
    start = end + 1;
  }
  sections.push_back("");
  keys.push_back("missing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = "/tmp/horolan-fuzz-ini-" + std::to_string(getpid()) + ".ini";
  const std::string text(reinterpret_cast<const char *>(data), size);
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);

  std::vector<std::string> sections, keys;
  Names(text, sections, keys);
  {
    IniFile ini(path);
    for (const std::string &s : sections) {
      ini.SectionExists(s);
      for (const std::string &k : keys) {
        const std::string value = ini.ReadString(s, k, "\x01");
        if (value.size() > 2047) std::abort();
        // The default shows only when nothing was found, and then for both readings.
        const std::string again = ini.ReadString(s, k, "\x02");
        if (value != again && !(value == "\x01" && again == "\x02")) std::abort();
        ini.KeyExists(s, k);
        const long n = ini.ReadInteger(s, k, 0, true);
        if (n < INT32_MIN || n > INT32_MAX) std::abort();
        if (ini.ReadBool(s, k, false, true) != (n != 0)) std::abort();
      }
    }
  }
  std::remove(path.c_str());
  return 0;
}
