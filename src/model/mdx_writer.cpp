#include "model/mdx_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>

#include "base/error.h"

namespace orvenda {

namespace {

constexpr size_t kPageSize = 512;
constexpr size_t kPagesPerBlock = 2;
constexpr size_t kBlockSize = kPageSize * kPagesPerBlock;
constexpr size_t kFileHeaderSize = 2048;  // 4 pages: header and tag table
constexpr size_t kTagTableOffset = 544;
constexpr size_t kTagEntrySize = 32;
constexpr size_t kTagTableEntries = 48;  // declared capacity; 47 fit before offset 2048
constexpr size_t kMaxTags = (kFileHeaderSize - kTagTableOffset) / kTagEntrySize;
constexpr size_t kMaxTagName = 10;
constexpr int kMaxCharKey = 100;
constexpr size_t kMaxExpression = 220;
constexpr size_t kNumericKeyLength = 12;
constexpr size_t kNodeHeader = 8;  // key count, then a page number we leave 0
constexpr size_t kBcdDigits = 20;
constexpr int kBcdBias = 52;

void PutU16(std::string& buf, size_t at, uint32_t v) {
  buf[at] = static_cast<char>(v & 0xFF);
  buf[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& buf, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) buf[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutDate(std::string& buf, size_t at, int year, int month, int day) {
  buf[at] = static_cast<char>(std::clamp(year - 1900, 0, 255));
  buf[at + 1] = static_cast<char>(std::clamp(month, 0, 255));
  buf[at + 2] = static_cast<char>(std::clamp(day, 0, 255));
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string TrimSpaces(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

uint32_t Pages(size_t bytes) { return static_cast<uint32_t>(bytes / kPageSize); }

// Writes the 12-byte key of a finite value to `out` (layout in the header).
void EncodeNumber(double value, char* out) {
  std::memset(out, 0, kNumericKeyLength);
  if (value == 0) {  // also -0
    out[0] = static_cast<char>(kBcdBias);
    out[1] = 0x01;
    return;
  }
  const bool negative = value < 0;
  const double magnitude = std::fabs(value);

  // The digits of the number, the position of the decimal point among them.
  char text[400];
  size_t length;
  size_t point;
  if (magnitude < 1e15 && magnitude == std::floor(magnitude)) {  // whole numbers, the usual case
    char reversed[20];
    size_t n = 0;
    for (auto v = static_cast<uint64_t>(magnitude); v != 0; v /= 10)
      reversed[n++] = static_cast<char>('0' + v % 10);
    for (size_t i = 0; i < n; ++i) text[i] = reversed[n - 1 - i];
    length = point = n;
  } else {
    auto [end, ec] =
        std::to_chars(std::begin(text), std::end(text), magnitude, std::chars_format::fixed);
    if (ec != std::errc()) throw Error("A number too large to be indexed.");
    length = static_cast<size_t>(end - text);
    point = std::find(text, end, '.') - text;
    if (point < length) {  // drop the point; the shortest form has no trailing zeros after it
      std::memmove(text + point, text + point + 1, length - point - 1);
      --length;
    }
  }
  // Leading zeros (below 1) move the exponent down.
  size_t first = 0;
  while (first < length && text[first] == '0') ++first;
  const int before = static_cast<int>(point) - static_cast<int>(first);
  const char* digits = text + first;
  size_t count = length - first;
  // Whole numbers keep their trailing zeros as digits while they fit.
  if (count > kBcdDigits)
    while (count > 0 && digits[count - 1] == '0') --count;
  count = std::min<size_t>(count, kBcdDigits);
  if (before + kBcdBias < 0 || before + kBcdBias > 255)
    throw Error("A number out of the range of an index key.");

  out[0] = static_cast<char>(before + kBcdBias);
  out[1] = static_cast<char>((count << 2) | 0x01 | (negative ? 0x80 : 0));
  for (size_t i = 0; i < count; ++i) {
    int d = digits[i] - '0';
    char& b = out[2 + i / 2];
    b = static_cast<char>(b | (i % 2 == 0 ? d << 4 : d));
  }
}

// One tag, checked and with its keys encoded and sorted.
struct PreparedTag {
  std::string name;
  const MdxTagInput* input = nullptr;
  size_t keyLength = 0;
  size_t itemLength = 0;          // record number or child page, then the key, 4-byte aligned
  size_t keysPerBlock = 0;        // room for the items plus the trailing page number
  std::string keys;               // encoded keys back to back, in sorted order
  std::vector<uint32_t> records;  // their record numbers
  size_t size() const { return records.size(); }
  const char* key(size_t i) const { return keys.data() + i * keyLength; }
};

void CheckRecordNumbers(const PreparedTag& tag) {
  const std::vector<uint32_t>& r = tag.records;
  if (std::find(r.begin(), r.end(), 0u) != r.end())
    throw Error("Index tag " + tag.name + ": record number 0.");
  bool twice = false;
  uint32_t top = r.empty() ? 0 : *std::max_element(r.begin(), r.end());
  if (top <= 8 * r.size() + 4096) {
    std::vector<bool> seen(top + 1);
    for (uint32_t x : r) {
      twice = twice || seen[x];
      seen[x] = true;
    }
  } else {
    std::vector<uint32_t> sorted = r;
    std::sort(sorted.begin(), sorted.end());
    twice = std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
  }
  if (twice) throw Error("Index tag " + tag.name + ": a record number appears twice.");
}

PreparedTag Prepare(const MdxTagInput& in) {
  PreparedTag tag;
  tag.input = &in;
  tag.name = UpperAscii(TrimSpaces(in.name));
  if (tag.name.empty() || tag.name.size() > kMaxTagName)
    throw Error("Index tag name \"" + in.name + "\" must have 1 to 10 characters.");
  if (in.fieldName.empty() || in.fieldName.size() > kMaxExpression)
    throw Error("Index tag " + tag.name + " has no valid key expression.");
  if (in.numeric) {
    tag.keyLength = kNumericKeyLength;
  } else {
    if (in.keyLength < 1 || in.keyLength > kMaxCharKey)
      throw Error("Index tag " + tag.name + ": key length must be 1 to 100.");
    tag.keyLength = static_cast<size_t>(in.keyLength);
  }
  tag.itemLength = (tag.keyLength + 4 + 3) / 4 * 4;
  tag.keysPerBlock = (kBlockSize - kNodeHeader - 4) / tag.itemLength;

  const size_t n = in.entries.size();
  const size_t len = tag.keyLength;
  tag.records.resize(n);
  tag.keys.assign(n * len, ' ');
  if (in.numeric) {
    // Numeric keys sort by value, then by record number.
    std::vector<std::pair<double, uint32_t>> sorted(n);
    for (size_t i = 0; i < n; ++i) {
      sorted[i] = {in.entries[i].first.number, in.entries[i].second};
      if (!std::isfinite(sorted[i].first))
        throw Error("A number that is not finite cannot be indexed.");
    }
    if (in.descending) {
      std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
      });
    } else {
      std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
      });
    }
    for (size_t i = 0; i < n; ++i) {
      tag.records[i] = sorted[i].second;
      EncodeNumber(sorted[i].first, tag.keys.data() + i * len);
    }
  } else {
    // Character keys sort by unsigned byte values, then by record number.
    std::string padded(n * len, ' ');
    for (size_t i = 0; i < n; ++i) {
      const std::string& text = in.entries[i].first.text;
      std::memcpy(padded.data() + i * len, text.data(), std::min(text.size(), len));
    }
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    const auto* base = reinterpret_cast<const unsigned char*>(padded.data());
    const bool descending = in.descending;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      int c = std::memcmp(base + a * len, base + b * len, len);
      if (c != 0) return descending ? c > 0 : c < 0;
      return in.entries[a].second < in.entries[b].second;
    });
    for (size_t i = 0; i < n; ++i) {
      tag.records[i] = in.entries[order[i]].second;
      std::memcpy(tag.keys.data() + i * len, padded.data() + order[i] * len, len);
    }
  }
  CheckRecordNumbers(tag);
  return tag;
}

