// The INI store. The file is read into lines, edited line by line and written back
// whole, so every line the store does not touch keeps its bytes (only its line end
// becomes CR LF). Text is CP932: a lead byte and its trail byte are one character.
#include "settings/IniFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/winapi.h"
#include "settings/FileReplace.h"

namespace {

const size_t kMaxValueLength = 2047;

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Bytes taken by the character at s[i]. A lead byte without a valid trail stands alone,
// so a stray byte can never swallow a '=' or a line's last ']'.
size_t CharLength(std::string_view s, size_t i) {
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
                 IsTrailByte(static_cast<unsigned char>(s[i + 1]))
             ? 2
             : 1;
}

// Ctrl-Z is the end-of-file mark of old editors; the system's reader drops it as a blank.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a'; }

// None of the blanks is a possible trail byte, so trimming bytes is safe for CP932.
std::string_view Trim(std::string_view s) {
  size_t begin = 0, end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Names match without regard to ASCII case; double-byte characters compare exactly,
// since their trail bytes may look like ASCII letters.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    const size_t n = CharLength(a, i);
    if (n == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
    } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
    i += n;
  }
  return true;
}

// The header's name ends at the last ']' of the line, as the system's reader has it;
// a ']' that is the trail byte of a character does not count.
size_t FindLastBracket(std::string_view s) {
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < s.size(); i += CharLength(s, i))
    if (s[i] == ']') found = i;
  return found;
}

