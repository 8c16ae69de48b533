#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "sockets/NsUtils.h"

namespace {

struct ParseRow {
  const char *text;
  bool result;
  const char *scheme, *user, *password, *host, *port, *path, *fragment, *query;
  char delimiter;
};

// Expected fields worked out by walking the parser's transition table by hand.
const ParseRow kParseRows[] = {
    // Plain names and addresses.
    {"ntp.nict.jp", false, "", "", "", "ntp.nict.jp", "", "/", "", "", 0},
    {"", false, "", "", "", "", "", "/", "", "", 0},
    {"localhost:123", false, "localhost", "", "", "123", "", "/", "", "", 0},
    {"ntp.example.com:8123", true, "", "", "", "ntp.example.com", "8123", "/", "", "", 0},
    {"ntp.example.com:x9", false, "", "", "", "ntp.example.com", "", "/", "", "", 0},
    {"ntp.example.com:80 ", true, "", "", "", "ntp.example.com", "80", "/", "", "", 0},
    {"192.168.0.1", true, "", "", "", "192.168.0.1", "", "/", "", "", 0},
    {"192.168.0.1 ", true, "", "", "", "192.168.0.1", "", "/", "", "", 0},
    {"192.168.0.1 x", false, "", "", "", "192.168.0.1", "", "/", "", "", 0},
    {"10.0.0.1!x", true, "", "", "", "10.0.0.1x", "", "/", "", "", 0},
    {"10.0.0.1:123", true, "", "", "", "10.0.0.1", "123", "/", "", "", 0},
    // Leading blanks are skipped; inside a name the first blank is dropped, the second ends it.
    {"   10.1", true, "", "", "", "10.1", "", "/", "", "", 0},
    {"  abc def ghi", false, "", "", "", "abcdef", "", "/", "", "", 0},
    {"  abc def", true, "", "", "", "abcdef", "", "/", "", "", 0},
    {" -x", false, "", "", "", "-x", "", "/", "", "", 0},
    {" !x", false, "", "", "", "", "", "/", "", "", 0},
    {"!abc", false, "", "", "", "", "", "/", "", "", 0},
    {"-abc", false, "", "", "", "", "", "/", "", "", 0},
    {"abc!def", true, "", "", "", "abcdef", "", "/", "", "", 0},
    // Schemes.
    {"ntp://ntp.nict.jp", false, "ntp", "", "", "ntp.nict.jp", "", "/", "", "", 0},
    {"http://server/x", true, "http", "", "", "server", "", "/x", "", "", 0},
    {"http://proxy:8080", true, "http", "", "", "proxy", "8080", "/", "", "", 0},
    {"http://ab:-5", true, "http", "", "", "ab", "5", "/", "", "", 0},
    {"http://a1:/x", false, "a1", "", "", "x", "", "/", "", "", 0},
    {"http://ab::pw", false, "http", "ab", "pw", "", "", "/", "", "", 0},
    {"http://ab:cd", false, "http", "ab", "cd", "", "", "/", "", "", 0},
    {"file:\\\\dir", true, "file", "", "", "", "", "\\\\dir", "", "", 0},
    // User information.
    {"user@host", true, "", "user", "", "host", "", "/", "", "", 0},
    {"ftp://user:pw@host.com/dir/file.txt?x=1", true, "ftp", "user", "pw", "host.com", "", "/dir/file.txt",
     "", "x=1", '?'},
    {"ftp://user@h:21", true, "ftp", "user", "", "h", "21", "/", "", "", 0},
    {"user:pw@host.com:21", true, "user", "pw", "", "host.com", "21", "/", "", "", 0},
    {"ftp://ab:p@ss@h", true, "ftp", "ab", "p", "ssh", "", "/", "", "", 0},
    {"ftp://c|dir@x", true, "ftp", "", "", "", "", "c|dir@x", "", "", 0},
    // Paths, fragments and queries.
    {"dir/file", true, "", "", "", "", "", "dir/file", "", "", 0},
    {"host.com/index.html", true, "", "", "", "host.com", "", "/index.html", "", "", 0},
    {"host.com:80/path", true, "", "", "", "host.com", "80", "/path", "", "", 0},
    {"./x", true, "", "", "", "", "", "./x", "", "", 0},
    {"/path x", false, "", "", "", "", "", "/path", "", "", 0},
    {"/p#f&q r", false, "", "", "", "", "", "/p", "f", "q", '&'},
    {"/p#f&q ", true, "", "", "", "", "", "/p", "f", "q", '&'},
    {"/p?a b", false, "", "", "", "", "", "/p", "", "a", '?'},
    {"10.0.0.1/a\\b", true, "", "", "", "10.0.0.1", "", "/a\\b", "", "", 0},
    // A one-letter word before ":" is a drive letter.
    {"c:\\dir\\file", true, "", "", "", "", "", "c:\\dir\\file", "", "", 0},
    {"c: x ", true, "", "", "", "", "", "c: x", "", "", 0},
    {"c:\\x#frag?q", true, "", "", "", "", "", "c:\\x", "frag", "q", '?'},
    {"d|y", true, "", "", "", "", "", "d|y", "", "", 0},
    // Bytes outside ASCII are neither letters nor digits.
    {"\x82\xa0", false, "", "", "", "", "", "/", "", "", 0},
};

TEST(ParseAddressTest, TransitionTableRows) {
  for (const ParseRow &r : kParseRows) {
    TNsAddrRec a;
    a.Host = "stale";  // every field is reset first
    bool ok = ParseAddress(r.text, a);
    SCOPED_TRACE(std::string("input \"") + r.text + "\"");
    EXPECT_EQ(ok, r.result);
    EXPECT_EQ(a.Scheme, r.scheme);
    EXPECT_EQ(a.UserName, r.user);
    EXPECT_EQ(a.Password, r.password);
    EXPECT_EQ(a.Host, r.host);
    EXPECT_EQ(a.Port, r.port);
    EXPECT_EQ(a.Path, r.path);
    EXPECT_EQ(a.Fragment, r.fragment);
    EXPECT_EQ(a.Query, r.query);
    EXPECT_EQ(a.QueryDelimiter, r.delimiter);
  }
}

TEST(NsUtilsTest, TextRoutines) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\ta \t"), "\ta \t") << "only spaces are blanks";
  EXPECT_EQ(TrimBlanks("    "), "");
  EXPECT_EQ(TrimBlanks(""), "");

