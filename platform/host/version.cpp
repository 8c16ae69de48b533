// version.dll for the host layer. An executable's version resource is the VS_VERSIONINFO
// block that the build put into its ELF section (platform/VersionBlock.h); the file is
// read through its section headers, so any ELF file can be asked, not only this one.
// As on Windows, the caller's buffer holds the UTF-16 block, a "FE2X" marker and scratch
// space of the block's length, where VerQueryValueA leaves strings converted to CP932.
#include <elf.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/VersionBlock.h"
#include "platform/winapi.h"

namespace {

constexpr uint8_t kScratchMarker[4] = {'F', 'E', '2', 'X'};
constexpr size_t kMaxBlock = 0xFFFF;  // wLength is a WORD

uint16_t Word(const void *p) {
  const uint8_t *b = static_cast<const uint8_t *>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

class File {
 public:
  explicit File(const char *path) : FFd(::open(path, O_RDONLY | O_CLOEXEC)) {}
  ~File() {
    if (FFd >= 0) ::close(FFd);
  }
  File(const File &) = delete;
  File &operator=(const File &) = delete;
  int Fd() const { return FFd; }
  // Reads exactly len bytes at off, never past the end of a file of the given size.
  bool ReadAt(uint64_t off, uint64_t len, uint64_t fileSize, void *out) const {
    if (off > fileSize || len > fileSize - off) return false;
    uint8_t *p = static_cast<uint8_t *>(out);
    while (len > 0) {
      const ssize_t n = ::pread(FFd, p, len, static_cast<off_t>(off));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      off += static_cast<uint64_t>(n);
      len -= static_cast<uint64_t>(n);
    }
    return true;
  }

 private:
  int FFd;  // owned
};

DWORD OpenError(const char *path, int err) {
  if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  if (err == EACCES || err == EPERM) return ERROR_ACCESS_DENIED;
  if (err == ENOENT) {
    // Windows tells a missing folder from a missing file.
    std::string dir(path);
    const size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : dir.substr(0, slash));
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  }
  return ERROR_FILE_NOT_FOUND;
}

struct Section {
  uint64_t offset, size;
  uint32_t name, type;
};

// The section headers of an ELF file of either class (little-endian, as the host is).
template <class Ehdr, class Shdr>
bool ReadSections(const File &f, uint64_t fileSize, std::vector<Section> &out, uint32_t &strIndex) {
  Ehdr eh;
  if (!f.ReadAt(0, sizeof eh, fileSize, &eh)) return false;
  if (eh.e_shoff == 0 || eh.e_shentsize < sizeof(Shdr)) return false;
  uint64_t count = eh.e_shnum;
  strIndex = eh.e_shstrndx;
  if (count == 0 || strIndex == SHN_XINDEX) {
    // Large section counts live in the first section header.
    Shdr first;
    if (!f.ReadAt(eh.e_shoff, sizeof first, fileSize, &first)) return false;
    if (count == 0) count = first.sh_size;
    if (strIndex == SHN_XINDEX) strIndex = first.sh_link;
  }
  if (count == 0 || count > fileSize / eh.e_shentsize) return false;
  std::vector<uint8_t> table(count * eh.e_shentsize);
  if (!f.ReadAt(eh.e_shoff, table.size(), fileSize, table.data())) return false;
  out.clear();
  for (uint64_t i = 0; i < count; ++i) {
    Shdr sh;
    std::memcpy(&sh, table.data() + i * eh.e_shentsize, sizeof sh);
    out.push_back({sh.sh_offset, sh.sh_size, sh.sh_name, sh.sh_type});
  }
  return strIndex < count;
}

// Reads the block of the file into block; returns 0 or the Windows error code.
DWORD ReadBlock(const char *path, std::vector<uint8_t> &block) {
  if (path == nullptr || *path == '\0') return ERROR_FILE_NOT_FOUND;
  File f(path);
  if (f.Fd() < 0) return OpenError(path, errno);
  struct stat st;
  if (::fstat(f.Fd(), &st) != 0) return ERROR_ACCESS_DENIED;
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  const uint64_t size = static_cast<uint64_t>(st.st_size);

  unsigned char ident[EI_NIDENT];
  if (!S_ISREG(st.st_mode) || !f.ReadAt(0, sizeof ident, size, ident) ||
      std::memcmp(ident, ELFMAG, SELFMAG) != 0 || ident[EI_DATA] != ELFDATA2LSB)
    return ERROR_RESOURCE_DATA_NOT_FOUND;  // what Windows says of a file that is no executable
  std::vector<Section> sections;
  uint32_t strIndex = 0;
  bool ok = false;
  if (ident[EI_CLASS] == ELFCLASS64)
    ok = ReadSections<Elf64_Ehdr, Elf64_Shdr>(f, size, sections, strIndex);
  else if (ident[EI_CLASS] == ELFCLASS32)
    ok = ReadSections<Elf32_Ehdr, Elf32_Shdr>(f, size, sections, strIndex);
  if (!ok) return ERROR_RESOURCE_TYPE_NOT_FOUND;

  const Section &strtab = sections[strIndex];
  if (strtab.type == SHT_NOBITS || strtab.size > (64u << 20)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  std::vector<char> names(strtab.size);
  if (!f.ReadAt(strtab.offset, names.size(), size, names.data())) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  const size_t wantedLength = sizeof versionblock::kElfSectionName;  // with its NUL
  for (const Section &s : sections) {
    if (s.type == SHT_NOBITS || s.name >= names.size() || names.size() - s.name < wantedLength ||
        std::memcmp(names.data() + s.name, versionblock::kElfSectionName, wantedLength) != 0)
      continue;
    block.resize(std::min<uint64_t>(s.size, kMaxBlock));
    if (block.size() < 6 || !f.ReadAt(s.offset, block.size(), size, block.data()))
      return ERROR_RESOURCE_DATA_NOT_FOUND;
    const size_t length = Word(block.data());
    if (length > block.size()) return ERROR_RESOURCE_DATA_NOT_FOUND;
    block.resize(length);
    // A usable block is a VS_VERSION_INFO node with its fixed information.
    static const char16_t rootKey[] = u"VS_VERSION_INFO";
    versionblock::Found root;
    if (!versionblock::Find(block.data(), block.size(), u"", root) || length < 6 + sizeof rootKey ||
        root.valueBytes < versionblock::kFixedInfoSize)
      return ERROR_RESOURCE_DATA_NOT_FOUND;
    for (size_t i = 0; i < sizeof rootKey / 2; ++i)
      if (Word(block.data() + 6 + 2 * i) != rootKey[i]) return ERROR_RESOURCE_DATA_NOT_FOUND;
    return 0;
  }
  return ERROR_RESOURCE_TYPE_NOT_FOUND;
}

// iconv with a Windows-like fallback: a character the target cannot hold becomes "?";
// false when the source is not valid at all in strict mode.
bool Convert(const char *to, const char *from, const std::string &in, std::string &out, bool strict,
             size_t unit) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  char *src = const_cast<char *>(in.data());
  size_t srcLeft = in.size();
  char buf[256];
  bool good = true;
  while (srcLeft > 0) {
    char *dst = buf;
    size_t dstLeft = sizeof buf;
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, dst);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    if (strict) {
      good = false;
      break;
    }
    // Skip one unit (two for a surrogate pair) and stand a question mark in for it.
    size_t skip = std::min(unit, srcLeft);
    if (unit == 2 && srcLeft >= 4) {
      const uint16_t c = Word(src);
      if (c >= 0xD800 && c <= 0xDBFF) skip = 4;
    }
    src += skip;
    srcLeft -= skip;
    out += '?';
  }
  iconv_close(cd);
  return good;
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
  if (handle != nullptr) *handle = 0;
  std::vector<uint8_t> block;
  const DWORD err = ReadBlock(fileName, block);
  if (err != 0) {
    SetLastError(err);
    return 0;
  }
  return static_cast<DWORD>(block.size() * 2 + sizeof kScratchMarker);
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD len, LPVOID data) {
  if (data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<uint8_t> block;
  const DWORD err = ReadBlock(fileName, block);
  if (err != 0) {
    SetLastError(err);
    return FALSE;
  }
  uint8_t *out = static_cast<uint8_t *>(data);
  std::memcpy(out, block.data(), std::min<size_t>(len, block.size()));
  // Windows marks a buffer that has room for the converted strings; VerQueryValueA
  // writes into the scratch space only when the mark is there.
  if (len >= block.size() * 2 + sizeof kScratchMarker) {
    std::memcpy(out + block.size(), kScratchMarker, sizeof kScratchMarker);
    std::memset(out + block.size() + sizeof kScratchMarker, 0, block.size());
  }
  return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID *buffer, PUINT len) {
  if (len != nullptr) *len = 0;
  if (buffer != nullptr) *buffer = nullptr;
  if (block == nullptr || buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint8_t *base = static_cast<uint8_t *>(const_cast<void *>(block));
  const size_t length = Word(base);
  std::string path16;
  versionblock::Found found;
  if (!Convert("UTF-16LE", "CP932", subBlock != nullptr ? subBlock : "", path16, true, 1) ||
      !versionblock::Find(
          base, length, std::u16string(reinterpret_cast<const char16_t *>(path16.data()), path16.size() / 2),
          found)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  if (!found.text || found.valueLength == 0) {
    *buffer = base + found.offset;
    if (len != nullptr) *len = static_cast<UINT>(found.valueLength);
    return TRUE;
  }
  if (std::memcmp(base + length, kScratchMarker, sizeof kScratchMarker) != 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // The text up to its NUL, as CP932, at the same distance into the scratch space as
  // the UTF-16 text is into the block; it can take at most the rest of the block's length.
  std::u16string text;
  for (size_t i = 0; i < found.valueLength; ++i) {
    const char16_t c = static_cast<char16_t>(Word(base + found.offset + 2 * i));
    if (c == 0) break;
    text += c;
  }
  std::string ansi;
  Convert("CP932", "UTF-16LE", std::string(reinterpret_cast<const char *>(text.data()), text.size() * 2),
          ansi, false, 2);
  const size_t room = length - found.offset - 1;
  if (ansi.size() > room) {
    size_t cut = 0;
    while (cut < ansi.size()) {
      const size_t step = IsLeadByte(static_cast<unsigned char>(ansi[cut])) ? 2 : 1;
      if (cut + step > room) break;
      cut += step;
    }
    ansi.resize(cut);
  }
  char *dest = reinterpret_cast<char *>(base + length + sizeof kScratchMarker + found.offset);
  std::memcpy(dest, ansi.data(), ansi.size());
  dest[ansi.size()] = '\0';
  *buffer = dest;
  if (len != nullptr) *len = static_cast<UINT>(ansi.size() + 1);
  return TRUE;
}
