// The host layer's kernel32 and advapi32: errors and their texts, handles, mutexes
// (named ones shared between processes through flock'ed files), critical sections,
// tick and wall time, priority, version, user name, files, child processes and the
// environment.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <stdio.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/console.h"
#include "platform/winapi.h"

extern char **environ;

namespace {

constexpr DWORD kErrorNotSameDevice = 17;
constexpr DWORD kErrorEnvvarNotFound = 203;
constexpr DWORD kErrorNotOwner = 288;
constexpr DWORD kErrorMrMidNotFound = 317;
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

thread_local DWORD tLastError = 0;

DWORD FromErrno(int e, DWORD fallback = ERROR_ACCESS_DENIED) {
  switch (e) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
      return ERROR_INVALID_NAME;
    case EXDEV:
      return kErrorNotSameDevice;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
  }
  return fallback;
}

// A missing file in an existing folder is "file not found"; a missing folder on the way
// is "path not found", as Windows tells them apart.
DWORD MissingPathError(const char *path) {
  std::string p = path;
  size_t slash = p.find_last_of('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
  std::string dir = slash == 0 ? "/" : p.substr(0, slash);
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD PathError(const char *path, int e) {
  if (e == ENOENT) return MissingPathError(path);
  return FromErrno(e);
}

// ---- Handles ------------------------------------------------------------------------

struct Object {
  virtual ~Object() = default;
};

struct HandleTable {
  std::mutex lock;
  std::map<HANDLE, std::shared_ptr<Object>> objects;
  uintptr_t next = 0x100;
};

HandleTable &Handles() {
  static HandleTable *t = new HandleTable;
  return *t;
}

HANDLE AddHandle(std::shared_ptr<Object> o) {
  HandleTable &t = Handles();
  std::lock_guard<std::mutex> g(t.lock);
  HANDLE h = reinterpret_cast<HANDLE>(t.next);
  t.next += 4;
  t.objects[h] = std::move(o);
  return h;
}

template <class T>
std::shared_ptr<T> GetObject(HANDLE h) {
  HandleTable &t = Handles();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.objects.find(h);
  if (it == t.objects.end()) return nullptr;
  return std::dynamic_pointer_cast<T>(it->second);
}

// ---- Mutexes ------------------------------------------------------------------------

// The in-process object behind every handle of one mutex. A named one also holds a
// shared flock on its file for as long as it lives: that lock is what tells other
// processes the name exists.
struct MutexCore {
  std::mutex lock;
  std::condition_variable released;
  std::thread::id owner;
  int count = 0;
  std::string name;
  std::string dir, path;  // of a named one's file
  int fd = -1;
  ~MutexCore();
};

struct MutexHandle : Object {
  std::shared_ptr<MutexCore> core;
};

std::mutex gNamedLock;
std::map<std::string, std::weak_ptr<MutexCore>> gNamed;

// The folder of the named mutexes' files. In a shared temporary folder another user
// could have made it first, to block the start or to plant links that make a run as
// root create files elsewhere: only a real directory of this user's that nobody else
// may enter is used. Empty, with errno set and the reason reported, when it is not.
std::string MutexDir() {
  std::string base;
  const char *rt = getenv("XDG_RUNTIME_DIR");
  if (rt && *rt == '/') {
    base = std::string(rt) + "/horolan-mutex";
  } else {
    const char *tmp = getenv("TMPDIR");
    base = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/horolan-mutex-" + std::to_string(getuid());
  }
  std::string problem;
  struct stat st {};
  if (mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
    problem = std::string("cannot be created: ") + strerror(errno);
  } else if (lstat(base.c_str(), &st) != 0) {
    problem = std::string("cannot be examined: ") + strerror(errno);
  } else if (S_ISLNK(st.st_mode)) {
    problem = "is a symbolic link";
  } else if (!S_ISDIR(st.st_mode)) {
    problem = "is not a directory";
  } else if (st.st_uid != geteuid()) {
    problem = "belongs to user " + std::to_string(st.st_uid);
  } else if (st.st_mode & 077) {
    char mode[8];
    snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    problem = std::string("is open to other users (mode ") + mode + ")";
  }
  if (problem.empty()) return base;
  // Once per finding and process: every mutex call looks again.
  static std::string reported;
  const std::string message = "horolan: the lock directory " + base + " " + problem +
                              "; it must be a directory of user " + std::to_string(geteuid()) +
                              " with mode 0700 (remove it, or set XDG_RUNTIME_DIR)";
  if (reported != message) {
    reported = message;
    HostReportLine(HostLevelError, message);
  }
  errno = EACCES;
  return std::string();
}

// Names are case-sensitive and may hold any character: spell them out.
std::string MutexPath(const std::string &dir, const std::string &name) {
  static const char hex[] = "0123456789abcdef";
  std::string file;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.') {
      file += static_cast<char>(c);
    } else {
      file += '_';
      file += hex[c >> 4];
      file += hex[c & 15];
    }
  }
  return dir + "/" + file;
}

