#pragma once

#include <cerrno>
#include <cstring>

// What the archive's source files share: the texts, the file and zlib helpers, and the member
// on its way out of the archive. Nothing outside src/archive includes it.

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/zlb_archive.h"
#include "archive/zlb_crc32.h"
#include "archive/zlb_names.h"

namespace orvenda {
namespace zlb_detail {

inline constexpr const char* kNotFound = "Archive file not found";
inline constexpr const char* kUnableToOpen = "Unable to open file (%s)";
inline constexpr const char* kCorrupted = "The archive file appears to be corrupted";
inline constexpr const char* kListUnreadable = "Unable to read archive file list";
inline constexpr const char* kNotOpen = "No archive is currently open";
inline constexpr const char* kOutOfBounds = "Index out of bounds";
inline constexpr const char* kDestinationPath = "Unable to create destination path";
inline constexpr const char* kMemberCorrupt = "File (%d) is corrupt";
inline constexpr const char* kFileExists = "File already exists";
inline constexpr const char* kDuplicate = "%s already exists in the archive";
inline constexpr const char* kUnableToWrite = "Unable to write file (%s)";
inline constexpr const char* kTooLarge = "Archive file too large";

inline constexpr const char* kRegistryReading = "Extracting archive registry";
inline constexpr const char* kRegistryWriting = "Writing archive registry";
inline constexpr const char* kUpdating = "Updating %s";
inline constexpr const char* kExtracting = "Extracting %s";

inline constexpr std::int64_t kMaxOffset = INT32_MAX;
inline constexpr std::size_t kIoBlock = 1 << 20;        // reads of whole files (CRC, copies)
inline constexpr std::size_t kInflateBlock = 1 << 18;   // inflate input and output pieces
inline constexpr std::int64_t kProgressPiece = 4096;    // progress step of reading phases
inline constexpr std::int64_t kMaxInflateRatio = 1032;  // deflate cannot expand more than this

std::string Fill(const char* pattern, std::string_view value);
std::string FillName(const char* pattern, const std::filesystem::path& file);
// The system's reason for the failure just seen (": No space left on device"), for the texts
// of failed writes; "" when errno says nothing.
inline std::string OsReason() { return errno != 0 ? std::string(": ") + std::strerror(errno) : ""; }
[[noreturn]] void MemberCorrupt(std::int32_t index);

inline std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
  return FastCrc32(crc, static_cast<const unsigned char*>(data), size);
}

// done / total * 100 to the nearest whole number, halves to the even neighbour.
int RoundedPercent(std::int64_t done, std::int64_t total);

// Whether an entry names the same member, letter case ignored.
bool SameName(const TZLBFileEntry& entry, const ZlbMemberName& name);

// ---- files ----

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Fd() { Reset(); }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Closes and says whether the kernel accepted the last writes.
  bool Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_ = -1;
};

inline Fd OpenForReading(const std::filesystem::path& file) {
  return Fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
}

// Reads up to `size` bytes at `offset`; fewer only at the end of the file; -1 on error.
std::int64_t ReadAt(int fd, void* buffer, std::size_t size, std::int64_t offset);
bool WriteAll(int fd, const void* data, std::size_t size);
bool WriteAllAt(int fd, const void* data, std::size_t size, std::int64_t offset);

// Hands progress of a reading phase on every piece of kProgressPiece bytes.
class PieceProgress {
 public:
  PieceProgress(const TZLBArchive::TProgressEvent& event, std::string text, std::int64_t total)
      : event_(event), text_(std::move(text)), total_(total) {}
  void Advance(std::int64_t done) {
    while (reported_ < total_) {
      const std::int64_t next = std::min(reported_ + kProgressPiece, total_);
      if (next > done) break;
      reported_ = next;
      if (event_) event_(text_, RoundedPercent(reported_, total_));
    }
  }

 private:
  const TZLBArchive::TProgressEvent& event_;
  std::string text_;
  std::int64_t total_;
  std::int64_t reported_ = 0;
};

// Scratch memory for file pieces; not cleared, it is always written before it is read.
class Buffer {
 public:
  explicit Buffer(std::size_t size) : bytes_(new unsigned char[size]) {}
  unsigned char* data() { return bytes_.get(); }

 private:
  std::unique_ptr<unsigned char[]> bytes_;
};

// A zlib header of deflate data with a window zlib can take and no preset dictionary.
inline bool PlainZlibHeader(const unsigned char header[2]) {
  return (header[0] & 0x0F) == Z_DEFLATED && (header[0] >> 4) <= 7 && (header[1] & 0x20) == 0 &&
         ((header[0] << 8) | header[1]) % 31 == 0;
}

