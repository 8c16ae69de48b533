// The socket control's two logs: a debug log that keeps recent socket events in a
// fixed ring in memory and writes them out as text when asked, and an event log that
// appends one dated line per connection opened or closed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "forms/Classes.h"
#include "forms/Exception.h"
#include "platform/winapi.h"

class TNsBaseComponent;
class TNsSockControl;

// Renders one debug-log entry through its FormatLogEntry (socket handle, entry type,
// data, length); entries of the log's own types need none. Must outlive the log's
// entries: in practice the control that owns the log.
using TNsLogFormatter = const TNsBaseComponent *;

// A log file that cannot be created or opened.
class ENsLogFileError : public Exception {
 public:
  using Exception::Exception;
};

enum TNsWriteMode { wmOverwrite, wmAppend };

// Debug-log entry types; bit 31 marks entries whose data bytes are stored with them.
enum : uint32_t {
  NsLogOn = 1,
  NsLogOff = 2,
  NsLogTelnet = 3,  // data: 1 received, 2 sent; length: command * 256 + option
  NsLogHasData = 0x80000000u,
  NsLogRawText = 0x80000000u,
  NsLogRead = 0x80000001u,
  NsLogWrite = 0x80000002u,
  NsLogRecvApi = 0x80000003u,
  NsLogSendApi = 0x80000004u,
};

class TNsBaseLog : public TPersistent {
 public:
  explicit TNsBaseLog(TNsSockControl *AControl);
  ~TNsBaseLog() override;
  TNsBaseLog(const TNsBaseLog &) = delete;
  TNsBaseLog &operator=(const TNsBaseLog &) = delete;

  bool Enabled() const;
  virtual void SetEnabled(bool Value);
  std::string FileName() const;
  virtual void SetFileName(const std::string &Value);
  TNsSockControl *Control() const { return FControl; }

 protected:
  // Re-entrant; entered only once the process runs a second thread.
  void Lock() const;
  void Unlock() const;
  class TGuard {
   public:
    explicit TGuard(const TNsBaseLog &Log) : FLog(Log) { FLog.Lock(); }
    ~TGuard() { FLog.Unlock(); }
    TGuard(const TGuard &) = delete;
    TGuard &operator=(const TGuard &) = delete;

   private:
    const TNsBaseLog &FLog;
  };

  bool FEnabled = false;
  std::string FFileName;

 private:
  mutable CRITICAL_SECTION FLock;
  TNsSockControl *FControl;  // not owned: the control that owns this log
};

struct TNsLogEntry {
  TNsLogFormatter Formatter = nullptr;
  uint32_t Tick = 0;
  uint32_t Socket = 0;
  uint32_t EntryType = 0;
  // For entries with data: their address, valid until the next PopEntry or AddEntry.
  uintptr_t Data = 0;
  uint32_t Length = 0;
};

class TNsDebugLog : public TNsBaseLog {
 public:
  // An entry's fixed part in the ring.
  static constexpr uint32_t EntryHeaderSize = 24;

  explicit TNsDebugLog(TNsSockControl *AControl);

  uint32_t BufferSize() const;
  // Empties the ring when the size changes.
  void SetBufferSize(uint32_t Value);
  TNsWriteMode WriteMode() const;
  void SetWriteMode(TNsWriteMode Value);
  void SetEnabled(bool Value) override;

  // Records one entry when enabled; the oldest entries make room. An entry that
  // cannot fit with one byte to spare is dropped. For entries with data, Data is the
  // address of Length bytes, copied into the ring.
  void AddEntry(TNsLogFormatter Formatter, uint32_t Socket, uint32_t EntryType, uintptr_t Data,
                uint32_t Length);
  bool PopEntry(TNsLogEntry &Entry);
  uint32_t FreeSpace() const;
  bool IsEmpty() const;
  void ClearBuffer();
  // Writes every buffered entry to FileName, oldest first, and empties the ring.
  // A file that cannot be opened raises ENsLogFileError and leaves the ring alone.
  void WriteDebugLog();

 private:
  void RingWrite(const void *Source, uint32_t Count);
  void RingRead(void *Dest, uint32_t Count);
  std::string EntryText(const TNsLogEntry &Entry) const;

  uint32_t FBufferSize = 65536;
  TNsWriteMode FWriteMode = wmOverwrite;
  std::vector<uint8_t> FRing;                // BufferSize bytes once allocated
  std::vector<uint8_t> FScratch;             // data of an entry read back across the ring's end
  uint32_t FHead = 0;                        // oldest entry
  uint32_t FTail = 0;                        // where the next entry goes; FHead == FTail: empty
  std::vector<TNsLogFormatter> FFormatters;  // an entry stores its formatter's index + 1
  DWORD FStartTick;
};

class TNsEventLog : public TNsBaseLog {
 public:
  explicit TNsEventLog(TNsSockControl *AControl);

  std::string DateTimeFormat() const;
  void SetDateTimeFormat(const std::string &Value);
  // Appends "<local date and time> <Text>" as one line when enabled.
  void WriteEvent(const std::string &Text);

 private:
  std::string FDateTimeFormat;
};

// Texts of the log file, shared with the socket control's log-text hook.
std::string NsHexDump(const void *Data, uint32_t Length);
// The socket control's texts for the data entry types (Read, Write, Recv API, Send API).
std::string NsDataLogEntryText(uint32_t Socket, uint32_t EntryType, const void *Data, uint32_t Length);
// The time column of the file: milliseconds since the log was created, as "0012.345 : ".
std::string NsLogTickPrefix(uint32_t Milliseconds);
std::string NsTelnetLogText(uint32_t Socket, uint32_t Direction, uint32_t CommandAndOption);
// "Windows NT 6.1 Service Pack 1" and the like, from GetVersionExA.
std::string NsOsVersionText();
// A date-time value with the usual format letters: yyyy yy mm m dd d hh h nn n ss s zzz.
std::string NsFormatDateTime(const std::string &Format, double Value);
