// The socket framework's string table (see NsConst.h). Translators edit the texts here;
// the format strings keep their printf conversions in the same order.
#include "sockets/NsConst.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

struct TResString {
  int Id;
  const char *Text;
};

const TResString ResStrings[] = {
    // Winsock error texts, by error code
    {10004, "Interrupted function call"},
    {10009, "Bad file descriptor"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Resource temporarily unavailable"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on nonsocket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Cannot assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Cannot send after socket shutdown"},
    {10059, "Too many references; cannot splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disk quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "WinSock DLL version not supported"},
    {10093, "Successful WSAStartup not yet performed"},
    {10101, "Graceful shutdown in progress"},
    {10102, "No more data available"},
    {10103, "Cancelled"},
    {10104, "Invalid procedure table from service provider"},
    {10105, "Invalid service provider version number"},
    {10106, "Unable to initialize a service provider"},
    {10107, "System call failure"},
    {10108, "Service not found"},
    {10109, "Type not found"},
    {10110, "No more data available"},
    {10111, "Lookup cancelled"},
    {10112, "Refused"},
    {11001, "Host not found"},
    {11002, "Nonauthoritative host not found"},
    {11003, "This is a nonrecoverable error"},
    {11004, "Valid name, no data record of requested type"},
    {11005, "At least one Reserve has arrived"},
    {11006, "At least one Path has arrived"},
    {11007, "There are no senders"},
    {11008, "There are no receivers"},
    {11009, "Reserve has been confirmed"},
    {11010, "Error due to lack of resources"},
    {11011, "Rejected for administrative reasons - bad credentials"},
    {11012, "Unknown or conflicting style"},
    {11013, "Problem filterspec or providerspecific buffer"},
    {11014, "Problem with some part of the flowspec"},
    {11015, "General error"},
    // Framework messages
    {sNsWinSockErrorFmt, "WinSock Error (%d): %s, on API '%s'"},
    {sNsAccessErrorFmt, "Win32 error loading '%s' pointer: %s"},
    {sNsActiveError, "Cannot set property on an active socket"},
    {sNsIndexError, "Index out of range"},
    {sNsNoSocketError, "Socket not assigned"},
    {sNsProgrammerError, "Stream not assigned"},
    {sNsDestAddrRequired, "Destination address required"},
    {sNsAlreadyConnected, "Socket is already connected"},
    {sNsSocksRefusedFmt, "SOCKS request refused - %d"},
    {sNsLineTooLong, "Received line too long, exceeds MaxLineBuf"},
    {sNsNoTimers, "Not enough system timers available"},
    {sNsBadTerminator, "Bad terminator"},
    {sNsInvalidUdpSocket, "invalid udp socket"},
    {sNsUnhandledLogEntry, "!!!! Unhandled log entry\n\r"},
    {sNsCannotCreateFileFmt, "Cannot create file \"%s\""},
    {sNsCannotOpenFileFmt, "Cannot open file \"%s\""},
    // Debug log file
    {sNsLogEnabled, "**** Logging Enabled\r\n"},
    {sNsLogDisabled, "**** Logging Disabled\r\n"},
    {sNsLogUnknownEntryFmt, "!!!! Unknown log entry : [%d][%8.8x][%8.8x][%8.8x]\r\n"},
    {sNsLogTickFmt, "%07.7u : "},
    {sNsLogHeaderTitle, "Vellicor "},
    {sNsLogHeaderCompiledWith, " compiled with "},
    {sNsLogHeaderCompiler, "Unknown Compiler"},
    {sNsLogHeaderOs, "Operating System : "},
    {sNsLogHeaderDescription, "Description : "},
    {sNsLogHeaderVersionFmt, "Negotiated Version : $%4.4x"},
    {sNsLogHeaderStatus, "System Status : "},
    {sNsOsWin32s, "Win32s on Windows "},
    {sNsOsWin32, "Win32 on Windows "},
    {sNsOsWinNT, "Windows NT "},
    {sNsOsUnknown, "Unknown"},
    {sNsTelnetLineFmt, "[%d] Telnet %s %s %s"},
    {sNsTelnetNumberFmt, "[%d]"},
    {sNsTelnetWill, "WILL"},
    {sNsTelnetWont, "WON'T"},
    {sNsTelnetDo, "DO"},
    {sNsTelnetDont, "DON'T"},
    {sNsTelnetReceived, "received."},
    {sNsTelnetSent, "sent."},
    {sNsTelnetDirectionFmt, "[%8.8x]"},
    {sNsHexDumpLineFmt, "  %6.6x: 00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00 : 0000000000000000\r\n"},
    {sNsLogReadFmt, "Read - %d %s read from socket %d\r\n"},
    {sNsLogWriteFmt, "Write - %d %s written to socket %d\r\n"},
    {sNsLogRecvApiFmt, "[%d] Recv API: %d %s read\r\n"},
    {sNsLogSendApiFmt, "[%d] Send API: %d %s written\r\n"},
    {sNsByte, "byte"},
    {sNsBytes, "bytes"},
    // Event log lines
    {sNsEventConnectFmt, "Connect: Loc: %s Rem: %s"},
    {sNsEventCloseFmt, "Close:   Loc: %s Rem: %s"},
    // Telnet option names
    {sNsTelnetOption0 + 0, "transmit binary"},
    {sNsTelnetOption0 + 1, "echo"},
    {sNsTelnetOption0 + 2, "reconnect"},
    {sNsTelnetOption0 + 3, "suppress go-ahead"},
    {sNsTelnetOption0 + 4, "approx msg size"},
    {sNsTelnetOption0 + 5, "status"},
    {sNsTelnetOption0 + 6, "timing mark"},
    {sNsTelnetOption0 + 7, "remote trans & echo"},
    {sNsTelnetOption0 + 8, "output line width"},
    {sNsTelnetOption0 + 9, "output page size"},
    {sNsTelnetOption0 + 10, "output C/R disp"},
    {sNsTelnetOption0 + 11, "output horz tabs"},
    {sNsTelnetOption0 + 12, "output horz tab disp"},
    {sNsTelnetOption0 + 13, "output FF disp"},
    {sNsTelnetOption0 + 14, "output vert tabs"},
    {sNsTelnetOption0 + 15, "output vert tab disp"},
    {sNsTelnetOption0 + 16, "output linefeed disp"},
    {sNsTelnetOption0 + 17, "extended ASCII"},
    {sNsTelnetOption0 + 18, "logout"},
    {sNsTelnetOption0 + 19, "byte macro"},
    {sNsTelnetOption0 + 20, "data entry terminal subcommands"},
    {sNsTelnetOption0 + 21, "SUPDUP"},
    {sNsTelnetOption0 + 22, "SUPDUP output"},
    {sNsTelnetOption0 + 23, "send location"},
    {sNsTelnetOption0 + 24, "terminal type"},
    {sNsTelnetOption0 + 25, "end of record"},
    {sNsTelnetOption0 + 26, "TACACS user ID"},
    {sNsTelnetOption0 + 27, "output marking"},
    {sNsTelnetOption0 + 28, "terminal loc num"},
    {sNsTelnetOption0 + 29, "Telnet3270 Regime"},
    {sNsTelnetOption0 + 30, "X.3-Pad operations"},
    {sNsTelnetOption0 + 31, "negotiate about window size"},
    {sNsTelnetOption0 + 32, "terminal speed"},
    {sNsTelnetOption0 + 33, "toggle flow control"},
    {sNsTelnetOption0 + 34, "line mode"},
    {sNsTelnetOption0 + 35, "X display location"},
    {sNsTelnetOption0 + 36, "environment variables"},
    {sNsTelnetOption0 + 37, "authentication"},
    {sNsTelnetOption0 + 38, "encryption option"},
    {sNsTelnetOption0 + 39, "new environment variables"},
    {sNsTelnetOption0 + 40, "TN3270E"},
    {sNsTelnetOption0 + 41, "XAUTH"},
    {sNsTelnetOption0 + 42, "character set"},
    {sNsTelnetOption0 + 43, "telnet remote serial port (RSP)"},
    {sNsTelnetOption0 + 44, "com port control option"},
    {sNsTelnetOption0 + 45, "telnet suppress local echo"},
    {sNsTelnetOption0 + 46, "telnet start TLS"},
    {sNsTelnetOption0 + 47, "KERMIT"},
    {sNsTelnetOption0 + 48, "SEND-URL"},
    {sNsTelnetOption0 + 49, "FORWARD_X"}};

}  // namespace

std::string LoadResString(int Id) {
  for (const TResString &s : ResStrings)
    if (s.Id == Id) return s.Text;
  return std::string();
}

std::string FormatResString(int Id, ...) {
  const std::string format = LoadResString(Id);
  va_list args;
  va_start(args, Id);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format.c_str(), args);
  va_end(args);
  std::string result;
  if (n > 0) {
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format.c_str(), again);
    result.assign(buffer.data(), static_cast<size_t>(n));
  }
  va_end(again);
  return result;
}
