// The version resource of this test executable, read through the three version calls
// exactly as the program reads its own. Under Windows the block comes from the resource
// compiler, so comparing it with our builder's output proves that the host layer, which
// embeds the builder's output, serves the same block.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/VersionInfo.h"
#include "platform/winapi.h"
#include "tests/support/TestFiles.h"

namespace {

using testsupport::OwnPath;
using testsupport::ReadAll;
using testsupport::WriteAll;

bool IsElf(const std::string &path) {
  char magic[4] = {};
  std::ifstream(path, std::ios::binary).read(magic, sizeof magic);
  return std::memcmp(magic,
                     "\x7f"
                     "ELF",
                     4) == 0;
}

// Replaces every occurrence of from (same length as to) and tells how many there were.
int ReplaceAll(std::string &bytes, const std::string &from, const std::string &to) {
  int n = 0;
  for (size_t at = 0; (at = bytes.find(from, at)) != std::string::npos; at += from.size(), ++n)
    bytes.replace(at, to.size(), to);
  return n;
}

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    FDir = std::filesystem::temp_directory_path() / ("hlversion-" + std::to_string(stamp));
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(FDir, ignored);
  }
  std::string Temp(const std::string &name) const { return (FDir / name).string(); }

  // The whole buffer GetFileVersionInfoA fills, sized as GetFileVersionInfoSizeA says.
  static std::vector<uint8_t> Info(const std::string &file) {
    DWORD handle = 99;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    std::vector<uint8_t> data(size);
    if (size != 0) {
      EXPECT_TRUE(GetFileVersionInfoA(file.c_str(), handle, size, data.data()));
    }
    return data;
  }

  std::filesystem::path FDir;
};

TEST_F(VersionResource, ServesTheBlockTheBuilderMakes) {
  const std::vector<uint8_t> info = Info(OwnPath());
  ASSERT_GT(info.size(), 2u);
  const size_t length = info[0] | (info[1] << 8);
  // The block, then "FE2X", then as much again for the strings converted to CP932.
  EXPECT_EQ(info.size(), 2 * length + 4);
  EXPECT_EQ(std::string(info.begin() + length, info.begin() + length + 4), "FE2X");
  const std::vector<uint8_t> expected = versionblock::Build(HorolanVersionDescription());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), info.begin(), info.begin() + length) &&
              expected.size() == length)
      << "served " << length << " bytes, built " << expected.size();
}

TEST_F(VersionResource, FixedInfoAndTranslation) {
  std::vector<uint8_t> info = Info(OwnPath());
  ASSERT_FALSE(info.empty());
  void *p = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &p, &len));
  ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, p, sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);  // 1.0
  EXPECT_EQ(fixed.dwFileVersionLS, 0x00070010u);  // 7.16
  EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed.dwProductVersionLS, 0x00070010u);
  EXPECT_EQ(fixed.dwFileFlagsMask, static_cast<DWORD>(VS_FFI_FILEFLAGSMASK));
  EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));

  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &p, &len));
  ASSERT_EQ(len, 4u);
  DWORD translation;
  std::memcpy(&translation, p, 4);
  EXPECT_EQ(translation, 0x03A40411u);  // Japanese, code page 932
}

TEST_F(VersionResource, StringsComeBackInCodePage932) {
  std::vector<uint8_t> info = Info(OwnPath());
  ASSERT_FALSE(info.empty());
  const struct {
    const char *query;
    std::string text;
  } rows[] = {
      {"\\StringFileInfo\\041103A4\\CompanyName", "Fernwick"},
      {"\\StringFileInfo\\041103A4\\FileDescription", "Horolan 時刻合わせ"},
      {"\\StringFileInfo\\041103A4\\FileVersion", "1.0.7.16"},
      {"\\StringFileInfo\\041103A4\\InternalName", "Horolan"},
      {"\\StringFileInfo\\041103A4\\LegalCopyright", "Copyright (C) Fernwick"},
      {"\\StringFileInfo\\041103A4\\OriginalFilename", "Horolan.exe"},
      {"\\StringFileInfo\\041103A4\\ProductName", "Horolan"},
      {"\\StringFileInfo\\041103A4\\ProductVersion", "1.0.7.16"},
      {"\\stringfileinfo\\041103a4\\FILEVERSION", "1.0.7.16"},
      {"StringFileInfo\\041103A4\\FileVersion\\", "1.0.7.16"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.query);
    void *p = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), r.query, &p, &len));
    EXPECT_EQ(len, r.text.size() + 1);  // bytes with the NUL
    EXPECT_EQ(std::string(static_cast<const char *>(p)), r.text);
    // The converted text lies beyond the block, which keeps its UTF-16 original.
    EXPECT_GE(static_cast<uint8_t *>(p) - info.data(), info[0] | (info[1] << 8));
  }
  for (const char *missing : {"\\StringFileInfo\\041103A4\\Comments", "\\StringFileInfo\\041103A4\\FileVer",
                              "\\StringFileInfo\\040904B0\\FileVersion", "\\VarFileInfo\\Translation\\x"}) {
    SCOPED_TRACE(missing);
    void *p = nullptr;
    UINT len = 77;
    EXPECT_FALSE(VerQueryValueA(info.data(), missing, &p, &len));
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  }
}