// Serialises every look at the mutex files of this user, so that a check and the
// lock that follows it are one step for all processes.
struct GuardLock {
  int fd;
  explicit GuardLock(const std::string &dir) {
    fd = open((dir + "/.guard").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0)
      while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~GuardLock() {
    if (fd >= 0) close(fd);
  }
};

// Under the guard: does some process hold the name?
bool NameHeldElsewhere(const std::string &path) {
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return held;
}

int HoldName(const std::string &path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd >= 0) flock(fd, LOCK_SH);
  return fd;
}

MutexCore::~MutexCore() {
  if (fd < 0) return;
  GuardLock guard(dir);
  close(fd);
  // The last holder anywhere removes the file; nobody can be opening it meanwhile.
  if (!NameHeldElsewhere(path)) unlink(path.c_str());
}

void TakeOwnership(MutexCore &m) {
  std::unique_lock<std::mutex> g(m.lock);
  m.owner = std::this_thread::get_id();
  m.count++;
}

// ---- Processes ----------------------------------------------------------------------

struct ProcessHandle : Object {
  pid_t pid = 0;
  bool exited = false;
  DWORD exitCode = STILL_ACTIVE;
  std::mutex lock;

  bool Poll() {
    std::lock_guard<std::mutex> g(lock);
    if (exited) return true;
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      exited = true;
      exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (r < 0 && errno == ECHILD) {
      exited = true;
      exitCode = 0;
    }
    return exited;
  }
};

// Windows' rules for splitting a command line (2n backslashes + quote: n backslashes and
// a quote toggle; 2n+1: n backslashes and a literal quote).
std::vector<std::string> SplitCommandLine(const std::string &line) {
  std::vector<std::string> args;
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        size_t count = 0;
        while (i < n && line[i] == '\\') ++count, ++i;
        if (i < n && line[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(count, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';  // "" inside quotes is a literal quote
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::string QuoteArgument(const std::string &arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string r = "\"";
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    r.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    r += c;
  }
  r.append(slashes * 2, '\\');
  return r + "\"";
}

// ---- Time ---------------------------------------------------------------------------

constexpr long long kFileTimeUnixEpoch = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601

long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long *y, unsigned *m, unsigned *d) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<long long>(yoe) + era * 400 + (*m <= 2);
}

bool ValidSystemTime(const SYSTEMTIME &st) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12) return false;
  bool leap = (st.wYear % 4 == 0 && st.wYear % 100 != 0) || st.wYear % 400 == 0;
  unsigned days = kDays[st.wMonth - 1] + (st.wMonth == 2 && leap ? 1 : 0);
  return st.wDay >= 1 && st.wDay <= days && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 &&
         st.wMilliseconds < 1000;
}

// Milliseconds since 1970 of the civil time in st, read as UTC.
long long CivilMs(const SYSTEMTIME &st) {
  long long days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
  return ((days * 24 + st.wHour) * 60 + st.wMinute) * 60000LL + st.wSecond * 1000LL + st.wMilliseconds;
}

void MsToCivil(long long ms, SYSTEMTIME *st) {
  long long days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
  long long rest = ms - days * 86400000;
  long long y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  st->wHour = static_cast<WORD>(rest / 3600000);
  st->wMinute = static_cast<WORD>(rest / 60000 % 60);
  st->wSecond = static_cast<WORD>(rest / 1000 % 60);
  st->wMilliseconds = static_cast<WORD>(rest % 1000);
}

