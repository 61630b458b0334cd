#include "model/mdx_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"

namespace orvenda {
namespace {

// A small .mdx reader written from the published layout, sharing nothing with the writer:
// little-endian numbers, 512-byte pages, the tag table at 544, 32 bytes an entry; a tag header
// with root page, key format, key type, key length, keys per block, item length and the key
// expression at 24; nodes with a key count, then items of (pointer, key); a node is a leaf
// when the pointer after its last item is 0.
struct MdxFile {
  explicit MdxFile(std::string b) : bytes(std::move(b)) {}
  std::string bytes;

  uint8_t U8(size_t at) const {
    EXPECT_LT(at, bytes.size());
    return at < bytes.size() ? static_cast<uint8_t>(bytes[at]) : 0;
  }
  uint32_t U16(size_t at) const { return U8(at) | (U8(at + 1) << 8); }
  uint32_t U32(size_t at) const { return U16(at) | (U16(at + 2) << 16); }
  std::string Str(size_t at, size_t n) const {
    std::string s = bytes.substr(at, n);
    return s.substr(0, s.find('\0'));
  }
};

struct TagInfo {
  std::string name;
  uint32_t headerPage = 0;
  uint8_t entryFormat = 0;
  uint8_t less = 0, greater = 0, parent = 0;
  char entryType = 0;
  uint32_t root = 0;
  uint32_t treePages = 0;
  uint8_t keyFormat = 0;
  char keyType = 0;
  uint32_t keyLength = 0, maxKeys = 0, secondaryType = 0, itemLength = 0;
  uint8_t unique = 0;
  std::string expression;
  uint8_t hasKeys = 0;
  uint32_t firstLeaf = 0, lastLeaf = 0;
};

TagInfo ReadTag(const MdxFile& f, int i) {
  TagInfo t;
  size_t e = 544 + 32 * static_cast<size_t>(i);
  t.headerPage = f.U32(e);
  t.name = f.Str(e + 4, 11);
  t.entryFormat = f.U8(e + 15);
  t.less = f.U8(e + 16);
  t.greater = f.U8(e + 17);
  t.parent = f.U8(e + 18);
  t.entryType = static_cast<char>(f.U8(e + 20));
  size_t h = t.headerPage * 512ull;
  t.root = f.U32(h);
  t.treePages = f.U32(h + 4);
  t.keyFormat = f.U8(h + 8);
  t.keyType = static_cast<char>(f.U8(h + 9));
  t.keyLength = f.U16(h + 12);
  t.maxKeys = f.U16(h + 14);
  t.secondaryType = f.U16(h + 16);
  t.itemLength = f.U16(h + 18);
  t.unique = f.U8(h + 23);
  t.expression = f.Str(h + 24, 220);
  t.hasKeys = f.U8(h + 246);
  t.firstLeaf = f.U32(h + 248);
  t.lastLeaf = f.U32(h + 252);
  return t;
}

struct Entry {
  std::string key;
  uint32_t record;
};

struct Walk {
  std::vector<Entry> entries;
  std::vector<uint32_t> leaves;  // leaf pages left to right
  int depth = -1;                // levels below the root; equal for every leaf
  size_t blocks = 0;
};

// Walks a tag's tree depth-first, checking every node on the way. Returns the subtree's last
// key.
std::string Visit(const MdxFile& f, const TagInfo& t, uint32_t page, int level, bool isRoot,
                  Walk& w, std::set<uint32_t>& seen) {
  EXPECT_EQ(page % 2, 0u) << "blocks start on even pages";
  EXPECT_GE(page, 4u);
  EXPECT_LE((page + 2) * 512ull, f.bytes.size());
  EXPECT_TRUE(seen.insert(page).second) << "page " << page << " reached twice";
  if (page < 4 || (page + 2) * 512ull > f.bytes.size()) return {};
  ++w.blocks;
  size_t base = page * 512ull;
  uint32_t count = f.U32(base);
  EXPECT_LE(count, t.maxKeys);
  EXPECT_LE(8 + count * t.itemLength + 4, 1024u);
  bool leaf = f.U32(base + 8 + count * t.itemLength) == 0;
  std::string last;
  if (leaf) {
    if (!isRoot) {
      EXPECT_GT(count, 0u) << "empty leaf";
    }
    if (w.depth < 0) w.depth = level;
    EXPECT_EQ(w.depth, level) << "leaves at different depths";
    w.leaves.push_back(page);
    for (uint32_t i = 0; i < count; ++i) {
      size_t at = base + 8 + i * t.itemLength;
      w.entries.push_back({f.bytes.substr(at + 4, t.keyLength), f.U32(at)});
      last = w.entries.back().key;
    }
    return last;
  }
  EXPECT_GT(count, 0u) << "interior node without keys";
  for (uint32_t i = 0; i <= count; ++i) {
    size_t at = base + 8 + i * t.itemLength;
    std::string childLast = Visit(f, t, f.U32(at), level + 1, false, w, seen);
    if (i < count) {
      EXPECT_EQ(f.bytes.substr(at + 4, t.keyLength), childLast)
          << "interior key is not the last key of its child";
    }
    last = childLast;
  }
  return last;
}

Walk WalkTag(const MdxFile& f, const TagInfo& t) {
  Walk w;
  std::set<uint32_t> seen;
  Visit(f, t, t.root, 0, true, w, seen);
  return w;
}

// Decodes a numeric key by the published rule: byte 0 less 52 is the decimal exponent, byte 1
// holds the sign (bit 7) and the digit count (bits 2-6), then two digits a byte.
long double DecodeBcd(const std::string& k) {
  EXPECT_EQ(k.size(), 12u);
  int exponent = static_cast<uint8_t>(k[0]) - 52;
  uint8_t b1 = static_cast<uint8_t>(k[1]);
  EXPECT_EQ(b1 & 0x03, 0x01);
  int digits = (b1 >> 2) & 0x1F;
  long double mantissa = 0;
  for (int i = 0; i < digits; ++i) {
    uint8_t b = static_cast<uint8_t>(k[2 + i / 2]);
    int d = i % 2 == 0 ? b >> 4 : b & 0x0F;
    EXPECT_LE(d, 9);
    mantissa = mantissa * 10 + d;
  }
  long double v = mantissa * std::pow(10.0L, exponent - digits);
  return (b1 & 0x80) ? -v : v;
}

std::string Hex(const std::string& s) {
  std::string out;
  char buf[4];
  for (unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  return out;
}

MdxTagInput NumericTag(const std::string& name, const std::string& field,
                       const std::vector<std::pair<double, uint32_t>>& keys,
                       bool descending = false) {
  MdxTagInput t;
  t.name = name;
  t.fieldName = field;
  t.numeric = true;
  t.descending = descending;
  for (auto [v, r] : keys) t.entries.push_back({MdxKey{v, {}}, r});
  return t;
}

// The whole file is the header, then per tag a header block and its tree, nothing else.
void ExpectFileAccountedFor(const MdxFile& f, const std::vector<TagInfo>& tags) {
  uint64_t pages = 4;
  for (const TagInfo& t : tags) pages += 2 + t.treePages;
  EXPECT_EQ(pages * 512, f.bytes.size());
  EXPECT_EQ(f.U32(32) * 512ull, f.bytes.size());
}

TEST(MdxWriterTest, FileHeaderAndTagTable) {
  std::vector<MdxTagInput> tags = {
      NumericTag("Index", "INDEX", {{5, 1}, {3, 2}}),
      NumericTag("Mira", "MIRA", {{1, 1}, {1, 2}}, true),
      NumericTag("Alfa", "ALFA", {}),
      NumericTag("Uplink", "UPLINK", {{0, 2}}),
  };
  MdxFile f(BuildMdx("projekt", tags, 2024, 5, 17));

  EXPECT_EQ(f.U8(0), 2);
  EXPECT_EQ(f.U8(1), 124);
  EXPECT_EQ(f.U8(2), 5);
  EXPECT_EQ(f.U8(3), 17);
  EXPECT_EQ(f.Str(4, 16), "PROJEKT");
  EXPECT_EQ(f.U16(20), 2u) << "pages a block";
  EXPECT_EQ(f.U16(22), 1024u) << "block size";
  EXPECT_EQ(f.U8(24), 1) << "production index";
  EXPECT_EQ(f.U8(25), 48);
  EXPECT_EQ(f.U8(26), 32);
  EXPECT_EQ(f.U16(28), 4u) << "tags in use";
  EXPECT_EQ(f.U32(36), 0u) << "no free pages";
  EXPECT_EQ(f.U8(44), 124);
  EXPECT_EQ(f.U8(45), 5);
  EXPECT_EQ(f.U8(46), 17);

  std::vector<TagInfo> infos;
  for (int i = 0; i < 4; ++i) infos.push_back(ReadTag(f, i));
  EXPECT_EQ(infos[0].name, "INDEX");
  EXPECT_EQ(infos[1].name, "MIRA");
  EXPECT_EQ(infos[2].name, "ALFA");
  EXPECT_EQ(infos[3].name, "UPLINK");
  EXPECT_EQ(f.U32(544 + 4 * 32), 0u) << "unused entries stay empty";
  std::set<uint32_t> headerPages;
  for (const TagInfo& t : infos) {
    EXPECT_EQ(t.entryFormat, 0x10);
    EXPECT_EQ(t.entryType, 'N');
    EXPECT_EQ(t.keyType, 'N');
    EXPECT_EQ(t.keyLength, 12u);
    EXPECT_EQ(t.itemLength, 16u) << "4-byte pointer plus 12-byte key";
    EXPECT_EQ(t.maxKeys, (1024u - 8 - 4) / 16);
    EXPECT_EQ(t.secondaryType, 0u);
    EXPECT_EQ(t.unique, 0);
    EXPECT_GE(t.headerPage, 4u);
    EXPECT_EQ(t.headerPage % 2, 0u);
    EXPECT_TRUE(headerPages.insert(t.headerPage).second);
  }
  EXPECT_EQ(infos[0].expression, "INDEX");
  EXPECT_EQ(infos[1].expression, "MIRA");
  EXPECT_EQ(infos[0].keyFormat, 0x10);
  EXPECT_EQ(infos[1].keyFormat, 0x18) << "descending flag";
  EXPECT_EQ(infos[0].hasKeys, 1);
  EXPECT_EQ(infos[2].hasKeys, 0);

  // The tag threads form a search tree on the names rooted at the first tag: an in-order walk
  // meets every tag once, in name order, and parents match.
  std::vector<std::string> inOrder;
  std::function<void(int, int)> visit = [&](int n, int parent) {
    if (n == 0) return;
    ASSERT_LE(n, 4);
    const TagInfo& t = infos[n - 1];
    EXPECT_EQ(t.parent, parent) << t.name;
    visit(t.less, n);
    inOrder.push_back(t.name);
    visit(t.greater, n);
  };
  visit(1, 0);
  EXPECT_EQ(inOrder, (std::vector<std::string>{"ALFA", "INDEX", "MIRA", "UPLINK"}));

  ExpectFileAccountedFor(f, infos);
}

TEST(MdxWriterTest, NumericKeysArePackedBcd) {
  std::vector<std::pair<double, uint32_t>> values = {{0, 1},   {1, 2},       {7, 3},    {12345, 4},
                                                     {-3, 5},  {1000000, 6}, {-0.0, 7}, {0.05, 8},
                                                     {2.5, 9}, {1e20, 10}};
  MdxFile f(BuildMdx("T", {NumericTag("N", "N", values)}, 2024, 1, 1));
  TagInfo t = ReadTag(f, 0);
  Walk w = WalkTag(f, t);
  ASSERT_EQ(w.entries.size(), values.size());

  std::map<uint32_t, std::string> byRecord;
  for (const Entry& e : w.entries) byRecord[e.record] = e.key;
  auto bytes = [](std::initializer_list<int> b) {
    std::string s(12, '\0');
    size_t i = 0;
    for (int v : b) s[i++] = static_cast<char>(v);
    return s;
  };
  // 52 + digits before the point; sign, digit count << 2, low bits 01; digits high nibble first.
  EXPECT_EQ(Hex(byRecord[1]), Hex(bytes({0x34, 0x01})));
  EXPECT_EQ(Hex(byRecord[2]), Hex(bytes({0x35, 0x05, 0x10})));
  EXPECT_EQ(Hex(byRecord[3]), Hex(bytes({0x35, 0x05, 0x70})));
  EXPECT_EQ(Hex(byRecord[4]), Hex(bytes({0x39, 0x15, 0x12, 0x34, 0x50})));
  EXPECT_EQ(Hex(byRecord[5]), Hex(bytes({0x35, 0x85, 0x30})));
  EXPECT_EQ(Hex(byRecord[6]), Hex(bytes({0x3B, 0x1D, 0x10, 0x00, 0x00, 0x00})));
  EXPECT_EQ(Hex(byRecord[7]), Hex(bytes({0x34, 0x01}))) << "negative zero is zero";
  EXPECT_EQ(Hex(byRecord[8]), Hex(bytes({0x33, 0x05, 0x50})));
  EXPECT_EQ(Hex(byRecord[9]), Hex(bytes({0x35, 0x09, 0x25})));
  EXPECT_EQ(Hex(byRecord[10]), Hex(bytes({0x49, 0x05, 0x10}))) << "21 digits: zeros dropped";
  EXPECT_EQ(MdxNumericKey(12345), byRecord[4]);

  // Leaf order is numeric order with equal keys by record number.
  std::vector<uint32_t> order;
  for (const Entry& e : w.entries) order.push_back(e.record);
  EXPECT_EQ(order, (std::vector<uint32_t>{5, 1, 7, 8, 2, 9, 3, 4, 6, 10}));
}

// 10 000 records with many equal keys, given in shuffled order.
std::vector<std::pair<double, uint32_t>> ShuffledKeys(size_t n, int spread, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> key(-spread, spread);
  std::vector<std::pair<double, uint32_t>> v;
  for (uint32_t r = 1; r <= n; ++r) v.push_back({key(rng), r});
  std::shuffle(v.begin(), v.end(), rng);
  return v;
}

void ExpectTreeHolds(const MdxFile& f, const TagInfo& t,
                     std::vector<std::pair<double, uint32_t>> expected, bool descending) {
  std::sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return descending ? a.first > b.first : a.first < b.first;
    return a.second < b.second;
  });
  Walk w = WalkTag(f, t);
  ASSERT_EQ(w.entries.size(), expected.size());
  std::set<uint32_t> records;
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(DecodeBcd(w.entries[i].key), expected[i].first) << "at " << i;
    ASSERT_EQ(w.entries[i].record, expected[i].second) << "at " << i;
    records.insert(w.entries[i].record);
  }
  EXPECT_EQ(records.size(), expected.size());
  EXPECT_GE(w.depth, 2) << "10 000 keys need a tree of three levels";
  EXPECT_EQ(t.firstLeaf, w.leaves.front());
  EXPECT_EQ(t.lastLeaf, w.leaves.back());
  EXPECT_EQ(t.treePages, w.blocks * 2);
}