  EXPECT_EQ(CharPos('@', "user@host@x"), 5);
  EXPECT_EQ(CharPos('u', "user"), 1);
  EXPECT_EQ(CharPos(':', "host"), 0);
  EXPECT_EQ(CharPos(':', ""), 0);

  EXPECT_EQ(VersionText(), "v1.15");
  TNsBaseComponent c(nullptr);
  c.SetVersion("v9.99");
  EXPECT_EQ(c.Version(), "v1.15");
  EXPECT_EQ(c.FormatLogEntry(5, 1, "x", 1), "!!!! Unhandled log entry\n\r");

  EXPECT_EQ(NotificationName(1), "Fd_Read");
  EXPECT_EQ(NotificationName(2), "Fd_Write");
  EXPECT_EQ(NotificationName(4), "Fd_Oob");
  EXPECT_EQ(NotificationName(8), "Fd_Accept");
  EXPECT_EQ(NotificationName(16), "Fd_Connect");
  EXPECT_EQ(NotificationName(32), "Fd_Close");
  EXPECT_EQ(NotificationName(3, "kept"), "kept") << "a combination is not one notification";
  EXPECT_EQ(NotificationName(0), "");
  EXPECT_EQ(LookupName(0), "WsaAsyncGetHostByName");
  EXPECT_EQ(LookupName(1), "WsaAsyncGetHostByAddr");
  EXPECT_EQ(LookupName(2), "WsaAsyncGetServByName");
  EXPECT_EQ(LookupName(3), "WsaAsyncGetServByPort");
  EXPECT_EQ(LookupName(4, "kept"), "kept");
  EXPECT_EQ(LookupName(-1), "");
}