std::string_view CutToLimit(std::string_view s, size_t limit) {
  size_t end = 0;
  while (end < s.size()) {
    const size_t n = CharLength(s, end);
    if (end + n > limit) break;
    end += n;
  }
  return s.substr(0, end);
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The leading integer of a value. Out-of-range numbers are refused rather than wrapped
// around, so a damaged value gives the default instead of an arbitrary one.
bool ParseInteger(std::string_view t, bool allowDollarHex, long &result) {
  size_t i = 0;
  while (i < t.size() && IsBlank(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  int base = 10;
  if (i + 2 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X') && HexDigit(t[i + 2]) >= 0) {
    base = 16;
    i += 2;
  } else if (allowDollarHex && i + 1 < t.size() && t[i] == '$' && HexDigit(t[i + 1]) >= 0) {
    base = 16;
    i += 1;
  }
  const uint64_t limit = base == 16 ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
  uint64_t magnitude = 0;
  size_t digits = 0;
  for (; i < t.size(); ++i, ++digits) {
    const int d = HexDigit(t[i]);
    if (d < 0 || d >= base) break;
    magnitude = magnitude * base + d;
    if (magnitude > limit) return false;
  }
  if (digits == 0) return false;
  // Hexadecimal covers all 32 bits, as for colour values: 0xFFFFFFFF is -1.
  uint32_t bits = static_cast<uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  result = static_cast<int32_t>(bits);
  return true;
}

struct Line {
  enum Kind { kBlank, kComment, kSection, kKey, kBareKey };
  std::string text;
  Kind kind = kBlank;
  std::string name;       // section or key name, blanks dropped
  size_t valueStart = 0;  // kKey: just past the '='
};

// A line without '=' is a key without a value: reads give the default, but a write of
// that key replaces the line, as the system's writer does.
Line Classify(std::string text) {
  Line line;
  line.text = std::move(text);
  const std::string_view t = Trim(line.text);
  if (t.empty()) {
    line.kind = Line::kBlank;
  } else if (t.front() == ';') {
    line.kind = Line::kComment;
  } else if (t.front() == '[' && FindLastBracket(t) != std::string_view::npos) {
    line.kind = Line::kSection;
    line.name = std::string(Trim(t.substr(1, FindLastBracket(t) - 1)));
  } else if (const size_t eq = line.text.find('='); eq != std::string::npos) {
    line.kind = Line::kKey;
    line.name = std::string(Trim(std::string_view(line.text).substr(0, eq)));
    line.valueStart = eq + 1;
  } else {
    line.kind = Line::kBareKey;
    line.name = std::string(t);
  }
  return line;
}

std::string_view RawValue(const Line &line) { return std::string_view(line.text).substr(line.valueStart); }

class IniText {
 public:
  enum SetResult { kUnchanged, kChanged, kUnstorable };

  IniText() = default;
  explicit IniText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      FBom = std::string(bytes.substr(0, 3));
      bytes.remove_prefix(3);
    }
    // CR LF, LF and a lone CR all end a line, as for the system's reader.
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] != '\r' && bytes[i] != '\n') continue;
      FLines.push_back(Classify(std::string(bytes.substr(start, i - start))));
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      start = i + 1;
    }
    if (start < bytes.size()) FLines.push_back(Classify(std::string(bytes.substr(start))));
  }

  std::string Bytes() const {
    std::string out = FBom;
    for (const Line &line : FLines) {
      out += line.text;
      out += "\r\n";
    }
    return out;
  }

  // The first line of the first matching section naming the key (kKey or kBareKey).
  const Line *FindKey(std::string_view section, std::string_view key) const {
    Range r;
    if (!FindSection(section, r)) return nullptr;
    const size_t i = FindKeyIndex(r, key);
    return i == std::string::npos ? nullptr : &FLines[i];
  }

  bool HasSection(std::string_view section) const {
    for (const Line &line : FLines)
      if (line.kind == Line::kSection && SameName(line.name, section)) return true;
    if (!section.empty()) return false;
    for (const Line &line : FLines) {
      if (line.kind == Line::kSection) break;
      if (line.kind == Line::kKey) return true;
    }
    return false;
  }

  SetResult Set(std::string_view section, std::string_view key, std::string_view value) {
    Range r;
    if (!FindSection(section, r)) {
      Line header = Classify("[" + std::string(section) + "]");
      if (header.kind != Line::kSection || header.name != section) return kUnstorable;
      Line entry;
      if (!MakeKeyLine(key, value, entry)) return kUnstorable;
      FLines.push_back(std::move(header));
      FLines.push_back(std::move(entry));
      return kChanged;
    }
    const size_t found = FindKeyIndex(r, key);
    if (found != std::string::npos) {
      Line &old = FLines[found];
      if (old.kind == Line::kKey && Trim(RawValue(old)) == value) return kUnchanged;
      // The key keeps its spelling from the file.
      Line entry;
      if (!MakeKeyLine(old.name, value, entry)) return kUnstorable;
      old = std::move(entry);
      return kChanged;
    }
    Line entry;
    if (!MakeKeyLine(key, value, entry)) return kUnstorable;
    // After the section's last non-blank line: blank lines before the next header stay
    // where they are.
    size_t at = r.begin;
    for (size_t i = r.begin; i < r.end; ++i)
      if (FLines[i].kind != Line::kBlank) at = i + 1;
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    return kChanged;
  }

 private:
  struct Range {
    size_t begin, end;  // the lines after the header, up to the next header
  };

  // Keys before the first header form the section "", which is found before any "[]".
  bool FindSection(std::string_view name, Range &r) const {
    size_t i = 0;
    if (name.empty()) {
      while (i < FLines.size() && FLines[i].kind != Line::kSection) ++i;
      r = {0, i};
      return true;
    }
    for (; i < FLines.size(); ++i) {
      if (FLines[i].kind != Line::kSection || !SameName(FLines[i].name, name)) continue;
      size_t end = i + 1;
      while (end < FLines.size() && FLines[end].kind != Line::kSection) ++end;
      r = {i + 1, end};
      return true;
    }
    return false;
  }

  size_t FindKeyIndex(const Range &r, std::string_view key) const {
    for (size_t i = r.begin; i < r.end; ++i) {
      const Line &line = FLines[i];
      if ((line.kind == Line::kKey || line.kind == Line::kBareKey) && SameName(line.name, key)) return i;
    }
    return std::string::npos;
  }

  // A key line is stored only if it reads back as the same key and value: a key that
  // starts with ';', or with '[' next to a ']' in the value, would become another line.
  static bool MakeKeyLine(std::string_view key, std::string_view value, Line &out) {
    out = Classify(std::string(key) + "=" + std::string(value));
    return out.kind == Line::kKey && out.name == key && RawValue(out) == value;
  }

  std::string FBom;  // a UTF-8 byte-order mark some editors put first; kept as it was
  std::vector<Line> FLines;
};

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string &path, std::string &bytes) {
  bytes.clear();
  errno = 0;
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  return failed ? ReadResult::kFailed : ReadResult::kRead;
}

EIniFileError WriteError(const std::string &path) { return EIniFileError(path + " に書き込めません"); }

// The text a write starts from. A file that exists but cannot be read must not be
// replaced by one that lacks its contents.
IniText LoadForWrite(const std::string &path) {
  std::string bytes;
  if (ReadWholeFile(path, bytes) == ReadResult::kFailed) throw WriteError(path);
  return IniText(bytes);
}

// Whole-file replacement: an interrupted save leaves either the old file or the new
// one, never a part of either.
void SaveWholeFile(const std::string &path, const std::string &bytes) {
  if (!ReplaceWholeFile(path, bytes)) throw WriteError(path);
}

