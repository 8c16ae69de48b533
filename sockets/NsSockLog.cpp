// The debug log's ring and file writer, and the event log.
#include "sockets/NsSockLog.h"

#include <cstdio>
#include <cstring>

#include "forms/DateUtils.h"
#include "sockets/NsConst.h"
#include "sockets/NsSockAccess.h"
#include "sockets/NsUtils.h"

namespace {

// The ring holds each header as six 32-bit words.
struct TStoredHeader {
  uint32_t Formatter;  // index + 1 into the log's formatter list, 0 for none
  uint32_t Tick;
  uint32_t Socket;
  uint32_t EntryType;
  uint32_t Data;  // a plain number; entries with data find theirs behind the header
  uint32_t Length;
};
static_assert(sizeof(TStoredHeader) == TNsDebugLog::EntryHeaderSize, "ring header layout");

bool HasData(uint32_t EntryType) { return (EntryType & NsLogHasData) != 0; }

// Closes the file however the writer leaves.
struct TFileCloser {
  FILE *File;
  ~TFileCloser() {
    if (File) std::fclose(File);
  }
};

bool FileExists(const std::string &Name) {
  FILE *f = std::fopen(Name.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

void WriteText(FILE *File, const std::string &Text) {
  // Write errors on an open log file are not worth failing the socket over.
  if (!Text.empty()) (void)std::fwrite(Text.data(), 1, Text.size(), File);
}

std::string UnitWord(uint32_t Length) { return LoadResString(Length == 1 ? sNsByte : sNsBytes); }

}  // namespace

// ---- Base log
// ---------------------------------------------------------------------

TNsBaseLog::TNsBaseLog(TNsSockControl *AControl) : FControl(AControl) { InitializeCriticalSection(&FLock); }

TNsBaseLog::~TNsBaseLog() { DeleteCriticalSection(&FLock); }

void TNsBaseLog::Lock() const {
  if (IsMultiThread) EnterCriticalSection(&FLock);
}

void TNsBaseLog::Unlock() const {
  if (IsMultiThread) LeaveCriticalSection(&FLock);
}

bool TNsBaseLog::Enabled() const {
  TGuard guard(*this);
  return FEnabled;
}

void TNsBaseLog::SetEnabled(bool Value) {
  TGuard guard(*this);
  FEnabled = Value;
}

std::string TNsBaseLog::FileName() const {
  TGuard guard(*this);
  return FFileName;
}

void TNsBaseLog::SetFileName(const std::string &Value) {
  TGuard guard(*this);
  FFileName = Value;
}

// ---- Debug log
// --------------------------------------------------------------------

TNsDebugLog::TNsDebugLog(TNsSockControl *AControl) : TNsBaseLog(AControl), FStartTick(GetTickCount()) {
  FFileName = "debug.log";
}

uint32_t TNsDebugLog::BufferSize() const {
  TGuard guard(*this);
  return FBufferSize;
}

void TNsDebugLog::SetBufferSize(uint32_t Value) {
  TGuard guard(*this);
  if (Value == FBufferSize) return;
  FBufferSize = Value;
  FRing.assign(Value, 0);
  FRing.shrink_to_fit();
  ClearBuffer();
}

TNsWriteMode TNsDebugLog::WriteMode() const {
  TGuard guard(*this);
  return FWriteMode;
}

void TNsDebugLog::SetWriteMode(TNsWriteMode Value) {
  TGuard guard(*this);
  FWriteMode = Value;
}

void TNsDebugLog::SetEnabled(bool Value) {
  TGuard guard(*this);
  if (Value) {
    if (FRing.size() != FBufferSize) FRing.assign(FBufferSize, 0);
    if (FScratch.empty()) FScratch.resize(1024);
    FEnabled = true;
    AddEntry(nullptr, 0, NsLogOn, 0, 0);
  } else {
    AddEntry(nullptr, 0, NsLogOff, 0, 0);
    FEnabled = false;
  }
}

uint32_t TNsDebugLog::FreeSpace() const {
  TGuard guard(*this);
  if (FRing.empty()) return 0;
  return FTail < FHead ? FHead - FTail - 1 : FBufferSize + FHead - FTail - 1;
}

bool TNsDebugLog::IsEmpty() const {
  TGuard guard(*this);
  return FHead == FTail;
}

void TNsDebugLog::ClearBuffer() {
  TGuard guard(*this);
  FHead = 0;
  FTail = 0;
}

void TNsDebugLog::RingWrite(const void *Source, uint32_t Count) {
  const uint8_t *bytes = static_cast<const uint8_t *>(Source);
  const uint32_t first = Count < FBufferSize - FTail ? Count : FBufferSize - FTail;
  if (first) std::memcpy(&FRing[FTail], bytes, first);
  if (Count > first) std::memcpy(&FRing[0], bytes + first, Count - first);
  FTail = Count > first ? Count - first : FTail + first;
  if (FTail == FBufferSize) FTail = 0;
}

void TNsDebugLog::RingRead(void *Dest, uint32_t Count) {
  uint8_t *bytes = static_cast<uint8_t *>(Dest);
  const uint32_t first = Count < FBufferSize - FHead ? Count : FBufferSize - FHead;
  if (first) std::memcpy(bytes, &FRing[FHead], first);
  if (Count > first) std::memcpy(bytes + first, &FRing[0], Count - first);
  FHead = Count > first ? Count - first : FHead + first;
  if (FHead == FBufferSize) FHead = 0;
}

void TNsDebugLog::AddEntry(TNsLogFormatter Formatter, uint32_t Socket, uint32_t EntryType, uintptr_t Data,
                           uint32_t Length) {
  TGuard guard(*this);
  if (!FEnabled || FRing.empty()) return;
  const uint64_t size = EntryHeaderSize + (HasData(EntryType) ? uint64_t(Length) : 0);
  if (size >= FBufferSize) return;
  TNsLogEntry discarded;
  while (FreeSpace() < size && PopEntry(discarded)) {
  }

  TStoredHeader header;
  header.Formatter = 0;
  if (Formatter) {
    size_t i = 0;
    while (i < FFormatters.size() && FFormatters[i] != Formatter) ++i;
    if (i == FFormatters.size()) FFormatters.push_back(Formatter);
    header.Formatter = static_cast<uint32_t>(i + 1);
  }
  header.Tick = GetTickCount();
  header.Socket = Socket;
  header.EntryType = EntryType;
  header.Data = HasData(EntryType) ? 0 : static_cast<uint32_t>(Data);
  header.Length = Length;
  RingWrite(&header, sizeof header);
  if (HasData(EntryType) && Length) RingWrite(reinterpret_cast<const void *>(Data), Length);
}

bool TNsDebugLog::PopEntry(TNsLogEntry &Entry) {
  TGuard guard(*this);
  if (FHead == FTail) return false;
  TStoredHeader header;
  RingRead(&header, sizeof header);
  Entry.Formatter = header.Formatter ? FFormatters[header.Formatter - 1] : nullptr;
  Entry.Tick = header.Tick;
  Entry.Socket = header.Socket;
  Entry.EntryType = header.EntryType;
  Entry.Data = header.Data;
  Entry.Length = header.Length;
  if (!HasData(header.EntryType)) return true;

  if (FHead + header.Length > FBufferSize) {
    // The data runs past the ring's end: hand out a contiguous copy.
    if (FScratch.size() < header.Length) FScratch.resize(header.Length);
    RingRead(FScratch.data(), header.Length);
    Entry.Data = reinterpret_cast<uintptr_t>(FScratch.data());
  } else {
    Entry.Data = reinterpret_cast<uintptr_t>(FRing.data() + FHead);
    FHead += header.Length;
    if (FHead == FBufferSize) FHead = 0;
  }
  return true;
}

std::string TNsDebugLog::EntryText(const TNsLogEntry &Entry) const {
  const void *data = reinterpret_cast<const void *>(Entry.Data);
  if (Entry.Formatter)
    return Entry.Formatter->FormatLogEntry(Entry.Socket, Entry.EntryType, data, Entry.Length);
  switch (Entry.EntryType) {
    case NsLogRawText:
      return std::string(static_cast<const char *>(data), Entry.Length);
    case NsLogOn:
      return LoadResString(sNsLogEnabled);
    case NsLogOff:
      return LoadResString(sNsLogDisabled);
    case NsLogTelnet:
      return NsTelnetLogText(Entry.Socket, static_cast<uint32_t>(Entry.Data), Entry.Length);
    default:
      return FormatResString(sNsLogUnknownEntryFmt, static_cast<int>(Entry.Socket), Entry.EntryType,
                             static_cast<uint32_t>(Entry.Data), Entry.Length);
  }
}

void TNsDebugLog::WriteDebugLog() {
  TGuard guard(*this);
  const bool append = FWriteMode == wmAppend && FileExists(FFileName);
  TFileCloser file{std::fopen(FFileName.c_str(), append ? "ab" : "wb")};
  if (!file.File)
    throw ENsLogFileError(
        FormatResString(append ? sNsCannotOpenFileFmt : sNsCannotCreateFileFmt, FFileName.c_str()));
  std::fseek(file.File, 0, SEEK_END);

  if (std::ftell(file.File) == 0) {
    const WSADATA *info = WinSockAccess ? &WinSockAccess->StartupInfo() : nullptr;
    const std::string crlf = "\r\n";
    std::string header = LoadResString(sNsLogHeaderTitle) + VersionText() +
                         LoadResString(sNsLogHeaderCompiledWith) + LoadResString(sNsLogHeaderCompiler) + crlf;
    header += LoadResString(sNsLogHeaderOs) + NsOsVersionText() + crlf;
    header += LoadResString(sNsLogHeaderDescription) + (info ? info->szDescription : "") + crlf;
    header += FormatResString(sNsLogHeaderVersionFmt, info ? unsigned(info->wVersion) : 0u) + crlf;
    header += LoadResString(sNsLogHeaderStatus) + (info ? info->szSystemStatus : "") + crlf;
    header += std::string(77, '=') + crlf + crlf;
    WriteText(file.File, header);
  }

  TNsLogEntry entry;
  while (PopEntry(entry)) {
    WriteText(file.File, NsLogTickPrefix(entry.Tick - FStartTick) + EntryText(entry) + "\r\n");
  }
}

// ---- Event log
// --------------------------------------------------------------------

TNsEventLog::TNsEventLog(TNsSockControl *AControl) : TNsBaseLog(AControl) {}

std::string TNsEventLog::DateTimeFormat() const {
  TGuard guard(*this);
  return FDateTimeFormat;
}

void TNsEventLog::SetDateTimeFormat(const std::string &Value) {
  TGuard guard(*this);
  FDateTimeFormat = Value;
}

void TNsEventLog::WriteEvent(const std::string &Text) {
  TGuard guard(*this);
  if (!FEnabled) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::string line = NsFormatDateTime(FDateTimeFormat, SystemTimeToDateTime(now)) + " " + Text + "\r\n";
  TFileCloser file{std::fopen(FFileName.c_str(), "ab")};
  if (!file.File) throw ENsLogFileError(FormatResString(sNsCannotOpenFileFmt, FFileName.c_str()));
  WriteText(file.File, line);
}

// ---- Texts
// ------------------------------------------------------------------------

std::string NsHexDump(const void *Data, uint32_t Length) {
  const uint8_t *bytes = static_cast<const uint8_t *>(Data);
  static const char digits[] = "0123456789ABCDEF";
  std::string result;
  for (uint32_t offset = 0; offset < Length; offset += 16) {
    std::string line = FormatResString(sNsHexDumpLineFmt, static_cast<unsigned>(offset));
    // Positions in the filled pattern: two groups of eight "00 " cells, then
    // the characters.
    const size_t firstGroup = 10, secondGroup = 35, chars = 61;
    for (uint32_t i = 0; i < 16; ++i) {
      const size_t hex = (i < 8 ? firstGroup + 3 * i : secondGroup + 3 * (i - 8));
      if (line.size() < chars + 16) break;  // a translated pattern of another shape
      if (offset + i < Length) {
        const uint8_t b = bytes[offset + i];
        line[hex] = digits[b >> 4];
        line[hex + 1] = digits[b & 15];
        line[chars + i] = (b < 32 || b > 126) ? '.' : static_cast<char>(b);
      } else {
        line[hex] = line[hex + 1] = line[chars + i] = ' ';
      }
    }
    result += line;
  }
  return result;
}

std::string NsLogTickPrefix(uint32_t Milliseconds) {
  std::string prefix = FormatResString(sNsLogTickFmt, static_cast<unsigned>(Milliseconds));
  // The point goes before the last three digits, so that logs older than 10000
  // s still read as seconds.milliseconds.
  const size_t digits = prefix.find(' ');
  if (digits != std::string::npos && digits > 3) prefix.insert(digits - 3, ".");
  return prefix;
}

std::string NsDataLogEntryText(uint32_t Socket, uint32_t EntryType, const void *Data, uint32_t Length) {
  const int handle = static_cast<int>(Socket), length = static_cast<int>(Length);
  const std::string unit = UnitWord(Length);
  std::string head;
  switch (EntryType) {
    case NsLogRead:
      head = FormatResString(sNsLogReadFmt, length, unit.c_str(), handle);
      break;
    case NsLogWrite:
      head = FormatResString(sNsLogWriteFmt, length, unit.c_str(), handle);
      break;
    case NsLogRecvApi:
      head = FormatResString(sNsLogRecvApiFmt, handle, length, unit.c_str());
      break;
    case NsLogSendApi:
      head = FormatResString(sNsLogSendApiFmt, handle, length, unit.c_str());
      break;
    default:
      return LoadResString(sNsUnhandledLogEntry);
  }
  return head + NsHexDump(Data, Length);
}

std::string NsTelnetLogText(uint32_t Socket, uint32_t Direction, uint32_t CommandAndOption) {
  const unsigned command = (CommandAndOption >> 8) & 0xFF, option = CommandAndOption & 0xFF;
  std::string commandWord;
  switch (command) {
    case 251:
      commandWord = LoadResString(sNsTelnetWill);
      break;
    case 252:
      commandWord = LoadResString(sNsTelnetWont);
      break;
    case 253:
      commandWord = LoadResString(sNsTelnetDo);
      break;
    case 254:
      commandWord = LoadResString(sNsTelnetDont);
      break;
    default:
      commandWord = FormatResString(sNsTelnetNumberFmt, static_cast<int>(command));
  }
  const std::string optionName = option <= 49 ? LoadResString(sNsTelnetOption0 + static_cast<int>(option))
                                              : FormatResString(sNsTelnetNumberFmt, static_cast<int>(option));
  const std::string direction = Direction == 1   ? LoadResString(sNsTelnetReceived)
                                : Direction == 2 ? LoadResString(sNsTelnetSent)
                                                 : FormatResString(sNsTelnetDirectionFmt, Direction);
  return FormatResString(sNsTelnetLineFmt, static_cast<int>(Socket), commandWord.c_str(), optionName.c_str(),
                         direction.c_str());
}

std::string NsOsVersionText() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  int word;
  switch (info.dwPlatformId) {
    case 0:
      word = sNsOsWin32s;
      break;
    case 1:
      word = sNsOsWin32;
      break;
    case 2:
      word = sNsOsWinNT;
      break;
    default:
      word = sNsOsUnknown;
  }
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%u.%u ", static_cast<unsigned>(info.dwMajorVersion),
                static_cast<unsigned>(info.dwMinorVersion));
  return LoadResString(word) + numbers + info.szCSDVersion;
}

std::string NsFormatDateTime(const std::string &Format, double Value) {
  const TDateTimeParts p = DecodeDateTime(Value);
  std::string out;
  char buf[16];
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < Format.size() && (Format[i + n] | 0x20) == c) ++n;
    return n;
  };
  while (i < Format.size()) {
    const char c = static_cast<char>(Format[i] | 0x20);
    size_t n = (c >= 'a' && c <= 'z') ? run(c) : 0;
    int value = -1, width = 0;
    if (c == 'y') {
      value = n >= 3 ? p.Year : p.Year % 100;
      width = n >= 3 ? 4 : 2;
    } else if (c == 'm') {
      value = p.Month;
    } else if (c == 'd') {
      value = p.Day;
    } else if (c == 'h') {
      value = p.Hour;
    } else if (c == 'n') {
      value = p.Minute;
    } else if (c == 's') {
      value = p.Second;
    } else if (c == 'z') {
      value = p.MSec;
      width = n >= 3 ? 3 : 1;
    }
    if (value < 0) {
      out += Format[i++];
      continue;
    }
    if (width == 0) width = n >= 2 ? 2 : 1;
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    out += buf;
    i += n;
  }
  return out;
}
