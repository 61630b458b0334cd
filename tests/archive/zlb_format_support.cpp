#include "archive/zlb_format_support.h"

#include <zlib.h>

#include <random>
#include <stdexcept>

#include "base/cp1250.h"

namespace orvenda::test {

std::uint32_t Crc(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string Deflate(const std::string& bytes, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&z, bytes.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

std::string Inflate(const std::string& stream) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit");
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  std::string out;
  char buffer[65536];
  int result;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    result = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  } while (result == Z_OK);
  const bool whole = result == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  if (!whole) throw std::runtime_error("not one whole zlib stream");
  return out;
}

std::uint32_t GetU32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>(value >> (8 * i));
}

namespace {

std::string ShortString(const std::string& field) {
  const auto size = static_cast<unsigned char>(field[0]);
  for (std::size_t i = 1 + size; i < field.size(); ++i) {
    if (field[i] != '\0') throw std::runtime_error("bytes after a text are not zero");
  }
  return field.substr(1, size);
}

}  // namespace

RawArchive Parse(const std::string& archive) {
  if (archive.size() < 36) throw std::runtime_error("shorter than a trailer");
  RawArchive result;
  const std::size_t body = archive.size() - 36;
  result.trailer = archive.substr(body);
  result.crc = GetU32(archive, body);
  result.count = static_cast<std::int32_t>(GetU32(archive, body + 4));
  result.constant = static_cast<std::int32_t>(GetU32(archive, body + 8));
  result.registrySize = static_cast<std::int32_t>(GetU32(archive, body + 12));
  result.registryOffset = static_cast<std::int32_t>(GetU32(archive, body + 16));
  result.registryFlag = static_cast<std::uint8_t>(archive[body + 20]);
  for (std::size_t i = 21; i < 36; ++i) {
    if (archive[body + i] != '\0') throw std::runtime_error("trailer padding is not zero");
  }
  if (result.crc != Crc(archive.substr(0, body))) throw std::runtime_error("trailer CRC");
  if (result.registryOffset < 0 || static_cast<std::size_t>(result.registryOffset) > body) {
    throw std::runtime_error("registry offset");
  }
  result.registry = archive.substr(result.registryOffset, body - result.registryOffset);
  const std::string entries = result.registryFlag == 1 ? Inflate(result.registry) : result.registry;
  if (entries.size() != static_cast<std::size_t>(result.count) * 532) {
    throw std::runtime_error("registry size does not match the count");
  }
  for (int i = 0; i < result.count; ++i) {
    RawEntry entry;
    entry.raw = entries.substr(static_cast<std::size_t>(i) * 532, 532);
    entry.name = ShortString(entry.raw.substr(0, 256));
    entry.directory = ShortString(entry.raw.substr(256, 256));
    entry.size = static_cast<std::int32_t>(GetU32(entry.raw, 512));
    entry.blockSize = static_cast<std::int32_t>(GetU32(entry.raw, 516));
    entry.offset = static_cast<std::int32_t>(GetU32(entry.raw, 520));
    entry.crc = GetU32(entry.raw, 524);
    entry.stored = static_cast<std::uint8_t>(entry.raw[528]);
    entry.level = static_cast<std::uint8_t>(entry.raw[529]);
    if (entry.raw[530] != '\0' || entry.raw[531] != '\0') {
      throw std::runtime_error("entry padding is not zero");
    }
    result.entries.push_back(entry);
  }
  return result;
}

std::string MemberContents(const std::string& archive, const RawEntry& entry) {
  const std::string block = archive.substr(entry.offset, entry.blockSize);
  return entry.stored ? block : Inflate(block);
}

std::string EncodeEntry(const RawEntry& entry) {
  std::string bytes(532, '\0');
  bytes[0] = static_cast<char>(entry.name.size());
  bytes.replace(1, entry.name.size(), entry.name);
  bytes[256] = static_cast<char>(entry.directory.size());
  bytes.replace(257, entry.directory.size(), entry.directory);
  PutU32(bytes, 512, static_cast<std::uint32_t>(entry.size));
  PutU32(bytes, 516, static_cast<std::uint32_t>(entry.blockSize));
  PutU32(bytes, 520, static_cast<std::uint32_t>(entry.offset));
  PutU32(bytes, 524, entry.crc);
  bytes[528] = static_cast<char>(entry.stored);
  bytes[529] = static_cast<char>(entry.level);
  return bytes;
}

std::string Assemble(const std::string& members, const std::vector<RawEntry>& entries, int level) {
  std::string registry;
  for (const auto& entry : entries) registry += EncodeEntry(entry);
  const bool compressed = level >= -1;
  if (compressed) registry = Deflate(registry, level);
  std::string archive = members + registry;
  std::string trailer(36, '\0');
  PutU32(trailer, 4, static_cast<std::uint32_t>(entries.size()));
  PutU32(trailer, 8, 1);
  PutU32(trailer, 12, compressed ? static_cast<std::uint32_t>(registry.size()) : 0);
  PutU32(trailer, 16, static_cast<std::uint32_t>(members.size()));
  trailer[20] = compressed ? 1 : 0;
  PutU32(trailer, 0, Crc(archive));
  return archive + trailer;
}

std::string BuildArchive(const std::vector<Member>& members) {
  std::string area;
  std::vector<RawEntry> entries;
  for (const auto& member : members) {
    RawEntry entry;
    entry.name = member.name;
    entry.directory = member.directory;
    entry.size = static_cast<std::int32_t>(member.contents.size());
    entry.crc = Crc(member.contents);
    entry.offset = static_cast<std::int32_t>(area.size());
    entry.stored = member.stored ? 1 : 0;
    entry.level = member.stored ? 0 : 3;
    const std::string block = member.stored ? member.contents : Deflate(member.contents, 9);
    entry.blockSize = static_cast<std::int32_t>(block.size());
    area += block;
    entries.push_back(entry);
  }
  return Assemble(area, entries);
}

std::string TableText(std::size_t size) {
  const std::string words[] = {W("Pracoviště"),    W("Riziko pádu"), W("Ochranné brýle"),
                               W("Žluťoučký kůň"), "ABC-123",        W("Hluk"),
                               W("Úraz")};
  std::string text;
  std::mt19937 random(7);
  while (text.size() < size) {
    text += std::to_string(text.size() % 977) + ';' + words[random() % 7] + ';' +
            words[random() % 7] + "\r\n";
  }
  text.resize(size);
  return text;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (auto& b : bytes) b = static_cast<char>(random());
  return bytes;
}

void FixCrc(std::string& archive) {
  const std::size_t body = archive.size() - 36;
  PutU32(archive, body, Crc(archive.substr(0, body)));
}

}  // namespace orvenda::test
