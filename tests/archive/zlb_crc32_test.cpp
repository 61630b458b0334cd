// The members' checksum folded with carry-less multiplies must be zlib's crc32 to the bit:
// a member that differs would pass as sound, a sound one would be refused.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <string>

#include "archive/zlb_crc32.h"
#include "archive/zlb_format_support.h"

namespace orvenda {
namespace {

using zlb_detail::FastCrc32;

std::uint32_t ZlibCrc(std::uint32_t crc, const unsigned char* data, std::size_t size) {
  return static_cast<std::uint32_t>(crc32(crc, data, static_cast<uInt>(size)));
}

const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

TEST(ZlbCrc32, EqualsZlibForEveryLengthAlignmentAndStartValue) {
  const std::string data = test::RandomBytes(5000, 3);
  // Lengths around the short-piece limit, the 16- and 64-byte folds and their remainders;
  // odd offsets make every load unaligned.
  for (std::size_t offset : {0u, 1u, 7u, 16u}) {
    for (std::size_t size = 0; size <= 1100; size += (size < 300 ? 1 : 37)) {
      for (std::uint32_t start : {0u, 0xFFFFFFFFu, 0x12345678u}) {
        const unsigned char* p = Bytes(data) + offset;
        ASSERT_EQ(FastCrc32(start, p, size), ZlibCrc(start, p, size))
            << "offset " << offset << ", size " << size << ", start " << start;
      }
    }
  }
  // A big piece, and the same bytes summed in uneven pieces.
  const std::string big = test::RandomBytes((1 << 20) + 13, 4);
  const std::uint32_t whole = ZlibCrc(0, Bytes(big), big.size());
  EXPECT_EQ(FastCrc32(0, Bytes(big), big.size()), whole);
  std::uint32_t pieces = 0;
  for (std::size_t at = 0, step = 1; at < big.size(); at += step, step = step * 3 + 1) {
    const std::size_t n = std::min(step, big.size() - at);
    pieces = FastCrc32(pieces, Bytes(big) + at, n);
  }
  EXPECT_EQ(pieces, whole);
}

TEST(ZlbCrc32, TellsAFlippedBitOrSwappedBlocks) {
  std::string data = test::RandomBytes(4096, 5);
  const std::uint32_t sound = FastCrc32(0, Bytes(data), data.size());
  EXPECT_EQ(sound, ZlibCrc(0, Bytes(data), data.size()));
  std::string flipped = data;
  flipped[2049] ^= 0x10;
  EXPECT_NE(FastCrc32(0, Bytes(flipped), flipped.size()), sound);
  std::string swapped = data.substr(64, 64) + data.substr(0, 64) + data.substr(128);
  EXPECT_NE(FastCrc32(0, Bytes(swapped), swapped.size()), sound);
  // Zeros at the end change the sum too: a member cut short and padded is not the member.
  const std::string padded = data + std::string(64, '\0');
  EXPECT_NE(FastCrc32(0, Bytes(padded), padded.size()), sound);
}

}  // namespace
}  // namespace orvenda