TEST_F(VersionResource, FilesWithoutAResource) {
  const std::string text = Temp("notes.txt");
  WriteAll(text, "hello\r\n");
  const struct {
    std::string file;
    DWORD error;
  } rows[] = {
      {text, ERROR_RESOURCE_DATA_NOT_FOUND},
      {Temp("missing.exe"), ERROR_FILE_NOT_FOUND},
      {Temp("nofolder") + "/missing.exe", ERROR_PATH_NOT_FOUND},
      {FDir.string(), ERROR_ACCESS_DENIED},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.file);
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeA(r.file.c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), r.error);
    char buf[64];
    EXPECT_FALSE(GetFileVersionInfoA(r.file.c_str(), 0, sizeof buf, buf));
  }
}

// Executables of the host layer: the block is found through the ELF section headers,
// and a damaged file yields no resource rather than a crash. Skipped for Windows files.
TEST_F(VersionResource, ElfFilesWithoutAUsableSection) {
  if (!IsElf(OwnPath())) GTEST_SKIP() << "not an ELF executable";
  const std::string own = ReadAll(OwnPath());
  const std::vector<uint8_t> block = versionblock::Build(HorolanVersionDescription());
  const std::string blockBytes(block.begin(), block.end());

  std::string renamed = own;
  ASSERT_GE(ReplaceAll(renamed, std::string(".hlversion\0", 11), std::string(".hlversioX\0", 11)), 1);
  std::string longRoot = own;
  std::string bigger = blockBytes;
  bigger[0] = '\xff';
  bigger[1] = '\x7f';
  ASSERT_EQ(ReplaceAll(longRoot, blockBytes, bigger), 1);
  std::string badKey = own;
  std::string otherKey = blockBytes;
  otherKey[6] = 'W';  // "WS_VERSION_INFO"
  ASSERT_EQ(ReplaceAll(badKey, blockBytes, otherKey), 1);
  const std::string headerOnly = own.substr(0, 64);

  const struct {
    const char *name;
    const std::string &bytes;
    DWORD error;
  } rows[] = {
      {"renamed", renamed, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"longroot", longRoot, ERROR_RESOURCE_DATA_NOT_FOUND},
      {"badkey", badKey, ERROR_RESOURCE_DATA_NOT_FOUND},
      {"headeronly", headerOnly, ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    WriteAll(Temp(r.name), r.bytes);
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeA(Temp(r.name).c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), r.error);
  }
  // An untouched copy still has its block.
  WriteAll(Temp("copy"), own);
  EXPECT_EQ(GetFileVersionInfoSizeA(Temp("copy").c_str(), nullptr), 2 * block.size() + 4);
}

// A buffer without room for the converted strings: the host refuses string queries
// instead of writing past the buffer, which the address sanitizer would catch.
TEST_F(VersionResource, HostWritesNoStringsIntoTooSmallABuffer) {
  if (!IsElf(OwnPath()))
    GTEST_SKIP() << "Windows writes past such a buffer; only the host's behaviour is defined";
  const DWORD size = GetFileVersionInfoSizeA(OwnPath().c_str(), nullptr);
  const DWORD length = (size - 4) / 2;
  std::vector<uint8_t> small(length + 4);
  ASSERT_TRUE(GetFileVersionInfoA(OwnPath().c_str(), 0, static_cast<DWORD>(small.size()), small.data()));
  void *p = nullptr;
  UINT len = 5;
  EXPECT_FALSE(VerQueryValueA(small.data(), "\\StringFileInfo\\041103A4\\FileVersion", &p, &len));
  EXPECT_EQ(len, 0u);
  EXPECT_TRUE(VerQueryValueA(small.data(), "\\VarFileInfo\\Translation", &p, &len));
  EXPECT_EQ(len, 4u);
}

}  // namespace
