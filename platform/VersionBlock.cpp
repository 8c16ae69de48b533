// Building and walking VS_VERSIONINFO blocks. Every node is wLength, wValueLength,
// wType, a NUL-terminated UTF-16 key, padding to 32 bits, the value, padding, and the
// children; wLength leaves out the padding after the node's last byte.
#include "platform/VersionBlock.h"

#include <algorithm>

namespace versionblock {
namespace {

struct Node {
  std::u16string key;
  bool text = false;
  uint16_t valueLength = 0;  // as stored: characters for text, bytes otherwise
  std::vector<uint8_t> value;
  std::vector<Node> children;
};

void PutWord(std::vector<uint8_t> &out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v & 0xFF);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void AppendWord(std::vector<uint8_t> &out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void AppendDword(std::vector<uint8_t> &out, uint32_t v) {
  AppendWord(out, static_cast<uint16_t>(v & 0xFFFF));
  AppendWord(out, static_cast<uint16_t>(v >> 16));
}

void Align(std::vector<uint8_t> &out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

void AppendUtf16(std::vector<uint8_t> &out, const std::u16string &s) {
  for (char16_t c : s) AppendWord(out, static_cast<uint16_t>(c));
  AppendWord(out, 0);
}

// Appends the node at the current end of out, which is 32-bit aligned.
void Emit(std::vector<uint8_t> &out, const Node &node) {
  const size_t start = out.size();
  AppendWord(out, 0);  // wLength, patched below
  AppendWord(out, node.valueLength);
  AppendWord(out, node.text ? 1 : 0);
  AppendUtf16(out, node.key);
  Align(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node &child : node.children) {
    Align(out);
    Emit(out, child);
  }
  PutWord(out, start, static_cast<uint16_t>(out.size() - start));
}

Node TextNode(const std::u16string &key, const std::u16string &value) {
  Node n;
  n.key = key;
  n.text = true;
  n.valueLength = static_cast<uint16_t>(value.size() + 1);
  AppendUtf16(n.value, value);
  return n;
}

Node Container(const std::u16string &key) {
  Node n;
  n.key = key;
  n.text = true;
  return n;
}

char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

uint16_t Word(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

size_t AlignUp(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

// The parts of the node at [at, limit), or false when it does not fit there.
struct Parsed {
  size_t end;
  size_t keyStart;
  size_t keyChars;
  Found value;
  size_t childrenStart;
};

bool Parse(const uint8_t *b, size_t at, size_t limit, Parsed &p) {
  if (at + 6 > limit) return false;
  const size_t length = Word(b + at);
  if (length < 6 || at + length > limit) return false;
  p.end = at + length;
  p.keyStart = at + 6;
  size_t k = p.keyStart;
  while (k + 2 <= p.end && Word(b + k) != 0) k += 2;
  if (k + 2 > p.end) return false;  // key not terminated inside the node
  p.keyChars = (k - p.keyStart) / 2;
  p.value.text = Word(b + at + 4) == 1;
  p.value.valueLength = Word(b + at + 2);
  p.value.valueBytes = p.value.text ? p.value.valueLength * 2 : p.value.valueLength;
  p.value.offset = AlignUp(k + 2);
  if (p.value.valueBytes == 0) {
    p.value.offset = std::min(p.value.offset, p.end);
  } else if (p.value.offset + p.value.valueBytes > p.end) {
    return false;
  }
  p.childrenStart = AlignUp(p.value.offset + p.value.valueBytes);
  return true;
}

bool KeyEquals(const uint8_t *b, const Parsed &p, const std::u16string &name) {
  if (p.keyChars != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (FoldAscii(static_cast<char16_t>(Word(b + p.keyStart + 2 * i))) != FoldAscii(name[i])) return false;
  }
  return true;
}

}  // namespace

std::u16string TableName(uint16_t language, uint16_t codePage) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  const uint32_t v = (static_cast<uint32_t>(language) << 16) | codePage;
  std::u16string s;
  for (int shift = 28; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xF];
  return s;
}

std::vector<uint8_t> Build(const Description &d) {
  Node root;
  root.key = u"VS_VERSION_INFO";
  root.valueLength = kFixedInfoSize;
  const FixedInfo &f = d.fixed;
  AppendDword(root.value, kFixedInfoSignature);
  AppendDword(root.value, 0x00010000);  // dwStrucVersion
  AppendDword(root.value, (uint32_t{f.fileVersion[0]} << 16) | f.fileVersion[1]);
  AppendDword(root.value, (uint32_t{f.fileVersion[2]} << 16) | f.fileVersion[3]);
  AppendDword(root.value, (uint32_t{f.productVersion[0]} << 16) | f.productVersion[1]);
  AppendDword(root.value, (uint32_t{f.productVersion[2]} << 16) | f.productVersion[3]);
  for (uint32_t v : {f.flagsMask, f.flags, f.os, f.type, f.subtype, f.dateMS, f.dateLS})
    AppendDword(root.value, v);

  Node table = Container(TableName(d.language, d.codePage));
  for (const StringItem &item : d.strings) table.children.push_back(TextNode(item.name, item.value));
  Node stringInfo = Container(u"StringFileInfo");
  stringInfo.children.push_back(table);

  Node var;
  var.key = u"Translation";
  var.valueLength = 4;
  AppendWord(var.value, d.language);
  AppendWord(var.value, d.codePage);
  Node varInfo = Container(u"VarFileInfo");
  varInfo.children.push_back(var);

  root.children.push_back(stringInfo);
  root.children.push_back(varInfo);
  std::vector<uint8_t> out;
  Emit(out, root);
  return out;
}

bool Find(const uint8_t *block, size_t size, const std::u16string &path, Found &found) {
  if (block == nullptr || size < 6) return false;
  Parsed node;
  if (!Parse(block, 0, std::min<size_t>(size, Word(block)), node)) return false;
  size_t pos = 0;
  while (pos < path.size()) {
    if (path[pos] == u'\\') {
      ++pos;
      continue;
    }
    size_t next = path.find(u'\\', pos);
    if (next == std::u16string::npos) next = path.size();
    const std::u16string name = path.substr(pos, next - pos);
    pos = next;
    bool matched = false;
    for (size_t at = node.childrenStart; at < node.end; at = AlignUp(at)) {
      Parsed child;
      if (!Parse(block, at, node.end, child)) return false;
      if (KeyEquals(block, child, name)) {
        node = child;
        matched = true;
        break;
      }
      at = child.end;
    }
    if (!matched) return false;
  }
  found = node.value;
  return true;
}

}  // namespace versionblock
