// The socket framework's string table: every text a user (or a log reader) can see,
// kept in one place so that it can be translated without touching the code.
#pragma once

#include <string>

// String ids. The Winsock error texts use the error code itself as their id, so
// LoadResString(10061) is the text for WSAECONNREFUSED.
enum TNsResStringId : int {
  // Framework messages; 20000 up, clear of every Winsock error code.
  sNsWinSockErrorFmt = 20000,  // code, text, API label
  sNsAccessErrorFmt,           // function name, system text
  sNsActiveError,
  sNsIndexError,
  sNsNoSocketError,
  sNsProgrammerError,
  sNsDestAddrRequired,
  sNsAlreadyConnected,
  sNsSocksRefusedFmt,  // status
  sNsLineTooLong,
  sNsNoTimers,
  sNsBadTerminator,
  sNsInvalidUdpSocket,
  sNsUnhandledLogEntry,
  sNsCannotCreateFileFmt,  // file name
  sNsCannotOpenFileFmt,    // file name
  // Debug log file
  sNsLogEnabled = 20100,
  sNsLogDisabled,
  sNsLogUnknownEntryFmt,  // handle, type, data, length
  sNsLogTickFmt,
  sNsLogHeaderTitle,  // before the version text
  sNsLogHeaderCompiledWith,
  sNsLogHeaderCompiler,
  sNsLogHeaderOs,
  sNsLogHeaderDescription,
  sNsLogHeaderVersionFmt,
  sNsLogHeaderStatus,
  sNsOsWin32s,
  sNsOsWin32,
  sNsOsWinNT,
  sNsOsUnknown,
  sNsTelnetLineFmt,  // handle, command, option, direction
  sNsTelnetNumberFmt,
  sNsTelnetWill,
  sNsTelnetWont,
  sNsTelnetDo,
  sNsTelnetDont,
  sNsTelnetReceived,
  sNsTelnetSent,
  sNsTelnetDirectionFmt,
  sNsHexDumpLineFmt,
  sNsLogReadFmt,
  sNsLogWriteFmt,
  sNsLogRecvApiFmt,
  sNsLogSendApiFmt,
  sNsByte,
  sNsBytes,
  // Event log lines
  sNsEventConnectFmt,
  sNsEventCloseFmt,
  // Telnet option names: sNsTelnetOption0 + option number, 0 to 49.
  sNsTelnetOption0 = 20200,
  sNsTelnetOptionLast = sNsTelnetOption0 + 49,
};

// The text of a string id, or an empty text for an id the table does not hold.
std::string LoadResString(int Id);
// Fills a printf-style format taken from the string table.
std::string FormatResString(int Id, ...);