TEST(MdxWriterTest, LargeTagsHoldEveryRecordInKeyOrder) {
  auto keys = ShuffledKeys(10000, 700, 42);
  auto wide = ShuffledKeys(10000, 2000000000, 7);
  MdxFile f(BuildMdx("BIG",
                     {NumericTag("UP", "UPLINK", keys), NumericTag("DOWN", "UPLINK", keys, true),
                      NumericTag("WIDE", "INDEX", wide)},
                     2024, 1, 1));
  std::vector<TagInfo> infos = {ReadTag(f, 0), ReadTag(f, 1), ReadTag(f, 2)};
  {
    SCOPED_TRACE("ascending");
    ExpectTreeHolds(f, infos[0], keys, false);
  }
  {
    SCOPED_TRACE("descending");
    ExpectTreeHolds(f, infos[1], keys, true);
  }
  {
    SCOPED_TRACE("wide range");
    ExpectTreeHolds(f, infos[2], wide, false);
  }
  ExpectFileAccountedFor(f, infos);
}

TEST(MdxWriterTest, CharacterKeysArePaddedCutAndInByteOrder) {
  std::mt19937 rng(3);
  const std::string alphabet = std::string(" AZaz") + "\x8A\xE8\x9A";  // Š č š in windows-1250
  std::uniform_int_distribution<size_t> len(0, 110), pick(0, alphabet.size() - 1);
  std::vector<std::string> texts;
  for (int i = 0; i < 3000; ++i) {
    std::string s;
    for (size_t n = len(rng); n > 0; --n) s += alphabet[pick(rng)];
    texts.push_back(s);
  }
  texts[0] = "Zed";
  texts[1] =
      "\x8A"
      "ed";
  texts[2] = std::string(120, 'x');

  for (auto [keyLength, descending] : {std::pair{4, false}, {15, true}, {100, false}}) {
    SCOPED_TRACE(keyLength);
    MdxTagInput in;
    in.name = "text";
    in.fieldName = "TEXT";
    in.numeric = false;
    in.keyLength = keyLength;
    in.descending = descending;
    for (size_t i = 0; i < texts.size(); ++i)
      in.entries.push_back({MdxKey{0, texts[i]}, static_cast<uint32_t>(i + 1)});
    MdxFile f(BuildMdx("T", {in}, 2024, 1, 1));
    TagInfo t = ReadTag(f, 0);
    EXPECT_EQ(t.name, "TEXT");
    EXPECT_EQ(t.keyType, 'C');
    EXPECT_EQ(t.entryType, 'C');
    EXPECT_EQ(t.keyLength, static_cast<uint32_t>(keyLength));
    EXPECT_EQ(t.keyFormat, descending ? 0x18 : 0x10);
    uint32_t item = (keyLength + 4 + 3) / 4 * 4;
    EXPECT_EQ(t.itemLength, item);
    EXPECT_EQ(t.maxKeys, (1024 - 12) / item);

    std::vector<Entry> expected;
    for (size_t i = 0; i < texts.size(); ++i) {
      std::string k = texts[i].substr(0, keyLength);
      k.resize(keyLength, ' ');
      expected.push_back({k, static_cast<uint32_t>(i + 1)});
    }
    std::sort(expected.begin(), expected.end(), [&](const Entry& a, const Entry& b) {
      int c = std::memcmp(a.key.data(), b.key.data(), a.key.size());
      if (descending) c = -c;
      return c != 0 ? c < 0 : a.record < b.record;
    });
    Walk w = WalkTag(f, t);
    ASSERT_EQ(w.entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(w.entries[i].key, expected[i].key) << "at " << i;
      ASSERT_EQ(w.entries[i].record, expected[i].record) << "at " << i;
    }
    if (keyLength == 100) {
      EXPECT_GE(w.depth, 3);
    }
    ExpectFileAccountedFor(f, {t});
  }
}