long long UtcNowMs() {
  if (testhooks::FakeClockInstalled()) return testhooks::FakeUtcMs();
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The zone file is read at start-up, not on the way from an answer to the clock.
[[maybe_unused]] const bool gZoneLoaded = (tzset(), true);

// The host zone's offset from UTC at the given UTC moment, in ms.
long long LocalOffsetAtUtc(long long utcMs) {
  time_t secs = static_cast<time_t>(utcMs >= 0 ? utcMs / 1000 : -((-utcMs + 999) / 1000));
  tm local{};
  localtime_r(&secs, &local);
  return static_cast<long long>(local.tm_gmtoff) * 1000;
}

// The zone's offset at the last local-to-UTC conversion, seeded at start-up: it nearly
// always still holds, and one localtime_r() confirms it where mktime() tries several.
// Setting the clock from an answer is the conversion this spares.
std::atomic<long long> gLastLocalOffsetMs{LocalOffsetAtUtc(static_cast<long long>(time(nullptr)) * 1000)};

// Local civil time to UTC ms, by the host zone (a time in a DST gap or overlap is
// resolved the way mktime resolves it, unless the last offset fits it).
long long LocalToUtcMs(const SYSTEMTIME &st) {
  const long long civil = CivilMs(st);
  const long long offset = gLastLocalOffsetMs.load(std::memory_order_relaxed);
  // A moment whose local time is st: the answer, unless the offset has changed since.
  if (LocalOffsetAtUtc(civil - offset) == offset) return civil - offset;
  tm t{};
  t.tm_year = st.wYear - 1900;
  t.tm_mon = st.wMonth - 1;
  t.tm_mday = st.wDay;
  t.tm_hour = st.wHour;
  t.tm_min = st.wMinute;
  t.tm_sec = st.wSecond;
  t.tm_isdst = -1;
  time_t secs = mktime(&t);
  const long long utc = static_cast<long long>(secs) * 1000 + st.wMilliseconds;
  gLastLocalOffsetMs.store(civil - utc, std::memory_order_relaxed);
  return utc;
}

BOOL SetClock(long long utcMs, bool local) {
  if (testhooks::FakeClockInstalled()) {
    if (unsigned long e = testhooks::internal::ClockSetFailure()) {
      SetLastError(static_cast<DWORD>(e));
      return FALSE;
    }
    testhooks::internal::RecordClockSet(utcMs, local);
    return TRUE;
  }
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(utcMs / 1000);
  ts.tv_nsec = static_cast<long>(utcMs % 1000) * 1000000;
  if (clock_settime(CLOCK_REALTIME, &ts) != 0) {
    SetLastError(errno == EPERM ? ERROR_PRIVILEGE_NOT_HELD : FromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

// ---- Message texts ------------------------------------------------------------------

const char *SystemMessage(DWORD id) {
  static const std::map<DWORD, const char *> kTexts = {
      {0, "The operation completed successfully."},
      {1, "Incorrect function."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {4, "The system cannot open the file."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough storage is available to process this command."},
      {13, "The data is invalid."},
      {14, "Not enough storage is available to complete this operation."},
      {17, "The system cannot move the file to a different disk drive."},
      {32, "The process cannot access the file because it is being used by another process."},
      {50, "The request is not supported."},
      {80, "The file exists."},
      {87, "The parameter is incorrect."},
      {122, "The data area passed to a system call is too small."},
      {123, "The filename, directory name, or volume label syntax is incorrect."},
      {126, "The specified module could not be found."},
      {127, "The specified procedure could not be found."},
      {183, "Cannot create a file when that file already exists."},
      {203, "The system could not find the environment option that was entered."},
      {288, "Attempt to release mutex not owned by caller."},
      {1300, "Not all privileges or groups referenced are assigned to the caller."},
      {1314, "A required privilege is not held by the client."},
      {1400, "Invalid window handle."},
      {1401, "Invalid menu handle."},
      {1406, "Cannot create a top-level child window."},
      {1407, "Cannot find window class."},
      {1410, "Class already exists."},
      {1411, "Class does not exist."},
      {1412, "Class still has open windows."},
      {1413, "Invalid index."},
      {1444, "Invalid thread identifier."},
      {1460, "This operation returned because the timeout period expired."},
      {1812, "The specified image file did not contain a resource section."},
      {1813, "The specified resource type cannot be found in the image file."},
      {10035, "A non-blocking socket operation could not be completed immediately."},
      {10054, "An existing connection was forcibly closed by the remote host."},
      {10060,
       "A connection attempt failed because the connected party did not properly respond after a period of "
       "time, or established connection failed because connected host has failed to respond."},
      {10061, "No connection could be made because the target machine actively refused it."},
  };
  auto it = kTexts.find(id);
  return it == kTexts.end() ? nullptr : it->second;
}

// ---- Priority -----------------------------------------------------------------------

std::mutex gPriorityLock;
DWORD gPriorityClass = NORMAL_PRIORITY_CLASS;

// Whether this process could set the given nice value again later: with CAP_SYS_NICE, or
// within RLIMIT_NICE (whose soft limit it may raise up to the hard one).
bool MaySetNiceLater(int nice) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2] = {};
  if (syscall(SYS_capget, &header, caps) == 0 && (caps[CAP_SYS_NICE / 32].effective & (1u << (CAP_SYS_NICE % 32))))
    return true;
  const rlim_t needed = static_cast<rlim_t>(20 - nice);
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) != 0) return false;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < needed) return false;
    limit.rlim_cur = needed;
    return setrlimit(RLIMIT_NICE, &limit) == 0;
  }
  return true;
}

}  // namespace

