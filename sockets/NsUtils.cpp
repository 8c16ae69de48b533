// Socket framework base classes, routines and the destination parser.
#include "sockets/NsUtils.h"

#include <cstring>

TNsBasePersistent::TNsBasePersistent() { InitializeCriticalSection(&FCritSect); }
TNsBasePersistent::~TNsBasePersistent() { DeleteCriticalSection(&FCritSect); }
void TNsBasePersistent::Lock() {
  if (IsMultiThread) EnterCriticalSection(&FCritSect);
}
void TNsBasePersistent::Unlock() {
  if (IsMultiThread) LeaveCriticalSection(&FCritSect);
}

TNsBaseAccess::TNsBaseAccess() { InitializeCriticalSection(&FCritSect); }
TNsBaseAccess::~TNsBaseAccess() { DeleteCriticalSection(&FCritSect); }
void TNsBaseAccess::Lock() {
  if (IsMultiThread) EnterCriticalSection(&FCritSect);
}
void TNsBaseAccess::Unlock() {
  if (IsMultiThread) LeaveCriticalSection(&FCritSect);
}

std::string TNsBaseComponent::Version() const { return VersionText(); }

void TNsBaseComponent::SetVersion(const std::string &) {}

std::string TNsBaseComponent::FormatLogEntry(uint32_t, uint32_t, const void *, uint32_t) const {
  return "!!!! Unhandled log entry\n\r";
}

std::string VersionText() {
  // Built by hand rather than with "%.2f", which would follow the C locale's decimal point.
  std::string frac = std::to_string(NsFrameworkVersion % 100);
  if (frac.size() < 2) frac.insert(0, "0");
  return "v" + std::to_string(NsFrameworkVersion / 100) + "." + frac;
}

std::string TrimBlanks(const std::string &S) {
  size_t first = S.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  size_t last = S.find_last_not_of(' ');
  return S.substr(first, last - first + 1);
}

