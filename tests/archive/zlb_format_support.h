#pragma once

// An archive reader and writer of the tests' own, written from the byte layout with zlib alone,
// so that the component is checked against the format and not against itself.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvenda::test {

struct RawEntry {
  std::string name;
  std::string directory;
  std::int32_t size = 0;       // uncompressed
  std::int32_t blockSize = 0;  // in the file
  std::int32_t offset = 0;
  std::uint32_t crc = 0;
  std::uint8_t stored = 0;
  std::uint8_t level = 0;
  std::string raw;  // the 532 bytes as read
};

struct RawArchive {
  std::uint32_t crc = 0;
  std::int32_t count = 0;
  std::int32_t constant = 0;
  std::int32_t registrySize = 0;
  std::int32_t registryOffset = 0;
  std::uint8_t registryFlag = 0;
  std::string trailer;   // the 36 bytes
  std::string registry;  // entries as stored in the file (compressed or not)
  std::vector<RawEntry> entries;
};

std::uint32_t Crc(const std::string& bytes);
std::string Deflate(const std::string& bytes, int level);  // zlib wrapper, window 15, memlevel 8
std::string Inflate(const std::string& stream);            // a whole zlib stream; throws if bad
std::uint32_t GetU32(const std::string& bytes, std::size_t at);
void PutU32(std::string& bytes, std::size_t at, std::uint32_t value);

// Parses a whole archive; throws std::runtime_error when it does not follow the layout.
RawArchive Parse(const std::string& archive);
// The member's contents (inflated when not stored).
std::string MemberContents(const std::string& archive, const RawEntry& entry);

// Encodes an entry: length-prefixed texts, zero filled.
std::string EncodeEntry(const RawEntry& entry);
// Member area + registry (a zlib stream at `level`, or stored when level < -1) + trailer.
std::string Assemble(const std::string& members, const std::vector<RawEntry>& entries,
                     int level = 9);
// A plain member list made into an archive: each deflated at level 9 or stored as given.
struct Member {
  std::string name;
  std::string contents;
  bool stored = false;
  std::string directory;
};
std::string BuildArchive(const std::vector<Member>& members);
// Test contents: table-like windows-1250 text that compresses well, and bytes that do not.
std::string TableText(std::size_t size);
std::string RandomBytes(std::size_t size, unsigned seed);

// Recomputes the trailer CRC after the bytes before it were changed.
void FixCrc(std::string& archive);

}  // namespace orvenda::test
