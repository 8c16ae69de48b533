// The debug log's ring (room making, wrapping, dropping), its file and texts,
// and the event log.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "sockets/NsSockAccess.h"
#include "sockets/NsSockLog.h"
#include "sockets/NsUtils.h"

namespace {

std::string ReadFile(const std::string &name) {
  std::string text;
  if (FILE *f = std::fopen(name.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

void WriteFile(const std::string &name, const std::string &text) {
  FILE *f = std::fopen(name.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

bool FileExists(const std::string &name) {
  FILE *f = std::fopen(name.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

// A log file in the working directory, removed again afterwards.
struct TTempFile {
  std::string Name;
  explicit TTempFile(const std::string &name) : Name(name) { std::remove(Name.c_str()); }
  ~TTempFile() { std::remove(Name.c_str()); }
};

uintptr_t Address(const std::vector<uint8_t> &bytes) { return reinterpret_cast<uintptr_t>(bytes.data()); }

std::vector<uint8_t> EntryBytes(const TNsLogEntry &e) {
  const uint8_t *p = reinterpret_cast<const uint8_t *>(e.Data);
  return std::vector<uint8_t>(p, p + e.Length);
}

// A formatter as a socket control supplies one.
class TTestFormatter : public TNsBaseComponent {
 public:
  TTestFormatter() : TNsBaseComponent(nullptr) {}
  std::string FormatLogEntry(uint32_t Socket, uint32_t EntryType, const void *Data,
                             uint32_t Length) const override {
    return NsDataLogEntryText(Socket, EntryType, Data, Length);
  }
};

TEST(DebugLogTest, FullRingKeepsTheNewestEntries) {
  TNsDebugLog log(nullptr);
  EXPECT_EQ(log.BufferSize(), 65536u);
  log.SetEnabled(true);
  std::vector<uint8_t> data(2000);
  for (int i = 1; i <= 40; ++i) {
    std::fill(data.begin(), data.end(), static_cast<uint8_t>(i));
    log.AddEntry(nullptr, 7, NsLogRecvApi, Address(data), 2000);
  }
  // 65535 usable bytes hold 32 entries of 24 + 2000; the "on" mark and entries
  // 1-8 gave way.
  TNsLogEntry e;
  for (int i = 9; i <= 40; ++i) {
    ASSERT_TRUE(log.PopEntry(e)) << i;
    EXPECT_EQ(e.EntryType, NsLogRecvApi);
    EXPECT_EQ(e.Socket, 7u);
    ASSERT_EQ(e.Length, 2000u);
    EXPECT_EQ(EntryBytes(e), std::vector<uint8_t>(2000, static_cast<uint8_t>(i))) << i;
  }
  EXPECT_FALSE(log.PopEntry(e));
  EXPECT_TRUE(log.IsEmpty());
  EXPECT_EQ(log.FreeSpace(), 65535u);
}

TEST(DebugLogTest, EntryOfTheWholeBufferIsDroppedOneByteLessFits) {
  TNsDebugLog log(nullptr);
  log.SetBufferSize(1000);
  log.SetEnabled(true);  // a 24-byte "on" mark
  EXPECT_EQ(log.FreeSpace(), 1000u - 1 - 24);

  std::vector<uint8_t> data(976, 0xAB);
  log.AddEntry(nullptr, 1, NsLogRawText, Address(data),
               976);  // 1000 bytes: never fits
  EXPECT_EQ(log.FreeSpace(), 1000u - 1 - 24);

  log.AddEntry(nullptr, 1, NsLogRawText, Address(data),
               975);  // 999: fits once the mark goes
  EXPECT_EQ(log.FreeSpace(), 0u);
  TNsLogEntry e;
  ASSERT_TRUE(log.PopEntry(e));
  EXPECT_EQ(e.EntryType, NsLogRawText);
  EXPECT_EQ(EntryBytes(e), std::vector<uint8_t>(975, 0xAB));
  EXPECT_FALSE(log.PopEntry(e));
}

TEST(DebugLogTest, EntriesAcrossTheRingsEndReadBackWhole) {
  const struct {
    const char *Case;
    uint32_t FirstLength, SecondLength;
  } rows[] = {
      // "on" mark 0-24, first 24-78; second from 78: its header wraps (22 bytes
      // left).
      {"header wraps", 30, 30},
      // first 24-68; second's header 68-92, its data 92-100 and 0-32.
      {"data wraps", 20, 40},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Case);
    TNsDebugLog log(nullptr);
    log.SetBufferSize(100);
    log.SetEnabled(true);
    std::vector<uint8_t> first(row.FirstLength, 1), second(row.SecondLength);
    for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<uint8_t>(100 + i);
    log.AddEntry(nullptr, 3, NsLogRead, Address(first), row.FirstLength);
    log.AddEntry(nullptr, 4, NsLogWrite, Address(second), row.SecondLength);

    TNsLogEntry e;
    ASSERT_TRUE(log.PopEntry(e));
    EXPECT_EQ(e.Socket, 4u);
    EXPECT_EQ(e.EntryType, NsLogWrite);
    EXPECT_EQ(EntryBytes(e), second);
    EXPECT_FALSE(log.PopEntry(e));
    // The ring goes on working after the wrap.
    log.AddEntry(nullptr, 5, NsLogTelnet, 2, 253 * 256 + 1);
    ASSERT_TRUE(log.PopEntry(e));
    EXPECT_EQ(e.Socket, 5u);
    EXPECT_EQ(e.Data, 2u);
    EXPECT_EQ(e.Length, 253u * 256 + 1);
  }
}

TEST(DebugLogTest, NothingIsRecordedWhileDisabledAndResizingEmpties) {
  TNsDebugLog log(nullptr);
  std::vector<uint8_t> data(10, 1);
  log.AddEntry(nullptr, 1, NsLogRead, Address(data), 10);
  TNsLogEntry e;
  EXPECT_FALSE(log.PopEntry(e));

  log.SetEnabled(true);
  log.AddEntry(nullptr, 1, NsLogRead, Address(data), 10);
  log.SetEnabled(false);
  log.AddEntry(nullptr, 1, NsLogRead, Address(data), 10);
  std::vector<uint32_t> types;
  while (log.PopEntry(e)) types.push_back(e.EntryType);
  EXPECT_EQ(types, (std::vector<uint32_t>{NsLogOn, NsLogRead, NsLogOff}));

  log.SetEnabled(true);
  EXPECT_FALSE(log.IsEmpty());
  log.SetBufferSize(4096);
  EXPECT_TRUE(log.IsEmpty());
  EXPECT_EQ(log.FreeSpace(), 4095u);
}

TEST(DebugLogTest, FileHasHeaderThenEntriesWithTheirTimes) {
  TTempFile file("horolan-debuglog-test.log");
  NsStartSocketFramework();
  {
    TNsDebugLog log(nullptr);
    log.SetFileName(file.Name);
    log.SetEnabled(true);
    log.SetEnabled(false);
    log.WriteDebugLog();
    EXPECT_TRUE(log.IsEmpty());
  }
  const std::string description = WinSockAccess->StartupInfo().szDescription;
  const std::string status = WinSockAccess->StartupInfo().szSystemStatus;
  NsStopSocketFramework();

  const std::string header =
      "Vellicor v1.15 compiled with Unknown Compiler\r\n"
      "Operating System : " +
      NsOsVersionText() +
      "\r\n"
      "Description : " +
      description +
      "\r\n"
      "Negotiated Version : $0202\r\n"
      "System Status : " +
      status + "\r\n" + std::string(77, '=') + "\r\n\r\n";
  const std::string text = ReadFile(file.Name);
  ASSERT_EQ(text.substr(0, header.size()), header);
  EXPECT_TRUE(std::regex_match(text.substr(header.size()),
                               std::regex("\\d{4}\\.\\d{3} : \\*\\*\\*\\* Logging Enabled\r\n\r\n"
                                          "\\d{4}\\.\\d{3} : \\*\\*\\*\\* Logging Disabled\r\n\r\n")))
      << text.substr(header.size());
}

TEST(DebugLogTest, AppendKeepsTheFileOverwriteReplacesIt) {
  TTempFile file("horolan-debuglog-append.log");
  for (TNsWriteMode mode : {wmAppend, wmOverwrite}) {
    SCOPED_TRACE(mode == wmAppend ? "append" : "overwrite");
    WriteFile(file.Name, "old line\r\n");
    TNsDebugLog log(nullptr);
    log.SetFileName(file.Name);
    log.SetWriteMode(mode);
    log.SetEnabled(true);
    const std::string raw = "raw text";
    log.AddEntry(nullptr, 9, NsLogRawText, reinterpret_cast<uintptr_t>(raw.data()), 8);
    log.WriteDebugLog();
    const std::string text = ReadFile(file.Name);
    if (mode == wmAppend) {
      EXPECT_TRUE(std::regex_match(text, std::regex("old line\r\n"
                                                    "\\d{4}\\.\\d{3} : \\*\\*\\*\\* Logging Enabled\r\n\r\n"
                                                    "\\d{4}\\.\\d{3} : raw text\r\n")))
          << text;
    } else {
      EXPECT_EQ(text.rfind("Vellicor ", 0), 0u) << text;
      EXPECT_EQ(text.find("old line"), std::string::npos);
      EXPECT_NE(text.find(" : raw text\r\n"), std::string::npos);
    }
  }
}

TEST(DebugLogTest, UnopenableFileRaisesAndKeepsTheEntries) {
  TNsDebugLog log(nullptr);
  log.SetFileName("no-such-directory-for-horolan/debug.log");
  log.SetEnabled(true);
  EXPECT_THROW(log.WriteDebugLog(), ENsLogFileError);
  TNsLogEntry e;
  ASSERT_TRUE(log.PopEntry(e));
  EXPECT_EQ(e.EntryType, NsLogOn);
}

TEST(DebugLogTest, EntryTextsInTheFile) {
  TTempFile file("horolan-debuglog-texts.log");
  TTestFormatter formatter;
  TNsDebugLog log(nullptr);
  log.SetFileName(file.Name);
  log.SetEnabled(true);
  log.ClearBuffer();
  const std::string one = "A";
  log.AddEntry(&formatter, 12, NsLogRead, reinterpret_cast<uintptr_t>(one.data()), 1);
  log.AddEntry(nullptr, 5, NsLogTelnet, 1, 253 * 256 + 31);
  log.AddEntry(nullptr, 6, 77, 0x1234, 0xABCDEF);
  log.WriteDebugLog();
  const std::string text = ReadFile(file.Name);
  const size_t body = text.find("\r\n\r\n") + 4;
  EXPECT_TRUE(std::regex_match(text.substr(body),
                               std::regex("\\d{4}\\.\\d{3} : Read - 1 byte read from socket 12\r\n"
                                          "  000000: 41                                               : "
                                          "A               \r\n\r\n"
                                          "\\d{4}\\.\\d{3} : \\[5\\] Telnet DO negotiate about window "
                                          "size received\\.\r\n"
                                          "\\d{4}\\.\\d{3} : !!!! Unknown log entry : "
                                          "\\[6\\]\\[0000004d\\]\\[00001234\\]\\[00abcdef\\]\r\n\r\n")))
      << text.substr(body);
}

TEST(LogTextTest, TickPrefix) {
  const struct {
    uint32_t Ms;
    const char *Text;
  } rows[] = {
      {0, "0000.000 : "},       {999, "0000.999 : "},       {12345, "0012.345 : "},
      {9999999, "9999.999 : "}, {12345678, "12345.678 : "},  // past 7 digits the point stays before the
                                                             // milliseconds
  };
  for (const auto &row : rows) EXPECT_EQ(NsLogTickPrefix(row.Ms), row.Text) << row.Ms;
}

TEST(LogTextTest, HexDumpLines) {
  std::vector<uint8_t> bytes(17);
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(i == 0 ? 0x1F : 0x41 + i);
  bytes[8] = 0x7F;
  bytes[15] = 0x7E;
  bytes[16] = 0xFF;
  EXPECT_EQ(NsHexDump(bytes.data(), 17),
            "  000000: 1F 42 43 44 45 46 47 48  7F 4A 4B 4C 4D 4E 4F 7E : "
            ".BCDEFGH.JKLMNO~\r\n"
            "  000010: FF                                               : .    "
            "           \r\n");
  EXPECT_EQ(NsHexDump(bytes.data(), 0), "");
}

TEST(LogTextTest, TelnetAndDataEntryTexts) {
  const struct {
    uint32_t Socket, Direction, CommandOption;
    const char *Text;
  } telnet[] = {
      {5, 1, 253 * 256 + 31, "[5] Telnet DO negotiate about window size received."},
      {6, 2, 251 * 256 + 0, "[6] Telnet WILL transmit binary sent."},
      {7, 2, 252 * 256 + 49, "[7] Telnet WON'T FORWARD_X sent."},
      {8, 1, 254 * 256 + 24, "[8] Telnet DON'T terminal type received."},
      {9, 3, 250 * 256 + 50, "[9] Telnet [250] [50] [00000003]"},
  };
  for (const auto &row : telnet)
    EXPECT_EQ(NsTelnetLogText(row.Socket, row.Direction, row.CommandOption), row.Text);

  const std::string two = "hi";
  const std::string dump =
      "  000000: 68 69                                    "
      "        : hi              \r\n";
  EXPECT_EQ(NsDataLogEntryText(3, NsLogWrite, two.data(), 2),
            "Write - 2 bytes written to socket 3\r\n" + dump);
  EXPECT_EQ(NsDataLogEntryText(3, NsLogRecvApi, two.data(), 2), "[3] Recv API: 2 bytes read\r\n" + dump);
  EXPECT_EQ(NsDataLogEntryText(3, NsLogSendApi, two.data(), 1),
            "[3] Send API: 1 byte written\r\n"
            "  000000: 68                                               : h    "
            "           \r\n");
}

TEST(LogTextTest, OsVersionText) {
  const struct {
    unsigned Major, Minor, Platform;
    const char *Start;
  } rows[] = {
      {3, 10, 0, "Win32s on Windows 3.10 "},
      {4, 10, 1, "Win32 on Windows 4.10 "},
      {6, 1, 2, "Windows NT 6.1 "},
      {6, 2, 3, "Unknown6.2 "},
  };
  for (const auto &row : rows) {
    testhooks::SetReportedVersion(row.Major, row.Minor, row.Platform);
    EXPECT_EQ(NsOsVersionText().rfind(row.Start, 0), 0u) << NsOsVersionText();
  }
  testhooks::ResetReportedVersion();
}

TEST(EventLogTest, AppendsDatedLinesOnlyWhenEnabled) {
  TTempFile file("horolan-eventlog-test.log");
  TNsEventLog log(nullptr);
  EXPECT_EQ(log.DateTimeFormat(), "");
  log.SetFileName(file.Name);
  log.SetDateTimeFormat("yyyy.mm.dd hh:nn:ss");
  log.WriteEvent("Connect: Loc: 127.0.0.1:1025 Rem: 127.0.0.2:123");
  EXPECT_FALSE(FileExists(file.Name));

  log.SetEnabled(true);
  log.WriteEvent("Connect: Loc: 127.0.0.1:1025 Rem: 127.0.0.2:123");
  log.WriteEvent("Close:   Loc: 127.0.0.1:1025 Rem: 127.0.0.2:123");
  const std::string stamp = "\\d{4}\\.\\d{2}\\.\\d{2} \\d{2}:\\d{2}:\\d{2} ";
  const std::string text = ReadFile(file.Name);
  EXPECT_TRUE(std::regex_match(
      text, std::regex(stamp + "Connect: Loc: 127\\.0\\.0\\.1:1025 Rem: 127\\.0\\.0\\.2:123\r\n" + stamp +
                       "Close:   Loc: 127\\.0\\.0\\.1:1025 Rem: 127\\.0\\.0\\.2:123\r\n")))
      << text;
}

TEST(EventLogTest, DateTimeFormatLetters) {
  // 2024-03-05 07:08:09.042
  const double moment = 45356.0 + (7 * 3600 + 8 * 60 + 9.042) / 86400.0;
  EXPECT_EQ(NsFormatDateTime("yyyy.mm.dd hh:nn:ss", moment), "2024.03.05 07:08:09");
  EXPECT_EQ(NsFormatDateTime("yy/m/d h:n:s.zzz", moment), "24/3/5 7:8:9.042");
}

}  // namespace
