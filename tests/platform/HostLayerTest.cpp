// What only the host layer does: its stderr lines carry the journal's levels when
// stderr is the journal, and the folder of the named mutexes' files is used only when
// nobody else can have prepared it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/winapi.h"
#include "tests/support/TestFiles.h"

namespace {

std::string DevIno(const struct stat &st, int inoDelta = 0) {
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + inoDelta);
}

TEST(HostJournal, LevelPrefixesOnlyWhenStderrIsTheJournal) {
  ::testing::internal::CaptureStderr();  // stderr is now a file of gtest's
  struct stat st {};
  ASSERT_EQ(fstat(STDERR_FILENO, &st), 0);
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = reinterpret_cast<HWND>(0x4711);
  nid.uID = 1;
  nid.uFlags = NIF_TIP;
  strcpy(nid.szTip, "tip");

  setenv("JOURNAL_STREAM", DevIno(st).c_str(), 1);
  MessageBoxA(nullptr, "failed", "E", MB_OK | MB_ICONERROR);
  MessageBoxA(nullptr, "careful", "W", MB_OK | MB_ICONWARNING);
  MessageBoxA(nullptr, "done", "I", MB_OK | MB_ICONINFORMATION);
  MessageBoxA(nullptr, "asked", "Q", MB_YESNO | MB_ICONQUESTION);
  Shell_NotifyIconA(NIM_ADD, &nid);
  nid.uFlags = NIF_INFO;
  strcpy(nid.szInfo, "no answer");
  nid.dwInfoFlags = NIIF_ERROR;
  Shell_NotifyIconA(NIM_MODIFY, &nid);
  nid.dwInfoFlags = NIIF_WARNING;
  Shell_NotifyIconA(NIM_MODIFY, &nid);
  // Another file's numbers, or none: plain lines, as on a terminal.
  setenv("JOURNAL_STREAM", DevIno(st, 1).c_str(), 1);
  MessageBoxA(nullptr, "elsewhere", "E", MB_OK | MB_ICONERROR);
  unsetenv("JOURNAL_STREAM");
  MessageBoxA(nullptr, "unset", "E", MB_OK | MB_ICONERROR);
  Shell_NotifyIconA(NIM_DELETE, &nid);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "<3>[E] failed\n"
            "<4>[W] careful\n"
            "<6>[I] done\n"
            "<6>[Q] asked\n"
            "<6>horolan tray: tip \"tip\"\n"
            "<3>horolan tray: balloon [error] \"no answer\"\n"
            "<4>horolan tray: balloon [warning] \"no answer\"\n"
            "[E] elsewhere\n"
            "[E] unset\n");
}

// Points the lock folder at a fresh temporary place for one test.
class LockFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/horolan-locktest-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    FTop = tmpl;
    FDir = FTop + "/horolan-mutex-" + std::to_string(getuid());
    const char *rt = getenv("XDG_RUNTIME_DIR");
    const char *tmp = getenv("TMPDIR");
    FOldRuntime = rt ? rt : "";
    FOldTmp = tmp ? tmp : "";
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", FTop.c_str(), 1);
  }
  void TearDown() override {
    if (!FOldRuntime.empty()) setenv("XDG_RUNTIME_DIR", FOldRuntime.c_str(), 1);
    FOldTmp.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", FOldTmp.c_str(), 1);
    std::string rm = "rm -rf '" + FTop + "'";
    EXPECT_EQ(system(rm.c_str()), 0);
  }
  std::string FTop, FDir, FOldRuntime, FOldTmp;
};

TEST_F(LockFolder, IsCreatedPrivateAndRefusedWhenOthersCouldHaveMadeIt) {
  const bool root = geteuid() == 0;
  const struct {
    const char *what;
    const char *prepare;  // shell commands, $D the folder
    bool usable;
  } rows[] = {
      {"absent", "", true},
      {"private", "mkdir -m 700 \"$D\"", true},
      {"group-writable", "mkdir -m 770 \"$D\"", false},
      {"readable by others", "mkdir -m 704 \"$D\"", false},
      {"a link to a private folder", "mkdir -m 700 \"$D.real\" && ln -s \"$D.real\" \"$D\"", false},
      {"a file", "touch \"$D\" && chmod 600 \"$D\"", false},
      {"another user's", root ? "mkdir -m 700 \"$D\" && chown 65534 \"$D\"" : nullptr, false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    if (!row.prepare) continue;  // only root can give a folder away
    std::string prepare = std::string("D='") + FDir + "'; rm -rf \"$D\" \"$D.real\"; " + row.prepare;
    ASSERT_EQ(system(prepare.c_str()), 0);
    ::testing::internal::CaptureStderr();
    HANDLE m = CreateMutexA(nullptr, FALSE, "lockfoldertest");
    const DWORD error = GetLastError();
    HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "lockfoldertest");
    const std::string err = ::testing::internal::GetCapturedStderr();
    if (row.usable) {
      EXPECT_NE(m, nullptr);
      EXPECT_NE(opened, nullptr);
      struct stat st {};
      ASSERT_EQ(lstat(FDir.c_str(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
      EXPECT_EQ(st.st_mode & 0777, 0700u);
      EXPECT_EQ(err, "");
    } else {
      EXPECT_EQ(m, nullptr);
      // Not "access denied", which the guard takes for a copy of higher rights.
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
      EXPECT_EQ(opened, nullptr);
      EXPECT_NE(err.find(FDir), std::string::npos) << err;  // the message names the folder
      // Nothing was created through a link.
      struct stat st {};
      EXPECT_NE(lstat((FDir + ".real/lockfoldertest").c_str(), &st), 0);
    }
    if (opened) CloseHandle(opened);
    if (m) CloseHandle(m);
  }
}

TEST_F(LockFolder, ALinkPlantedAsALockFileIsNotFollowed) {
  ASSERT_EQ(mkdir(FDir.c_str(), 0700), 0);
  const std::string target = FTop + "/target";
  ASSERT_TRUE(testsupport::WriteAll(target, "keep"));
  ASSERT_EQ(symlink(target.c_str(), (FDir + "/plantedlink").c_str()), 0);
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, "plantedlink"), nullptr);
  EXPECT_EQ(testsupport::ReadAll(target), "keep");
  unlink((FDir + "/.guard").c_str());
  ASSERT_EQ(symlink((FTop + "/made-through-link").c_str(), (FDir + "/.guard").c_str()), 0);
  HANDLE m = CreateMutexA(nullptr, FALSE, "otherlock");
  struct stat st {};
  EXPECT_NE(lstat((FTop + "/made-through-link").c_str(), &st), 0)
      << "the guard file was created through a link";
  if (m) CloseHandle(m);
}

}  // namespace
