// The INI store: private-profile-compatible reading and writing of one INI file, the
// same on every platform. Section and key names match without regard to case; values
// are opaque CP932 bytes; lines end in CR LF.
#pragma once

#include <string>

#include "forms/Exception.h"

// Raised when the file cannot be saved; the file on disk is then left as it was.
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

  // Reads see the file as it is now, plus the writes of an open batch.
  // A string is at most 2047 characters; blanks around the value and quotation marks
  // enclosing the whole value are dropped. A missing file, section or key gives def.
  std::string ReadString(const std::string &section, const std::string &key, const std::string &def) const;
  // Decimal, or hexadecimal with "0x"/"0X" (and "$" when allowDollarHex); anything that
  // is not an integer gives def.
  long ReadInteger(const std::string &section, const std::string &key, long def,
                   bool allowDollarHex = false) const;
  // An integer value that is not 0 is true; a value that is not an integer gives def.
  bool ReadBool(const std::string &section, const std::string &key, bool def,
                bool allowDollarHex = false) const;
  bool SectionExists(const std::string &section) const;
  bool KeyExists(const std::string &section, const std::string &key) const;

  // Replaces an existing key's value in place, adds a new key at the end of its section
  // and a new section at the end of the file; the first write creates the file.
  // Outside a batch each write is saved at once. Throws EIniFileError on failure.
  void WriteString(const std::string &section, const std::string &key, const std::string &value);
  void WriteInteger(const std::string &section, const std::string &key, long value);
  void WriteBool(const std::string &section, const std::string &key, bool value);

  // Writes between BeginUpdate and the matching EndUpdate are saved as one whole-file
  // replacement (temporary file beside it, flushed, then renamed over it).
  // EndUpdate throws EIniFileError when the save fails; the old file stays intact.
  void BeginUpdate();
  void EndUpdate();
  // Drops the writes of an open batch without saving them.
  void CancelUpdate();

 private:
  struct Impl;
  std::string FPath;
  Impl *FImpl;  // owned
};