TEST(MdxWriterTest, EmptyTableGivesEmptyTags) {
  MdxTagInput text;
  text.name = "TEXT";
  text.fieldName = "TEXT";
  text.numeric = false;
  text.keyLength = 10;
  MdxFile f(BuildMdx("EMPTY", {NumericTag("INDEX", "INDEX", {}), text}, 2024, 1, 1));
  EXPECT_EQ(f.U16(28), 2u);
  std::vector<TagInfo> infos = {ReadTag(f, 0), ReadTag(f, 1)};
  for (const TagInfo& t : infos) {
    EXPECT_EQ(t.hasKeys, 0);
    EXPECT_EQ(f.U32(t.root * 512ull), 0u) << "root leaf without keys";
    EXPECT_EQ(t.firstLeaf, t.root);
    EXPECT_EQ(t.lastLeaf, t.root);
    Walk w = WalkTag(f, t);
    EXPECT_TRUE(w.entries.empty());
    EXPECT_EQ(w.depth, 0);
  }
  ExpectFileAccountedFor(f, infos);
}

TEST(MdxWriterTest, RefusesWhatCannotBeStored) {
  auto build = [](std::vector<MdxTagInput> tags) { return BuildMdx("T", tags, 2024, 1, 1); };
  std::vector<MdxTagInput> many;
  for (int i = 0; i < 47; ++i) many.push_back(NumericTag("T" + std::to_string(i), "F", {{1, 1}}));
  MdxFile full(build(many));
  EXPECT_EQ(full.U16(28), 47u);
  EXPECT_EQ(ReadTag(full, 46).name, "T46");
  many.push_back(NumericTag("T47", "F", {}));
  EXPECT_THROW(build(many), Error);

  EXPECT_THROW(build({NumericTag("ELEVENCHARS", "F", {})}), Error);
  EXPECT_THROW(build({NumericTag("", "F", {})}), Error);
  EXPECT_THROW(build({NumericTag("A", "", {})}), Error);
  EXPECT_THROW(build({NumericTag("A", "F", {}), NumericTag("a", "G", {})}), Error);
  EXPECT_THROW(build({NumericTag("A", "F", {{1, 0}})}), Error) << "record number 0";
  EXPECT_THROW(build({NumericTag("A", "F", {{1, 3}, {2, 3}})}), Error) << "record twice";
  EXPECT_THROW(build({NumericTag("A", "F", {{std::nan(""), 1}})}), Error);
  EXPECT_THROW(build({NumericTag("A", "F", {{INFINITY, 1}})}), Error);
  MdxTagInput text;
  text.name = "C";
  text.fieldName = "C";
  text.numeric = false;
  text.keyLength = 101;
  EXPECT_THROW(build({text}), Error);
  text.keyLength = 0;
  EXPECT_THROW(build({text}), Error);
}

}  // namespace
}  // namespace orvenda
