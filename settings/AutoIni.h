// Keeps the values of a form's controls in one section of an INI file, keyed by each
// control's Name, and optionally the form's position: the controls on the form are the
// schema, so a control added to the form is persisted without further work.
#pragma once

#include <cstdint>
#include <string>

#include "forms/Classes.h"

class IniFile;
class TControl;
class TWinControl;

// Kinds of control the store handles; ccHotKey selects nothing in this program.
enum TCheckControl {
  ccEdit,
  ccCheckBox,
  ccRadioButton,
  ccRadioGroup,
  ccListBox,
  ccComboBox,
  ccColor,
  ccHotKey,
};

// A set of TCheckControl held in one byte: bit n stands for the member with ordinal n.
class TCheckControls {
 public:
  constexpr TCheckControls() = default;
  constexpr explicit TCheckControls(uint8_t Bits) : FBits(Bits) {}
  static constexpr TCheckControls All() { return TCheckControls(0xFF); }
  uint8_t Bits() const { return FBits; }
  bool Contains(TCheckControl Kind) const { return (FBits >> Kind) & 1u; }
  TCheckControls &Include(TCheckControl Kind) {
    FBits = static_cast<uint8_t>(FBits | (1u << Kind));
    return *this;
  }
  TCheckControls &Exclude(TCheckControl Kind) {
    FBits = static_cast<uint8_t>(FBits & ~(1u << Kind));
    return *this;
  }
  bool operator==(TCheckControls Other) const { return FBits == Other.FBits; }
  bool operator!=(TCheckControls Other) const { return FBits != Other.FBits; }

 private:
  uint8_t FBits = 0;
};

// Raised when the form position is asked for but the owner is not a form.
class EAutoIniError : public Exception {
 public:
  using Exception::Exception;
};

class TAutoIni : public TComponent {
 public:
  explicit TAutoIni(TComponent *AOwner);

  // Filled with the executable's file name (extension included) by the first load or
  // save that finds it empty.
  const std::string &Section() const { return FSection; }
  void SetSection(const std::string &Value) { FSection = Value; }
  // Relative to the executable's folder; empty: the executable's name with ".ini".
  const std::string &AIniFileName() const { return FAIniFileName; }
  void SetAIniFileName(const std::string &Value) { FAIniFileName = Value; }
  TCheckControls CheckControls() const { return FCheckControls; }
  void SetCheckControls(TCheckControls Value) { FCheckControls = Value; }
  // The owner form's Top/Left, and with CheckWinSize its height/width too.
  bool CheckWinState() const { return FCheckWinState; }
  void SetCheckWinState(bool Value) { FCheckWinState = Value; }
  bool CheckWinSize() const { return FCheckWinSize; }
  void SetCheckWinSize(bool Value) { FCheckWinSize = Value; }
  // Only value controls whose Tag equals EnableTag; containers are walked regardless.
  bool CheckTag() const { return FCheckTag; }
  void SetCheckTag(bool Value) { FCheckTag = Value; }
  int32_t EnableTag() const { return FEnableTag; }
  void SetEnableTag(int32_t Value) { FEnableTag = Value; }
  // The file by its bare name (the store then opens it in the current folder).
  bool MakeIniWinDir() const { return FMakeIniWinDir; }
  void SetMakeIniWinDir(bool Value) { FMakeIniWinDir = Value; }
  // The file in the folder MySaveFolder of the user's application-data folder; Vista
  // and later (and the host layer) always use it.
  bool MakeIniAppDataDir() const { return FMakeIniAppDataDir; }
  void SetMakeIniAppDataDir(bool Value) { FMakeIniAppDataDir = Value; }
  const std::string &MySaveFolder() const { return FMySaveFolder; }
  void SetMySaveFolder(const std::string &Value) { FMySaveFolder = Value; }

  // Both show a short message box on failure and pass the failure on unchanged.
  // A save replaces the whole file at once: a failed save leaves the old file as it was.
  void SaveToIni();
  void LoadFromIni();

 private:
  std::string ResolveIniPath();
  // The one walk for both directions.
  void Exchange(IniFile &Ini, bool Saving);
  void ExchangeFormPosition(IniFile &Ini, bool Saving);
  void ExchangeChildren(TWinControl *Parent, IniFile &Ini, bool Saving);
  void ExchangeControl(TControl *Control, IniFile &Ini, bool Saving);

  std::string FSection;
  std::string FAIniFileName;
  TCheckControls FCheckControls = TCheckControls::All();
  bool FCheckWinState = false;
  bool FCheckWinSize = false;
  bool FCheckTag = false;
  int32_t FEnableTag = 0;
  bool FMakeIniWinDir = false;
  bool FMakeIniAppDataDir = false;
  std::string FMySaveFolder;
  bool FNewerSystem = false;  // Windows Vista or later, read once at construction
};