// Splits `count` items into `parts` runs whose lengths differ by one at most.
std::vector<size_t> EvenRuns(size_t count, size_t parts) {
  std::vector<size_t> runs(parts, count / parts);
  for (size_t i = 0; i < count % parts; ++i) ++runs[i];
  return runs;
}

struct TreeResult {
  uint32_t root = 0;
  uint32_t firstLeaf = 0;
  uint32_t lastLeaf = 0;
  uint32_t pages = 0;  // pages taken by the tree's blocks
};

// Appends the tag's B-tree to `file`, leaves first, then each interior level, root last.
TreeResult AppendTree(std::string& file, const PreparedTag& tag) {
  struct Node {
    uint32_t page;
    size_t lastEntry;  // index of the last key in the node's subtree
  };
  TreeResult result;
  const size_t startSize = file.size();
  auto newBlock = [&]() {
    uint32_t page = Pages(file.size());
    file.resize(file.size() + kBlockSize, '\0');
    return page;
  };
  const size_t n = tag.size();
  const size_t cap = tag.keysPerBlock;
  std::vector<Node> level;
  {
    size_t leafCount = std::max<size_t>(1, (n + cap - 1) / cap);
    size_t entry = 0;
    for (size_t run : EvenRuns(n, leafCount)) {
      uint32_t page = newBlock();
      size_t base = static_cast<size_t>(page) * kPageSize;
      PutU32(file, base, static_cast<uint32_t>(run));
      for (size_t i = 0; i < run; ++i, ++entry) {
        size_t at = base + kNodeHeader + i * tag.itemLength;
        PutU32(file, at, tag.records[entry]);
        std::memcpy(file.data() + at + 4, tag.key(entry), tag.keyLength);
      }
      // The page number after the last item stays 0: that marks a leaf.
      level.push_back({page, entry == 0 ? 0 : entry - 1});
    }
  }
  result.firstLeaf = level.front().page;
  result.lastLeaf = level.back().page;

  // An interior node holds up to `cap` keys and one child more than keys.
  while (level.size() > 1) {
    std::vector<Node> parents;
    size_t parentCount = (level.size() + cap) / (cap + 1);
    size_t child = 0;
    for (size_t run : EvenRuns(level.size(), parentCount)) {
      uint32_t page = newBlock();
      size_t base = static_cast<size_t>(page) * kPageSize;
      PutU32(file, base, static_cast<uint32_t>(run - 1));
      for (size_t i = 0; i < run; ++i, ++child) {
        size_t at = base + kNodeHeader + i * tag.itemLength;
        PutU32(file, at, level[child].page);
        if (i + 1 < run)
          std::memcpy(file.data() + at + 4, tag.key(level[child].lastEntry), tag.keyLength);
      }
      parents.push_back({page, level[child - 1].lastEntry});
    }
    level = std::move(parents);
  }
  result.root = level.front().page;
  result.pages = Pages(file.size() - startSize);
  return result;
}