// The value a read returns: blanks and enclosing quotes dropped, cut to the limit.
bool FindValue(const IniText &text, std::string_view section, std::string_view key, std::string_view &value) {
  const Line *line = text.FindKey(Trim(section), Trim(key));
  if (!line || line->kind != Line::kKey) return false;
  value = CutToLimit(Unquote(Trim(RawValue(*line))), kMaxValueLength);
  return true;
}

bool IsStorableName(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == name.npos;
}

}  // namespace

struct IniFile::Impl {
  int depth = 0;         // open BeginUpdate levels
  bool holding = false;  // text holds the file plus the batch's writes
  bool dirty = false;    // a write of the batch changed the text
  IniText text;

  const IniText &View(const std::string &path, IniText &scratch) const {
    if (holding) return text;
    std::string bytes;
    // An unreadable file reads like a missing one: every value takes its default.
    if (ReadWholeFile(path, bytes) == ReadResult::kRead) scratch = IniText(bytes);
    return scratch;
  }

  void Drop() {
    holding = false;
    dirty = false;
    text = IniText();
  }
};

IniFile::IniFile(std::string path) : FPath(std::move(path)), FImpl(new Impl) {}

IniFile::~IniFile() {
  if (FImpl->depth > 0) {
    FImpl->depth = 1;
    try {
      EndUpdate();
    } catch (...) {
      // A destructor must not throw; EndUpdate is the place to see the failure.
    }
  }
  delete FImpl;
}

std::string IniFile::ReadString(const std::string &section, const std::string &key,
                                const std::string &def) const {
  IniText scratch;
  std::string_view value;
  return FindValue(FImpl->View(FPath, scratch), section, key, value) ? std::string(value) : def;
}

long IniFile::ReadInteger(const std::string &section, const std::string &key, long def,
                          bool allowDollarHex) const {
  IniText scratch;
  std::string_view text;
  long value;
  return FindValue(FImpl->View(FPath, scratch), section, key, text) &&
                 ParseInteger(text, allowDollarHex, value)
             ? value
             : def;
}

bool IniFile::ReadBool(const std::string &section, const std::string &key, bool def,
                       bool allowDollarHex) const {
  IniText scratch;
  std::string_view text;
  long value;
  return FindValue(FImpl->View(FPath, scratch), section, key, text) &&
                 ParseInteger(text, allowDollarHex, value)
             ? value != 0
             : def;
}

bool IniFile::SectionExists(const std::string &section) const {
  IniText scratch;
  return FImpl->View(FPath, scratch).HasSection(Trim(section));
}

bool IniFile::KeyExists(const std::string &section, const std::string &key) const {
  IniText scratch;
  const Line *line = FImpl->View(FPath, scratch).FindKey(Trim(section), Trim(key));
  return line && line->kind == Line::kKey;
}

void IniFile::WriteString(const std::string &section, const std::string &key, const std::string &value) {
  const std::string_view s = Trim(section), k = Trim(key);
  if (!IsStorableName(s) || !IsStorableName(k)) throw WriteError(FPath);
  std::string_view v = value;
  v = v.substr(0, v.find_first_of(std::string_view("\r\n\0", 3)));

  if (FImpl->depth > 0) {
    if (!FImpl->holding) {
      FImpl->text = LoadForWrite(FPath);
      FImpl->holding = true;
    }
    const IniText::SetResult result = FImpl->text.Set(s, k, v);
    if (result == IniText::kUnstorable) throw WriteError(FPath);
    if (result == IniText::kChanged) FImpl->dirty = true;
    return;
  }
  IniText text = LoadForWrite(FPath);
  const IniText::SetResult result = text.Set(s, k, v);
  if (result == IniText::kUnstorable) throw WriteError(FPath);
  if (result == IniText::kChanged) SaveWholeFile(FPath, text.Bytes());
}

void IniFile::WriteInteger(const std::string &section, const std::string &key, long value) {
  // Readers take 32-bit values; a wider one would come back as the default.
  if (value < INT32_MIN || value > INT32_MAX) throw WriteError(FPath);
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string &section, const std::string &key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::BeginUpdate() { ++FImpl->depth; }

void IniFile::EndUpdate() {
  if (FImpl->depth == 0 || --FImpl->depth > 0) return;
  const bool save = FImpl->holding && FImpl->dirty;
  const std::string bytes = save ? FImpl->text.Bytes() : std::string();
  FImpl->Drop();
  if (save) SaveWholeFile(FPath, bytes);
}

void IniFile::CancelUpdate() {
  if (FImpl->depth == 0) return;
  --FImpl->depth;
  FImpl->Drop();
}
