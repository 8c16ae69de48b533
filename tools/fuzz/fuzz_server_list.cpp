// Fuzzes reading NTP.lst: the entries hold no line ends and no NUL, come from the text
// in order, and writing them out and reading that again gives the same entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ServerList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string bytes(reinterpret_cast<const char *>(data), size);
  const std::vector<std::string> entries = ParseServerList(bytes);
  size_t total = 0, from = 0;
  std::string written;
  for (const std::string &e : entries) {
    if (e.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
    const size_t at = bytes.find(e, from);
    if (at == std::string::npos) std::abort();
    from = at + e.size();
    total += e.size();
    written += e + "\r\n";
  }
  if (total > size) std::abort();
  if (ParseServerList(written) != entries) std::abort();
  return 0;
}
