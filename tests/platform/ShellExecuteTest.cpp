// ShellExecuteA: captured by the seam on every platform; on the host it starts
// xdg-open without waiting, which a stand-in xdg-open on PATH lets us watch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/winapi.h"
#include "tests/support/TestFiles.h"

namespace {

INT_PTR Code(HINSTANCE h) { return reinterpret_cast<INT_PTR>(h); }

TEST(ShellExecute, CapturedCallsAreRecordedAndStartNothing) {
  testhooks::CaptureShellExecute();
  testhooks::ClearShellExecuteCalls();
  HWND owner = reinterpret_cast<HWND>(0x1230);
  EXPECT_EQ(
      Code(ShellExecuteA(owner, "open", "https://tv.example.jp/番組表", nullptr, nullptr, SW_SHOWNORMAL)),
      42);
  EXPECT_EQ(Code(ShellExecuteA(nullptr, nullptr, "Horolan.pdf", "/p", "C:\\Horolan", SW_SHOW)), 42);
  EXPECT_EQ(Code(ShellExecuteA(nullptr, "print", "x.txt", nullptr, nullptr, SW_HIDE)), 42);
  testhooks::ReleaseShellExecute();
  EXPECT_FALSE(testhooks::ShellExecuteCaptured());

  const auto &calls = testhooks::ShellExecuteCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].hwnd, owner);
  EXPECT_EQ(calls[0].verb, "open");
  EXPECT_FALSE(calls[0].verbNull);
  EXPECT_EQ(calls[0].file, "https://tv.example.jp/番組表");
  EXPECT_EQ(calls[0].parameters, "");
  EXPECT_EQ(calls[0].show, SW_SHOWNORMAL);
  EXPECT_TRUE(calls[1].verbNull);
  EXPECT_EQ(calls[1].file, "Horolan.pdf");
  EXPECT_EQ(calls[1].parameters, "/p");
  EXPECT_EQ(calls[1].directory, "C:\\Horolan");
  EXPECT_EQ(calls[2].verb, "print");
  testhooks::ClearShellExecuteCalls();
}

// A scratch folder holding a stand-in xdg-open, put alone on PATH for one test.
class HostShell : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testhooks::HostLayer()) GTEST_SKIP() << "Windows opens documents itself";
    FDir = (std::filesystem::temp_directory_path() /
            ("horolan-shell-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount())))
               .string();
    ASSERT_TRUE(std::filesystem::create_directory(FDir));
    char path[32768] = {};
    GetEnvironmentVariableA("PATH", path, sizeof path);
    FOldPath = path;
  }
  void TearDown() override {
    if (FDir.empty()) return;
    SetEnvironmentVariableA("PATH", FOldPath.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(FDir, ignored);
  }
  void UseStandIn(bool present) {
    if (present) {
      // Writes what it was given and where, then stays a while: nobody may wait for it.
      ASSERT_TRUE(testsupport::WriteAll(FDir + "/xdg-open",
                                        "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$(pwd)\" > \"$0.tmp\"\n"
                                        "mv \"$0.tmp\" \"$0.called\"\nsleep 3\n"));
      std::filesystem::permissions(FDir + "/xdg-open", std::filesystem::perms::owner_all);
    }
    // The stand-in needs a shell, printf, pwd, mv and sleep from the system's folders.
    SetEnvironmentVariableA("PATH", (FDir + ":/usr/bin:/bin").c_str());
    if (!present) SetEnvironmentVariableA("PATH", FDir.c_str());
  }
  std::string WaitForCall() {
    for (int i = 0; i < 100; ++i) {
      std::string got = testsupport::ReadAll(FDir + "/xdg-open.called");
      if (!got.empty()) return got;
      Sleep(50);
    }
    return "";
  }
  std::string FDir, FOldPath;
};

TEST_F(HostShell, OpensWithXdgOpenWithoutWaiting) {
  UseStandIn(true);
  DWORD start = GetTickCount();
  INT_PTR r = Code(ShellExecuteA(nullptr, "open", "https://example.org/a b", nullptr, FDir.c_str(), SW_SHOW));
  DWORD took = GetTickCount() - start;
  EXPECT_GT(r, 32);
  EXPECT_LT(took, 2000u);  // the stand-in sleeps 3 s
  EXPECT_EQ(WaitForCall(), "https://example.org/a b|" + FDir);
}

TEST_F(HostShell, RefusesWhatWindowsRefuses) {
  UseStandIn(true);
  ASSERT_TRUE(testsupport::WriteAll(FDir + "/doc.pdf", "%PDF"));
  struct Case {
    const char *verb;
    std::string file;
    INT_PTR result;
  };
  const Case kCases[] = {
      {"open", FDir + "/missing.pdf", SE_ERR_FNF},  {"open", FDir + "/no/such/folder/doc.pdf", SE_ERR_PNF},
      {"print", FDir + "/missing.pdf", SE_ERR_FNF},  // the missing file is found first
      {"print", FDir + "/doc.pdf", SE_ERR_NOASSOC}, {"open", "", SE_ERR_FNF},
  };
  for (const Case &c : kCases)
    EXPECT_EQ(Code(ShellExecuteA(nullptr, c.verb, c.file.c_str(), nullptr, nullptr, SW_SHOW)), c.result)
        << c.file;
  Sleep(200);
  EXPECT_EQ(testsupport::ReadAll(FDir + "/xdg-open.called"), "");  // nothing was started

  // A document that is there is opened, "open" being the verb when none is given.
  EXPECT_GT(Code(ShellExecuteA(nullptr, nullptr, (FDir + "/doc.pdf").c_str(), nullptr, nullptr, SW_SHOW)),
            32);
  EXPECT_EQ(WaitForCall(), FDir + "/doc.pdf|" + std::filesystem::current_path().string());
}

TEST_F(HostShell, WithoutXdgOpenThereIsNoAssociation) {
  UseStandIn(false);
  EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", "https://example.org/", nullptr, nullptr, SW_SHOW)),
            static_cast<INT_PTR>(SE_ERR_NOASSOC));
}

}  // namespace