int CharPos(char Ch, const std::string &S) {
  size_t p = S.find(Ch);
  return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

int CompareBytes(const void *A, const void *B, int Count) {
  if (Count <= 0) return 0;
  int r = std::memcmp(A, B, static_cast<size_t>(Count));
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CountChar(const void *Data, int Count, char Ch) {
  const char *p = static_cast<const char *>(Data);
  int n = 0;
  for (int i = 0; i < Count; ++i)
    if (p[i] == Ch) ++n;
  return n;
}

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSlash(char c) { return c == '/' || c == '\\'; }
bool IsWordChar(char c) { return c == '-' || c == '.' || c == '_' || IsDigit(c) || IsLetter(c); }

// The parser's states; the numbers are those of the transition table it was designed as.
enum State {
  sStart = 0,
  sStop = 1,
  sBlanks = 2,
  sWord = 3,
  sNameColon = 4,  // a name and ":" after a scheme: port, user or another scheme follows
  sSchemeSlashes = 5,
  sFilePath = 6,
  sHost = 7,
  sUserInfo = 8,
  sPassword = 9,
  sPort = 10,
  sPath = 11,
  sFragment = 12,
  sQuery = 13,
  sTrailing = 14,
};

}  // namespace

bool ParseAddress(const std::string &Text, TNsAddrRec &Addr) {
  Addr = TNsAddrRec();
  State state = sStart;
  std::string word, path;
  bool schemeSeen = false;
  const bool hasAt = Text.find('@') != std::string::npos;

  // Ends the path at a fragment or query mark: a path collected so far becomes Path.
  auto takePath = [&](bool clear) {
    if (!path.empty()) {
      Addr.Path = TrimBlanks(path);
      if (clear) path.clear();
    }
  };

  for (char c : Text) {
    if (state == sStop) break;
    switch (state) {
      case sStart:
      case sBlanks:
        if (c == ' ') {
          state = sBlanks;
        } else if (c == '.' || IsSlash(c)) {
          path += c;
          state = sPath;
        } else if (IsDigit(c)) {
          Addr.Host += c;
          state = sHost;
        } else if (IsLetter(c) || (state == sBlanks && (c == '-' || c == '_'))) {
          word += c;
          state = sWord;
        } else {
          state = sStop;
        }
        break;

      case sWord:
        if (IsWordChar(c)) {
          word += c;
        } else if (IsSlash(c)) {
          if (schemeSeen || word.find('.') != std::string::npos)
            Addr.Host = word;
          else
            path = word;
          word.clear();
          path += c;
          state = sPath;
        } else if (c == ':' || c == '|') {
          if (word.size() == 1) {  // a drive letter
            path = word + c;
            word.clear();
            state = sFilePath;
          } else if (word.find('.') != std::string::npos) {
            Addr.Host = word;
            state = sPort;
          } else if (!Addr.Scheme.empty()) {
            state = sNameColon;
          } else {
            Addr.Scheme = word;
            schemeSeen = true;
            word.clear();
            state = sSchemeSlashes;
          }
        } else if (c == '@') {
          Addr.UserName = word;
          word.clear();
          state = sHost;
        } else {
          Addr.Host = word;
          word.clear();
          state = sHost;
        }
        break;

      case sNameColon:
        if (IsSlash(c)) {
          Addr.Scheme = word;
          schemeSeen = true;
          word.clear();
          state = sSchemeSlashes;
        } else if (IsDigit(c)) {
          Addr.Host = word;
          word.clear();
          Addr.Port += c;
          state = sPort;
        } else if (c == ':') {
          Addr.UserName = word;
          word.clear();
          state = sPassword;
        } else if (c == '@') {
          Addr.UserName = word;
          word.clear();
          state = sHost;
        } else if (IsLetter(c)) {
          Addr.UserName = word;
          word.clear();
          Addr.Password += c;
          state = sPassword;
        }
        break;

      case sSchemeSlashes:
        if (c == '.' || c == '\\') {
          path += c;
          state = sFilePath;
        } else if (c != '/') {
          word.assign(1, c);
          state = hasAt ? sUserInfo : sWord;
        }
        break;

      case sFilePath:
        if (c == '#') {
          takePath(false);
          state = sFragment;
        } else if (c == '&' || c == '?') {
          takePath(false);
          Addr.QueryDelimiter = c;
          state = sQuery;
        } else {
          path += c;
        }
        break;

      case sHost:
        if (c == ' ') {
          state = sTrailing;
        } else if (IsWordChar(c)) {
          Addr.Host += c;
        } else if (IsSlash(c)) {
          path += c;
          state = sPath;
        } else if (c == ':') {
          state = sPort;
        }
        break;

      case sUserInfo:
        if (c == ':' || c == '|') {
          if (word.size() == 1) {
            path = word + c;
            word.clear();
            state = sFilePath;
          } else {
            Addr.UserName = word;
            word.clear();
            state = sPassword;
          }
        } else if (c == '@') {
          Addr.UserName = word;
          word.clear();
          state = sHost;
        } else {
          word += c;
        }
        break;

      case sPassword:
        if (c == '@')
          state = sHost;
        else
          Addr.Password += c;
        break;

      case sPort:
        if (c == ' ') {
          state = sTrailing;
        } else if (IsSlash(c)) {
          path += c;
          state = sPath;
        } else if (IsDigit(c)) {
          Addr.Port += c;
        } else {
          state = sStop;
        }
        break;

      case sPath:
        if (c == ' ') {
          state = sTrailing;
        } else if (c == '#') {
          takePath(true);
          state = sFragment;
        } else if (c == '&' || c == '?') {
          takePath(true);
          Addr.QueryDelimiter = c;
          state = sQuery;
        } else {
          path += c;
        }
        break;

      case sFragment:
        if (c == '&' || c == '?') {
          takePath(true);
          Addr.QueryDelimiter = c;
          state = sQuery;
        } else {
          Addr.Fragment += c;
        }
        break;

      case sQuery:
        if (c == ' ')
          state = sTrailing;
        else
          Addr.Query += c;
        break;

      case sTrailing:
        if (c != ' ') state = sStop;
        break;

      case sStop:
        break;
    }
  }

  if (!word.empty()) Addr.Host = word;
  if (Addr.Path.empty()) Addr.Path = path.empty() ? std::string("/") : TrimBlanks(path);
  switch (state) {
    case sFilePath:
    case sHost:
    case sPort:
    case sPath:
    case sFragment:
    case sQuery:
    case sTrailing:
      return true;
    default:
      return false;
  }
}

std::string NotificationName(int Bit, const std::string &Default) {
  switch (Bit) {
    case 1:
      return "Fd_Read";
    case 2:
      return "Fd_Write";
    case 4:
      return "Fd_Oob";
    case 8:
      return "Fd_Accept";
    case 16:
      return "Fd_Connect";
    case 32:
      return "Fd_Close";
    default:
      return Default;
  }
}

std::string LookupName(int Kind, const std::string &Default) {
  switch (Kind) {
    case 0:
      return "WsaAsyncGetHostByName";
    case 1:
      return "WsaAsyncGetHostByAddr";
    case 2:
      return "WsaAsyncGetServByName";
    case 3:
      return "WsaAsyncGetServByPort";
    default:
      return Default;
  }
}
