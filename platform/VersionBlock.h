// The VS_VERSIONINFO block of a version resource, in the 32-bit UTF-16 layout that
// Windows' resource compiler writes: built from a description, and searched by path.
// Pure code: the build-time generator, the host layer and the tests all share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace versionblock {

// Name of the ELF section that carries the block in executables of the host layer.
constexpr const char kElfSectionName[] = ".hlversion";

// The VS_FIXEDFILEINFO signature.
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
// Length of VS_FIXEDFILEINFO in bytes.
constexpr size_t kFixedInfoSize = 52;

struct FixedInfo {
  uint16_t fileVersion[4] = {0, 0, 0, 0};  // major, minor, release, build
  uint16_t productVersion[4] = {0, 0, 0, 0};
  uint32_t flagsMask = 0;
  uint32_t flags = 0;
  uint32_t os = 0;
  uint32_t type = 0;
  uint32_t subtype = 0;
  uint32_t dateMS = 0;
  uint32_t dateLS = 0;
};

struct StringItem {
  std::u16string name;
  std::u16string value;
};

// One string table with its translation; the items keep their order.
struct Description {
  FixedInfo fixed;
  uint16_t language = 0;
  uint16_t codePage = 0;
  std::vector<StringItem> strings;
};

// The block's bytes; its first WORD (wLength) is the vector's size.
std::vector<uint8_t> Build(const Description &description);

// "041103A4": the string table's name for a translation.
std::u16string TableName(uint16_t language, uint16_t codePage);

struct Found {
  size_t offset = 0;       // of the value, from the start of the block
  size_t valueLength = 0;  // wValueLength: characters for text, bytes for binary data
  size_t valueBytes = 0;   // the value's extent in bytes
  bool text = false;       // wType 1
};

// Walks the block along a path such as "\StringFileInfo\041103A4\FileVersion": names
// match regardless of ASCII case, empty components are skipped, so "" and "\" give
// the root's value (VS_FIXEDFILEINFO). Only the first min(size, wLength) bytes are
// read; a malformed node ends the search. False when the path names nothing.
bool Find(const uint8_t *block, size_t size, const std::u16string &path, Found &found);

}  // namespace versionblock