// A z_stream for inflating that ends itself once it was started.
struct InflateState {
  InflateState() = default;
  InflateState(const InflateState&) = delete;
  InflateState& operator=(const InflateState&) = delete;
  ~InflateState() {
    if (ready) inflateEnd(&z);
  }
  z_stream z{};
  bool ready = false;
};

// Inflates exactly `want` bytes from the zlib stream at [offset, offset + limit) of `fd` into
// the buffers of `output`: Buffer() and Room() say where the next bytes go, Filled(n) takes n
// bytes written there. Returns false when the stream is damaged or ends (or runs out of input)
// early. The bytes after `want` are not looked at. With `adler` off the stream's own Adler-32
// is not computed: the caller checks the member's CRC-32 instead, and the second checksum
// would cost a tenth of the inflate.
template <typename Output>
bool InflateStream(int fd, std::int64_t offset, std::int64_t limit, std::int64_t want,
                   Output& output, bool adler) {
  if (want == 0) return true;
  InflateState stream;
  z_stream& z = stream.z;
  const auto inSize = static_cast<std::size_t>(std::min<std::int64_t>(kInflateBlock, limit));
  Buffer in(inSize);
  std::int64_t consumed = 0;
  std::int64_t produced = 0;
  if (adler) {
    if (inflateInit(&z) != Z_OK) return false;
  } else {
    // The zlib header by hand, then the raw deflate data; the trailer after it is not read.
    if (limit < 2) return false;
    unsigned char header[2];
    if (ReadAt(fd, header, 2, offset) != 2 || !PlainZlibHeader(header)) return false;
    consumed = 2;
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  }
  stream.ready = true;
  while (produced < want) {
    if (z.avail_in == 0 && consumed < limit) {
      const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(inSize, limit - consumed));
      if (ReadAt(fd, in.data(), piece, offset + consumed) != static_cast<std::int64_t>(piece)) {
        return false;
      }
      consumed += static_cast<std::int64_t>(piece);
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(piece);
    }
    const auto room = static_cast<uInt>(
        std::min<std::int64_t>(static_cast<std::int64_t>(output.Room()), want - produced));
    const uInt inBefore = z.avail_in;
    z.next_out = output.Buffer();
    z.avail_out = room;
    const int result = inflate(&z, Z_NO_FLUSH);
    const std::size_t got = room - z.avail_out;
    if (got > 0) {
      produced += static_cast<std::int64_t>(got);
      output.Filled(got);
    }
    if (result == Z_STREAM_END) return produced == want;
    if (result != Z_OK && result != Z_BUF_ERROR) return false;
    if (got == 0 && z.avail_in == inBefore && (z.avail_in > 0 || consumed >= limit)) return false;
  }
  return true;
}

bool InflateRange(int fd, std::int64_t offset, std::int64_t limit, std::int64_t want,
                  const std::function<void(const unsigned char*, std::size_t)>& sink,
                  bool adler = true);

// Copies [offset, offset + size) of `fd` to `sink`; false when the file ends early.
bool CopyRange(int fd, std::int64_t offset, std::int64_t size,
               const std::function<void(const unsigned char*, std::size_t)>& sink);

// A stretch of a deflated member that inflates without what comes before it, and where its
// bytes go in the member.
struct Segment {
  std::size_t from = 0, to = 0;  // in the member's compressed bytes
  std::int64_t offset = 0, size = 0;
};

// A big member cut into segments that inflate side by side.
struct SegmentPlan {
  std::string compressed;
  std::vector<Segment> segments;
  std::atomic<bool> failed{false};  // a segment did not come out as planned
};

}  // namespace zlb_detail

// One member on its way to disk. Its unpacking and the writing of its pieces may run on other
// threads; everything else, the callbacks included, runs on the caller's.
struct TZLBArchive::MemberJob {
  std::int32_t index = 0;
  TZLBFileEntry entry;
  std::filesystem::path destination;
  zlb_detail::Fd out;
  std::atomic<std::int64_t> written{0};
  std::atomic<bool> finished{false};
  bool whole = false;
  std::uint32_t crc = 0;
  std::exception_ptr error;
  // The pieces still to write, plus one for each unpacking (the whole stream, or each
  // segment) not yet done: whoever brings it to zero finishes the member.
  std::atomic<int> outstanding{1};
  std::mutex pieceMutex;  // guards `pieceCrcs` and `error` while pieces are written
  std::vector<std::pair<std::int64_t, std::uint32_t>> pieceCrcs;  // offset, CRC-32 of the piece
  bool crcKnown = false;  // `crc` was summed in one pass, not from the pieces
  std::unique_ptr<zlb_detail::SegmentPlan> plan;
};

}  // namespace orvenda
