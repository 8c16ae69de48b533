// Saving: batches, and that a save that fails leaves the old file exactly as it was.
#include <filesystem>
#include <string>

#include "settings/IniFile.h"
#include "tests/settings/IniTestSupport.h"

namespace {

using initest::Exists;
using initest::ReadBytes;

class IniFileSave : public initest::IniTest {};

TEST_F(IniFileSave, BatchIsSavedAtItsEndAndReadsSeeItBefore) {
  const std::string before = "[s]\r\nk=old\r\n";
  const std::string path = FileWith(before);
  IniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("s", "k", "new");
  ini.BeginUpdate();
  ini.WriteInteger("t", "n", 7);
  ini.EndUpdate();
  EXPECT_EQ(ReadBytes(path), before) << "saved before the outermost EndUpdate";
  EXPECT_EQ(ini.ReadString("s", "k", ""), "new");
  EXPECT_EQ(ini.ReadInteger("t", "n", 0), 7);
  EXPECT_TRUE(ini.SectionExists("t"));
  ini.EndUpdate();
  EXPECT_EQ(ReadBytes(path), "[s]\r\nk=new\r\n[t]\r\nn=7\r\n");
  EXPECT_FALSE(Exists(path + ".tmp"));
}

TEST_F(IniFileSave, CancelDropsTheBatch) {
  const std::string path = FileWith("[s]\r\nk=old\r\n");
  IniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("s", "k", "new");
  ini.CancelUpdate();
  EXPECT_EQ(ini.ReadString("s", "k", ""), "old");
  ini.EndUpdate();  // no batch open: harmless
  EXPECT_EQ(ReadBytes(path), "[s]\r\nk=old\r\n");
  ini.WriteString("s", "k", "later");
  EXPECT_EQ(ReadBytes(path), "[s]\r\nk=later\r\n");
}

TEST_F(IniFileSave, BatchWithoutChangesWritesNothing) {
  const std::string missing = NewPath();
  {
    IniFile ini(missing);
    ini.BeginUpdate();
    EXPECT_EQ(ini.ReadString("s", "k", "d"), "d");
    ini.EndUpdate();
  }
  EXPECT_FALSE(Exists(missing));

  const std::string path = FileWith("[s]\nk=v\n");
  IniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("s", "k", "v");
  ini.EndUpdate();
  EXPECT_EQ(ReadBytes(path), "[s]\nk=v\n");
}

TEST_F(IniFileSave, DestructorSavesAnOpenBatch) {
  const std::string path = NewPath();
  {
    IniFile ini(path);
    ini.BeginUpdate();
    ini.BeginUpdate();
    ini.WriteBool("s", "b", true);
  }
  EXPECT_EQ(ReadBytes(path), "[s]\r\nb=1\r\n");
}

// A folder in the temporary file's place makes the save fail on every platform, also
// for a user who may write anywhere.
TEST_F(IniFileSave, FailedSaveThrowsAndKeepsTheOldFile) {
  const std::string before = "; mine\r\n[s]\r\nk=old\r\n";
  const std::string path = FileWith(before);
  std::filesystem::create_directory(path + ".tmp");

  IniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("s", "k", "new");
  ini.WriteString("t", "j", "x");
  try {
    ini.EndUpdate();
    ADD_FAILURE() << "EndUpdate did not throw";
  } catch (const EIniFileError &e) {
    EXPECT_EQ(e.Message(), path + " に書き込めません");
  }
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(ini.ReadString("s", "k", ""), "old") << "the failed batch is dropped";

  EXPECT_THROW(ini.WriteString("s", "k", "single"), EIniFileError);
  EXPECT_EQ(ReadBytes(path), before);

  std::filesystem::remove(path + ".tmp");
  ini.WriteString("s", "k", "single");
  EXPECT_EQ(ReadBytes(path), "; mine\r\n[s]\r\nk=single\r\n");
}

TEST_F(IniFileSave, MissingFolderFailsAndCreatesNothing) {
  const std::string path = (FDir / "absent" / "x.ini").string();
  IniFile ini(path);
  EXPECT_THROW(ini.WriteString("s", "k", "v"), EIniFileError);
  EXPECT_FALSE(Exists((FDir / "absent").string()));
}

// A path that exists but cannot be read must not be replaced by a file that lacks it.
TEST_F(IniFileSave, UnreadableFileIsNotReplaced) {
  const std::string path = NewPath();
  std::filesystem::create_directory(path);
  initest::WriteBytes(path + "/inside", "x");
  IniFile ini(path);
  EXPECT_THROW(ini.WriteString("s", "k", "v"), EIniFileError);
  ini.BeginUpdate();
  EXPECT_THROW(ini.WriteString("s", "k", "v"), EIniFileError);
  ini.EndUpdate();
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_EQ(ReadBytes(path + "/inside"), "x");
}

}  // namespace