// ---- Errors -------------------------------------------------------------------------

DWORD WINAPI GetLastError() { return tLastError; }
void WINAPI SetLastError(DWORD code) { tLastError = code; }

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                            void *arguments) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (arguments && !(flags & FORMAT_MESSAGE_IGNORE_INSERTS)) ||
      !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char *text = SystemMessage(messageId);
  if (!text) {
    SetLastError(kErrorMrMidNotFound);
    return 0;
  }
  std::string msg = text;
  if ((flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != FORMAT_MESSAGE_MAX_WIDTH_MASK) msg += "\r\n";
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    DWORD n = std::max<DWORD>(size, static_cast<DWORD>(msg.size() + 1));
    char *p = static_cast<char *>(malloc(n));
    if (!p) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    memcpy(p, msg.c_str(), msg.size() + 1);
    *reinterpret_cast<char **>(buffer) = p;
    return static_cast<DWORD>(msg.size());
  }
  if (msg.size() + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(buffer, msg.c_str(), msg.size() + 1);
  return static_cast<DWORD>(msg.size());
}

HANDLE WINAPI LocalFree(HANDLE mem) {
  free(mem);
  return nullptr;
}

// ---- Handles and mutexes -------------------------------------------------------------

BOOL WINAPI CloseHandle(HANDLE h) {
  if (h == kCurrentProcess) return TRUE;
  std::shared_ptr<Object> dying;
  {
    HandleTable &t = Handles();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.objects.find(h);
    if (it == t.objects.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    dying = std::move(it->second);
    t.objects.erase(it);
  }
  // A mutex whose last handle closes is abandoned by its owner and, if named, disappears.
  if (auto m = std::dynamic_pointer_cast<MutexHandle>(dying)) {
    std::lock_guard<std::mutex> g(gNamedLock);
    std::weak_ptr<MutexCore> weak = m->core;
    dying.reset();
    m.reset();
    if (weak.expired())
      for (auto it = gNamed.begin(); it != gNamed.end();)
        it = it->second.expired() ? gNamed.erase(it) : std::next(it);
  }
  return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
  if (DWORD e = testhooks::internal::MutexFailure(true)) {
    SetLastError(e);
    return nullptr;
  }
  auto handle = std::make_shared<MutexHandle>();
  bool existed = false;
  if (name && *name) {
    std::lock_guard<std::mutex> g(gNamedLock);
    auto it = gNamed.find(name);
    if (it != gNamed.end() && (handle->core = it->second.lock())) {
      existed = true;
    } else {
      auto core = std::make_shared<MutexCore>();
      core->name = name;
      core->dir = MutexDir();
      if (core->dir.empty()) {
        // Not "access denied": to the guard that means a copy of higher rights runs.
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
      }
      core->path = MutexPath(core->dir, name);
      GuardLock guard(core->dir);
      existed = NameHeldElsewhere(core->path);
      core->fd = HoldName(core->path);
      if (core->fd < 0) {
        SetLastError(FromErrno(errno));
        return nullptr;
      }
      gNamed[name] = core;
      handle->core = core;
    }
  } else {
    handle->core = std::make_shared<MutexCore>();
  }
  // Windows grants initial ownership only to the creator of a new mutex.
  if (initialOwner && !existed) TakeOwnership(*handle->core);
  HANDLE h = AddHandle(handle);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

HANDLE WINAPI OpenMutexA(DWORD, BOOL, LPCSTR name) {
  if (DWORD e = testhooks::internal::MutexFailure(false)) {
    SetLastError(e);
    return nullptr;
  }
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto handle = std::make_shared<MutexHandle>();
  std::lock_guard<std::mutex> g(gNamedLock);
  auto it = gNamed.find(name);
  if (it != gNamed.end() && (handle->core = it->second.lock())) return AddHandle(handle);
  const std::string dir = MutexDir();
  if (dir.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  const std::string path = MutexPath(dir, name);
  GuardLock guard(dir);
  if (!NameHeldElsewhere(path)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto core = std::make_shared<MutexCore>();
  core->name = name;
  core->dir = dir;
  core->path = path;
  core->fd = HoldName(path);
  gNamed[name] = core;
  handle->core = core;
  return AddHandle(handle);
}

BOOL WINAPI ReleaseMutex(HANDLE mutex) {
  auto m = GetObject<MutexHandle>(mutex);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  MutexCore &c = *m->core;
  std::unique_lock<std::mutex> g(c.lock);
  if (c.count == 0 || c.owner != std::this_thread::get_id()) {
    SetLastError(kErrorNotOwner);
    return FALSE;
  }
  if (--c.count == 0) {
    c.owner = std::thread::id();
    c.released.notify_one();
  }
  return TRUE;
}

// ---- Critical sections ----------------------------------------------------------------

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  cs->impl = new std::recursive_mutex;
  cs->RecursionCount = 0;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  delete static_cast<std::recursive_mutex *>(cs->impl);
  cs->impl = nullptr;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
  static_cast<std::recursive_mutex *>(cs->impl)->lock();
  cs->RecursionCount++;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  cs->RecursionCount--;
  static_cast<std::recursive_mutex *>(cs->impl)->unlock();
}

// ---- Time ---------------------------------------------------------------------------

DWORD WINAPI GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<DWORD>(static_cast<unsigned long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

void WINAPI Sleep(DWORD ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void WINAPI GetSystemTime(LPSYSTEMTIME st) { MsToCivil(UtcNowMs(), st); }

void WINAPI GetLocalTime(LPSYSTEMTIME st) {
  long long utc = UtcNowMs();
  MsToCivil(utc + LocalOffsetAtUtc(utc), st);
}

BOOL WINAPI SetSystemTime(const SYSTEMTIME *st) {
  if (!st || !ValidSystemTime(*st)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return SetClock(CivilMs(*st), false);
}

BOOL WINAPI SetLocalTime(const SYSTEMTIME *st) {
  if (!st || !ValidSystemTime(*st)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return SetClock(LocalToUtcMs(*st), true);
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *st, LPFILETIME ft) {
  if (!st || !ft || !ValidSystemTime(*st)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  unsigned long long v = static_cast<unsigned long long>(CivilMs(*st) * 10000 + kFileTimeUnixEpoch);
  ft->dwLowDateTime = static_cast<DWORD>(v);
  ft->dwHighDateTime = static_cast<DWORD>(v >> 32);
  return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME *ft, LPSYSTEMTIME st) {
  if (!ft || !st || (ft->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  long long v = (static_cast<long long>(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
  MsToCivil((v - kFileTimeUnixEpoch) / 10000 - ((v - kFileTimeUnixEpoch) % 10000 < 0 ? 1 : 0), st);
  return TRUE;
}

// ---- Processes ----------------------------------------------------------------------

HANDLE WINAPI GetCurrentProcess() { return kCurrentProcess; }
DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
DWORD WINAPI GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

BOOL WINAPI SetPriorityClass(HANDLE process, DWORD priorityClass) {
  if (process != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  int nice;
  switch (priorityClass) {
    case IDLE_PRIORITY_CLASS:
      nice = 19;
      break;
    case BELOW_NORMAL_PRIORITY_CLASS:
      nice = 10;
      break;
    case NORMAL_PRIORITY_CLASS:
      nice = 0;
      break;
    case ABOVE_NORMAL_PRIORITY_CLASS:
      nice = -5;
      break;
    case HIGH_PRIORITY_CLASS:
      nice = -10;
      break;
    case REALTIME_PRIORITY_CLASS:
      nice = -20;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  std::lock_guard<std::mutex> g(gPriorityLock);
  // Windows lets a process come back from the idle class; Linux, without the right, does
  // not. Such a process stays where it is rather than wait for every later answer at idle.
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, 0);
  if (errno == 0) {
    if (nice > current && !MaySetNiceLater(current)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    // Already there (the usual case once a query is out): no second system call.
    if (nice == current) {
      gPriorityClass = priorityClass;
      return TRUE;
    }
  }
  if (setpriority(PRIO_PROCESS, 0, nice) != 0) {
    // Without privilege a process cannot lower its nice value again.
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  gPriorityClass = priorityClass;
  return TRUE;
}

DWORD WINAPI GetPriorityClass(HANDLE process) {
  if (process != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  std::lock_guard<std::mutex> g(gPriorityLock);
  return gPriorityClass;
}

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID env, LPCSTR curDir, LPSTARTUPINFOA,
                           LPPROCESS_INFORMATION info) {
  std::vector<std::string> args = SplitCommandLine(commandLine ? commandLine : "");
  std::string program = application ? application : (args.empty() ? "" : args[0]);
  if (program.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (args.empty()) args.push_back(program);
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  std::vector<char *> envp;
  if (env) {
    for (const char *p = static_cast<const char *>(env); *p; p += strlen(p) + 1) envStrings.push_back(p);
    for (auto &e : envStrings) envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (curDir) posix_spawn_file_actions_addchdir_np(&actions, curDir);
  pid_t pid = 0;
  char **childEnv = env ? envp.data() : environ;
  int rc = program.find('/') == std::string::npos
               ? posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), childEnv)
               : posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), childEnv);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    SetLastError(rc == ENOENT ? ERROR_FILE_NOT_FOUND : FromErrno(rc));
    return FALSE;
  }
  auto proc = std::make_shared<ProcessHandle>();
  proc->pid = pid;
  if (info) {
    info->hProcess = AddHandle(proc);
    info->hThread = AddHandle(std::make_shared<Object>());
    info->dwProcessId = static_cast<DWORD>(pid);
    info->dwThreadId = static_cast<DWORD>(pid);
  }
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  if (auto proc = GetObject<ProcessHandle>(h)) {
    while (!proc->Poll()) {
      if (ms != INFINITE && std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WAIT_OBJECT_0;
  }
  if (auto m = GetObject<MutexHandle>(h)) {
    MutexCore &c = *m->core;
    std::unique_lock<std::mutex> g(c.lock);
    auto self = std::this_thread::get_id();
    auto free = [&] { return c.count == 0 || c.owner == self; };
    if (ms == INFINITE)
      c.released.wait(g, free);
    else if (!c.released.wait_until(g, deadline, free))
      return WAIT_TIMEOUT;
    c.owner = self;
    c.count++;
    return WAIT_OBJECT_0;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  auto proc = GetObject<ProcessHandle>(process);
  if (!proc || !exitCode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  proc->Poll();
  std::lock_guard<std::mutex> g(proc->lock);
  *exitCode = proc->exitCode;
  return TRUE;
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
  if (!name || !*name || strchr(name, '=')) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!value) {
    // Removing a variable that is not there fails on Windows.
    if (!getenv(name)) {
      SetLastError(kErrorEnvvarNotFound);
      return FALSE;
    }
    unsetenv(name);
    return TRUE;
  }
  return setenv(name, value, 1) == 0 ? TRUE : FALSE;
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  const char *v = name ? getenv(name) : nullptr;
  if (!v) {
    SetLastError(kErrorEnvvarNotFound);
    return 0;
  }
  size_t len = strlen(v);
  if (!buffer || len + 1 > size) return static_cast<DWORD>(len + 1);
  memcpy(buffer, v, len + 1);
  return static_cast<DWORD>(len);
}

LPSTR WINAPI GetCommandLineA() {
  static std::string *line = [] {
    auto *s = new std::string;
    FILE *f = fopen("/proc/self/cmdline", "rb");
    if (!f) return s;
    std::string raw;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) raw.append(buf, n);
    fclose(f);
    size_t start = 0;
    while (start < raw.size()) {
      size_t end = raw.find('\0', start);
      if (end == std::string::npos) end = raw.size();
      if (!s->empty()) *s += ' ';
      *s += QuoteArgument(raw.substr(start, end - start));
      start = end + 1;
    }
    return s;
  }();
  return &(*line)[0];
}

// ---- Version and user ----------------------------------------------------------------

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  constexpr DWORD kSize = 148, kExSize = 156;
  if (!info || (info->dwOSVersionInfoSize != kSize && info->dwOSVersionInfoSize != kExSize)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD size = info->dwOSVersionInfoSize;
  memset(reinterpret_cast<char *>(info) + sizeof(DWORD), 0, size - sizeof(DWORD));
  unsigned major = 6, minor = 1, platform = VER_PLATFORM_WIN32_NT;
  bool faked = testhooks::internal::ReportedVersion(&major, &minor, &platform);
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwPlatformId = platform;
  if (!faked) {
    info->dwBuildNumber = 7601;
    strcpy(info->szCSDVersion, "Service Pack 1");
  }
  if (size == kExSize) {
    // OSVERSIONINFOEXA tail: service pack 1.0, single-user terminal services, workstation.
    unsigned char *tail = reinterpret_cast<unsigned char *>(info) + kSize;
    tail[0] = faked ? 0 : 1;  // wServicePackMajor
    tail[4] = 0x00;           // wSuiteMask = VER_SUITE_SINGLEUSERTS (0x0100)
    tail[5] = 0x01;
    tail[6] = 1;  // wProductType = VER_NT_WORKSTATION
  }
  return TRUE;
}

BOOL WINAPI GetUserNameA(LPSTR buffer, LPDWORD size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string name;
  std::vector<char> buf(16384);
  passwd pw{}, *result = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_name)
    name = result->pw_name;
  else if (const char *u = getenv("USER"))
    name = u;
  if (!buffer || name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size() + 1);
  return TRUE;
}

// ---- Files --------------------------------------------------------------------------

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) {
    SetLastError(path ? PathError(path, errno) : ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  DWORD a =
      access(path, W_OK) == 0 ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
  return a;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (mkdir(path, 0777) != 0) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : FromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
  if (!path || rmdir(path) != 0) {
    SetLastError(!path                ? ERROR_INVALID_PARAMETER
                 : errno == ENOTEMPTY ? 145 /* ERROR_DIR_NOT_EMPTY */
                                      : PathError(path, errno));
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n < 0) {
    SetLastError(FromErrno(errno));
    return 0;
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Too small a buffer gets the truncated name, as Vista and later give it.
  if (static_cast<DWORD>(n) >= size) {
    memcpy(buffer, path, size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  memcpy(buffer, path, n);
  buffer[n] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(n);
}

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  if (!existing || !newName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat src;
  if (lstat(existing, &src) != 0) {
    SetLastError(PathError(existing, errno));
    return FALSE;
  }
  struct stat dst;
  bool targetExists = lstat(newName, &dst) == 0;
  if (targetExists && S_ISDIR(dst.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (flags & MOVEFILE_WRITE_THROUGH) {
    // The new contents reach the disk before the name points at them.
    int fd = open(existing, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
  int rc;
  if (flags & MOVEFILE_REPLACE_EXISTING) {
    rc = rename(existing, newName);
  } else {
    rc = renameat2(AT_FDCWD, existing, AT_FDCWD, newName, RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // A file system without no-replace renames: check, then rename.
      rc = targetExists ? (errno = EEXIST, -1) : rename(existing, newName);
    }
  }
  if (rc != 0) {
    SetLastError(errno == ENOENT ? MissingPathError(newName) : FromErrno(errno));
    return FALSE;
  }
  if (flags & MOVEFILE_WRITE_THROUGH) {
    std::string dir = newName;
    size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : dir.substr(0, slash));
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
  struct stat st;
  if (!path || lstat(path, &st) != 0) {
    SetLastError(path ? PathError(path, errno) : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (S_ISDIR(st.st_mode) || unlink(path) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}
