// The VS_VERSIONINFO builder and walker on a small block whose layout is worked out by
// hand, and the walker on damaged blocks.
#include <gtest/gtest.h>

#include "platform/VersionBlock.h"

namespace {

using versionblock::Found;

versionblock::Description Sample() {
  versionblock::Description d;
  d.fixed.fileVersion[0] = 1;
  d.fixed.fileVersion[1] = 2;
  d.fixed.fileVersion[2] = 3;
  d.fixed.fileVersion[3] = 4;
  d.fixed.productVersion[0] = 5;
  d.fixed.productVersion[1] = 6;
  d.fixed.productVersion[2] = 7;
  d.fixed.productVersion[3] = 8;
  d.fixed.flagsMask = 0x3F;
  d.fixed.os = 0x40004;
  d.fixed.type = 1;
  d.language = 0x0411;
  d.codePage = 0x03A4;
  d.strings = {{u"CompanyName", u"Fernwick"}, {u"X", u"ab"}};
  return d;
}

unsigned Word(const std::vector<uint8_t> &b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
unsigned Dword(const std::vector<uint8_t> &b, size_t at) { return Word(b, at) | (Word(b, at + 2) << 16); }

std::u16string KeyAt(const std::vector<uint8_t> &b, size_t at) {
  std::u16string s;
  for (size_t i = at + 6; Word(b, i) != 0; i += 2) s += static_cast<char16_t>(Word(b, i));
  return s;
}

// Offsets: each header is 6 bytes, each key UTF-16 with its NUL, then padding to 4.
// root 0: key ends at 38, fixed info 40..92; StringFileInfo 92: children at 128;
// table 128: children at 152; CompanyName 152: value 184..202; X 204: value 216..222;
// VarFileInfo 224; Translation 256: value 288..292.
TEST(VersionBlock, BuildLaysOutNodesWithWindowsPadding) {
  const std::vector<uint8_t> b = versionblock::Build(Sample());
  ASSERT_EQ(b.size(), 292u);
  struct Row {
    size_t at;
    unsigned length, valueLength, type;
    std::u16string key;
  } rows[] = {
      {0, 292, 52, 0, u"VS_VERSION_INFO"},
      {92, 130, 0, 1, u"StringFileInfo"},
      {128, 94, 0, 1, u"041103A4"},
      {152, 50, 9, 1, u"CompanyName"},
      {204, 18, 3, 1, u"X"},
      {224, 68, 0, 1, u"VarFileInfo"},
      {256, 36, 4, 0, u"Translation"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.at);
    EXPECT_EQ(Word(b, r.at), r.length);
    EXPECT_EQ(Word(b, r.at + 2), r.valueLength);
    EXPECT_EQ(Word(b, r.at + 4), r.type);
    EXPECT_TRUE(KeyAt(b, r.at) == r.key);
  }
  EXPECT_EQ(Dword(b, 40), 0xFEEF04BDu);
  EXPECT_EQ(Dword(b, 44), 0x00010000u);
  EXPECT_EQ(Dword(b, 48), 0x00010002u);
  EXPECT_EQ(Dword(b, 52), 0x00030004u);
  EXPECT_EQ(Dword(b, 56), 0x00050006u);
  EXPECT_EQ(Dword(b, 60), 0x00070008u);
  EXPECT_EQ(Dword(b, 64), 0x3Fu);
  EXPECT_EQ(Dword(b, 72), 0x40004u);
  EXPECT_EQ(Dword(b, 76), 1u);
  EXPECT_EQ(Word(b, 184), u'F');
  EXPECT_EQ(Word(b, 198), u'k');
  EXPECT_EQ(Word(b, 200), 0u);
  EXPECT_EQ(Dword(b, 288), 0x03A40411u);
}

TEST(VersionBlock, TableNameIsLanguageThenCodePageInUpperHex) {
  EXPECT_TRUE(versionblock::TableName(0x0411, 0x03A4) == u"041103A4");
  EXPECT_TRUE(versionblock::TableName(0x0409, 0x04B0) == u"040904B0");
  EXPECT_TRUE(versionblock::TableName(0xABCD, 0x00EF) == u"ABCD00EF");
}

TEST(VersionBlock, FindFollowsPathsRegardlessOfCaseAndExtraBackslashes) {
  const std::vector<uint8_t> b = versionblock::Build(Sample());
  struct Row {
    std::u16string path;
    size_t offset, valueLength;
    bool text;
  } rows[] = {
      {u"\\", 40, 52, false},
      {u"", 40, 52, false},
      {u"\\StringFileInfo\\041103A4\\CompanyName", 184, 9, true},
      {u"\\stringfileinfo\\041103a4\\COMPANYNAME", 184, 9, true},
      {u"StringFileInfo\\\\041103A4\\x\\", 216, 3, true},
      {u"\\VarFileInfo\\Translation", 288, 4, false},
      {u"\\StringFileInfo", 128, 0, true},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.path.begin(), r.path.end()));
    Found f;
    ASSERT_TRUE(versionblock::Find(b.data(), b.size(), r.path, f));
    EXPECT_EQ(f.offset, r.offset);
    EXPECT_EQ(f.valueLength, r.valueLength);
    EXPECT_EQ(f.text, r.text);
  }
  for (const char16_t *missing :
       {u"\\StringFileInfo\\041103A4\\Company", u"\\StringFileInfo\\041103A4\\CompanyNameX",
        u"\\VarFileInfo\\Translation\\More", u"\\StringFileInfo\\040904B0\\CompanyName", u"\\Nothing"}) {
    Found f;
    const std::u16string path = missing;
    EXPECT_FALSE(versionblock::Find(b.data(), b.size(), path, f)) << std::string(path.begin(), path.end());
  }
}

// Each damaged copy is exactly as long as its bytes, so a read past them shows under
// the address sanitizer; a child of length 0 must not stall the walk.
TEST(VersionBlock, FindRejectsDamagedBlocksWithoutReadingPastThem) {
  const std::vector<uint8_t> good = versionblock::Build(Sample());
  auto damaged = [&](size_t at, unsigned word) {
    std::vector<uint8_t> b = good;
    b[at] = static_cast<uint8_t>(word & 0xFF);
    b[at + 1] = static_cast<uint8_t>(word >> 8);
    return b;
  };
  const std::u16string x = u"\\StringFileInfo\\041103A4\\X";
  struct Row {
    const char *what;
    std::vector<uint8_t> block;
    std::u16string path;
  } rows[] = {
      {"truncated buffer", std::vector<uint8_t>(good.begin(), good.begin() + 100), u"\\"},
      {"root longer than its buffer", damaged(0, 400), u"\\"},
      {"root shorter than its header", damaged(0, 4), u"\\"},
      {"child of length 0", damaged(152, 0), x},
      {"child longer than its parent", damaged(152, 200), x},
      {"text value past its node", damaged(204 + 2, 50), x},
      {"node ending before its key's NUL", damaged(204, 8), x},
  };
  for (Row &r : rows) {
    Found f;
    EXPECT_FALSE(versionblock::Find(r.block.data(), r.block.size(), r.path, f)) << r.what;
  }
  Found f;
  EXPECT_FALSE(versionblock::Find(nullptr, 0, u"\\", f));
  EXPECT_FALSE(versionblock::Find(good.data(), 4, u"\\", f));
}

}  // namespace