// Tag table entries form a binary search tree on the tag names: 1-based numbers of the
// smaller and greater child and of the parent, the first tag being the root.
struct Threads {
  uint8_t less = 0, greater = 0, parent = 0;
};

std::vector<Threads> TagThreads(const std::vector<PreparedTag>& tags) {
  std::vector<Threads> t(tags.size());
  for (size_t i = 1; i < tags.size(); ++i) {
    size_t at = 0;
    for (;;) {
      uint8_t& next = tags[i].name < tags[at].name ? t[at].less : t[at].greater;
      if (next == 0) {
        next = static_cast<uint8_t>(i + 1);
        t[i].parent = static_cast<uint8_t>(at + 1);
        break;
      }
      at = next - 1u;
    }
  }
  return t;
}

}  // namespace

std::string MdxNumericKey(double value) {
  if (!std::isfinite(value)) throw Error("A number that is not finite cannot be indexed.");
  std::string key(kNumericKeyLength, '\0');
  EncodeNumber(value, key.data());
  return key;
}

std::string BuildMdx(const std::string& dbfBaseName, const std::vector<MdxTagInput>& tags, int year,
                     int month, int day) {
  if (tags.size() > kMaxTags) throw Error("An index file holds 47 tags at most.");
  std::vector<PreparedTag> prepared;
  prepared.reserve(tags.size());
  for (const MdxTagInput& in : tags) {
    prepared.push_back(Prepare(in));
    for (size_t i = 0; i + 1 < prepared.size(); ++i)
      if (prepared[i].name == prepared.back().name)
        throw Error("Index tag " + prepared.back().name + " is defined twice.");
  }

  // Every level has at most half the blocks of the one below, so this is room enough.
  size_t blocks = 0;
  for (const PreparedTag& tag : prepared) blocks += 1 + 2 * (tag.size() / tag.keysPerBlock + 1);
  std::string file;
  file.reserve(kFileHeaderSize + blocks * kBlockSize);
  file.resize(kFileHeaderSize, '\0');
  file[0] = 2;  // dBase IV
  PutDate(file, 1, year, month, day);
  std::string name = UpperAscii(dbfBaseName).substr(0, 16);
  file.replace(4, name.size(), name);
  PutU16(file, 20, kPagesPerBlock);
  PutU16(file, 22, kBlockSize);
  file[24] = 1;  // production index
  file[25] = static_cast<char>(kTagTableEntries);
  file[26] = static_cast<char>(kTagEntrySize);
  PutU16(file, 28, static_cast<uint32_t>(prepared.size()));
  file[30] = static_cast<char>(prepared.size() + 1);  // number the next tag would get
  file[31] = 0x1B;                                    // constant seen in files written by dBase
  PutDate(file, 44, year, month, day);
  file[529] = 0x01;  // likewise

  std::vector<Threads> threads = TagThreads(prepared);
  for (size_t t = 0; t < prepared.size(); ++t) {
    const PreparedTag& tag = prepared[t];
    const MdxTagInput& in = *tag.input;
    const char keyType = in.numeric ? 'N' : 'C';

    uint32_t headerPage = Pages(file.size());
    file.resize(file.size() + kBlockSize, '\0');
    TreeResult tree = AppendTree(file, tag);

    size_t e = kTagTableOffset + t * kTagEntrySize;
    PutU32(file, e, headerPage);
    file.replace(e + 4, tag.name.size(), tag.name);
    file[e + 15] = 0x10;  // key is a field
    file[e + 16] = static_cast<char>(threads[t].less);
    file[e + 17] = static_cast<char>(threads[t].greater);
    file[e + 18] = static_cast<char>(threads[t].parent);
    file[e + 19] = 0x02;
    file[e + 20] = keyType;

    size_t h = static_cast<size_t>(headerPage) * kPageSize;
    PutU32(file, h, tree.root);
    PutU32(file, h + 4, tree.pages);
    file[h + 8] = static_cast<char>(0x10 | (in.descending ? 0x08 : 0));
    file[h + 9] = keyType;
    file[h + 11] = 0x1B;
    PutU16(file, h + 12, static_cast<uint32_t>(tag.keyLength));
    PutU16(file, h + 14, static_cast<uint32_t>(tag.keysPerBlock));
    PutU16(file, h + 16, 0);  // secondary key type: character or numeric
    PutU16(file, h + 18, static_cast<uint32_t>(tag.itemLength));
    file[h + 20] = 0x01;  // change counter
    file[h + 23] = 0;     // not unique
    file.replace(h + 24, in.fieldName.size(), in.fieldName);
    file[h + 245] = 0;  // no filter
    file[h + 246] = tag.size() == 0 ? 0 : 1;
    PutU32(file, h + 248, tree.firstLeaf);
    PutU32(file, h + 252, tree.lastLeaf);
    PutDate(file, h + 257, year, month, day);
    file[h + 480] = 0x01;  // the expression is a single field
  }

  PutU32(file, 32, Pages(file.size()));
  PutU32(file, 36, 0);  // no free pages
  PutU32(file, 40, 0);
  return file;
}

}  // namespace orvenda