TEST(NsUtilsTest, ByteRoutines) {
  const char a[] = "abcdef", b[] = "abcxef";
  EXPECT_EQ(CompareBytes(a, b, 3), 0);
  EXPECT_NE(CompareBytes(a, b, 4), 0);
  EXPECT_EQ(CompareBytes(a, b, 0), 0);
  EXPECT_EQ(CompareBytes(nullptr, nullptr, 0), 0) << "nothing to compare reads nothing";
  EXPECT_EQ(CompareBytes(a, b, -4), 0);
  EXPECT_EQ(CompareBytes(a, a, 6), 0);
  // The two orders of one differing pair give opposite signs.
  const unsigned char hi[] = {0x80}, lo[] = {0x7F};
  EXPECT_EQ(CompareBytes(hi, lo, 1), -CompareBytes(lo, hi, 1));

  const char crlf[] = "a\r\nb\r\n\r\n";
  EXPECT_EQ(CountChar(crlf, 8, '\n'), 3);
  EXPECT_EQ(CountChar(crlf, 3, '\n'), 1);
  EXPECT_EQ(CountChar(crlf, 0, 'a'), 0);
  const char withNul[] = {'x', 0, 'x', 0};
  EXPECT_EQ(CountChar(withNul, 4, '\0'), 2);

  EXPECT_EQ(MinOf(3, -7), -7);
  EXPECT_EQ(MinOf(-2147483647 - 1, 2147483647), -2147483647 - 1);
  EXPECT_EQ(MinOf(5, 5), 5);
}

// Looks at the reference it was created through while it is being destroyed.
struct TSelfWatching : TObject {
  TSelfWatching **ref;
  bool *clearedFirst;
  TSelfWatching(TSelfWatching **r, bool *c) : ref(r), clearedFirst(c) {}
  ~TSelfWatching() override { *clearedFirst = *ref == nullptr; }
};

TEST(NsUtilsTest, FreeAndClearClearsBeforeFreeing) {
  bool cleared = false;
  TSelfWatching *obj = nullptr;
  obj = new TSelfWatching(&obj, &cleared);
  FreeAndClear(obj);
  EXPECT_EQ(obj, nullptr);
  EXPECT_TRUE(cleared);
  TSelfWatching *empty = nullptr;
  FreeAndClear(empty);  // nothing happens
  EXPECT_EQ(empty, nullptr);
}

// Whether a second thread has to wait for a holder of the lock.
template <typename T>
bool SecondThreadWaits(T &obj) {
  std::atomic<bool> got{false};
  obj.Lock();
  obj.Lock();  // recursive for its owner
  std::thread other([&] {
    obj.Lock();
    got = true;
    obj.Unlock();
  });
  // Long enough for an unhindered thread to get through; a late one only makes us wait.
  for (int i = 0; i < 200 && !got; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  bool waited = !got;
  obj.Unlock();
  obj.Unlock();
  other.join();
  return waited && got;
}

TEST(NsUtilsTest, LocksAreEnteredOnlyOnceThreadsRun) {
  IsMultiThread = false;
  {
    TNsBasePersistent p;
    TNsBaseAccess a;
    EXPECT_FALSE(SecondThreadWaits(p));
    EXPECT_FALSE(SecondThreadWaits(a));
  }
  IsMultiThread = true;
  {
    TNsBasePersistent p;
    TNsBaseAccess a;
    EXPECT_TRUE(SecondThreadWaits(p));
    EXPECT_TRUE(SecondThreadWaits(a));
  }
  IsMultiThread = false;
}

}  // namespace
