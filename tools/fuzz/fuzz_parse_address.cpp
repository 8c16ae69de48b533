// Fuzzes the destination parser with arbitrary bytes: it must never read past the
// text, and every part it returns must be made of bytes of the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sockets/NsUtils.h"

namespace {

// True when every byte of part occurs somewhere in text.
bool BytesFrom(const std::string &part, const std::string &text) {
  for (char c : part)
    if (text.find(c) == std::string::npos) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  TNsAddrRec rec;
  ParseAddress(text, rec);
  if (rec.Path.empty()) std::abort();
  for (char c : rec.Port)
    if (c < '0' || c > '9') std::abort();
  if (rec.QueryDelimiter != 0 && rec.QueryDelimiter != '?' && rec.QueryDelimiter != '&') std::abort();
  for (const std::string *part : {&rec.Scheme, &rec.UserName, &rec.Password, &rec.Host, &rec.Fragment, &rec.Query})
    if (!BytesFrom(*part, text)) std::abort();
  if (rec.Path != "/" && !BytesFrom(rec.Path, text)) std::abort();
  return 0;
}
