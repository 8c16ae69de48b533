// Helpers of the INI store's tests: a scratch folder per test, raw file bytes, and the
// system's own profile functions as the reference (absent on the host layer).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/profileref.h"

namespace initest {

inline std::string ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::string &path) { return std::filesystem::exists(path); }

// Bytes as gtest shows them: escaped, so CP932 and line ends can be read in a trace.
inline std::string Shown(const std::string &s) { return ::testing::PrintToString(s); }

// A fresh folder per test. Every file gets a name of its own, because the system's
// profile functions cache files by name.
class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    do {
      FDir = std::filesystem::temp_directory_path() / ("horolan-ini-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(FDir));
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(FDir, ignored);
  }

  std::string NewPath() { return (FDir / ("f" + std::to_string(++FCount) + ".ini")).string(); }
  std::string FileWith(const std::string &bytes) {
    const std::string path = NewPath();
    WriteBytes(path, bytes);
    return path;
  }

  static const profileref::Functions *Ref() { return profileref::Reference(); }

  // What the reference reads; the text up to the first NUL, since for a cut double-byte
  // character it counts a byte it did not fill.
  static std::string RefRead(const std::string &path, const std::string &section, const std::string &key,
                             const std::string &def) {
    char buffer[2048] = {};
    Ref()->GetString(section.c_str(), key.c_str(), def.c_str(), buffer, sizeof buffer, path.c_str());
    return std::string(buffer, strnlen(buffer, sizeof buffer));
  }
  static void RefWrite(const std::string &path, const std::string &section, const std::string &key,
                       const std::string &value) {
    ASSERT_TRUE(Ref()->WriteString(section.c_str(), key.c_str(), value.c_str(), path.c_str()));
    Ref()->WriteString(nullptr, nullptr, nullptr, path.c_str());  // flushes its cache to disk
  }

  std::filesystem::path FDir;
  int FCount = 0;
};

}  // namespace initest
