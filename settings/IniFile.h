// The INI store: private-profile-compatible reading and writing of one INI file, the
// same on every platform. Section and key names match without regard to case; values
// are opaque CP932 bytes; lines end in CR LF.
#pragma once

#include <string>

#include "forms/Exception.h"

// Raised when the file cannot be saved, or a name cannot be stored; the file on disk is
// then left as it was. The message is "<path> に書き込めません".
class EIniFileError : public Exception {
 public:
  using Exception::Exception;
};

class IniFile {
 public:
  explicit IniFile(std::string path);
  ~IniFile();  // an open batch is saved (errors are swallowed here; call EndUpdate to see them)
  IniFile(const IniFile &) = delete;
  IniFile &operator=(const IniFile &) = delete;

  const std::string &Path() const { return FPath; }

  // Reads see the file as it is now, plus the writes of an open batch. Blanks around
  // names do not count; keys before the first section header form the section "".
  // A string is at most 2047 bytes (never half a double-byte character); blanks around
  // the value and a pair of matching quotation marks (" or ') enclosing the whole value
  // are dropped. A missing file, section or key, or a line without "=", gives def.
  std::string ReadString(const std::string &section, const std::string &key, const std::string &def) const;
  // Decimal, or hexadecimal with "0x"/"0X" (and "$" when allowDollarHex), after an
  // optional sign. As with the system's profile functions the leading number counts
  // ("12abc" is 12); a value that does not start with one, or that does not fit in 32
  // bits (hexadecimal: up to 0xFFFFFFFF, which is -1), gives def.
  long ReadInteger(const std::string &section, const std::string &key, long def,
                   bool allowDollarHex = false) const;
  // An integer value that is not 0 is true; a value that is not an integer gives def.
  bool ReadBool(const std::string &section, const std::string &key, bool def,
                bool allowDollarHex = false) const;
  bool SectionExists(const std::string &section) const;
  bool KeyExists(const std::string &section, const std::string &key) const;

  // Replaces an existing key's value in place, adds a new key at the end of its section
  // and a new section at the end of the file; the first write creates the file.
  // Outside a batch each write is saved at once; a write that changes nothing leaves the
  // file alone. A value is stored up to its first line break (what a reader would get
  // back anyway; the rest would turn into lines of their own). A section or key name
  // that would not read back as itself (line breaks, a key starting with ';') throws.
  // Throws EIniFileError on failure, also when an existing file cannot be read.
  void WriteString(const std::string &section, const std::string &key, const std::string &value);
  void WriteInteger(const std::string &section, const std::string &key, long value);  // 32-bit range
  void WriteBool(const std::string &section, const std::string &key, bool value);

  // Writes between BeginUpdate and the matching EndUpdate are saved as one whole-file
  // replacement (the temporary file Path() + ".tmp", flushed, then renamed over it).
  // Batches nest; the outermost EndUpdate saves, and only if a write changed something.
  // EndUpdate throws EIniFileError when the save fails; the old file stays intact and
  // the batch's writes are dropped.
  void BeginUpdate();
  void EndUpdate();
  // Drops every write of the open batch so far without saving; ends one nesting level.
  void CancelUpdate();

 private:
  struct Impl;
  std::string FPath;
  Impl *FImpl;  // owned
};
