#include "archive/zlb_archive.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "archive/parallel_deflate.h"
#include "archive/zlb_names.h"
#include "base/cp1250.h"
#include "base/error.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

constexpr const char* kNotFound = "Archive file not found";
constexpr const char* kUnableToOpen = "Unable to open file (%s)";
constexpr const char* kCorrupted = "The archive file appears to be corrupted";
constexpr const char* kListUnreadable = "Unable to read archive file list";
constexpr const char* kNotOpen = "No archive is currently open";
constexpr const char* kOutOfBounds = "Index out of bounds";
constexpr const char* kDestinationPath = "Unable to create destination path";
constexpr const char* kMemberCorrupt = "File (%d) is corrupt";
constexpr const char* kFileExists = "File already exists";
constexpr const char* kDuplicate = "%s already exists in the archive";
constexpr const char* kUnableToWrite = "Unable to write file (%s)";
constexpr const char* kTooLarge = "Archive file too large";

constexpr const char* kRegistryReading = "Extracting archive registry";
constexpr const char* kRegistryWriting = "Writing archive registry";
constexpr const char* kUpdating = "Updating %s";
constexpr const char* kExtracting = "Extracting %s";

constexpr std::int64_t kMaxOffset = INT32_MAX;
constexpr std::size_t kIoBlock = 1 << 20;        // reads of whole files (CRC, copies)
constexpr std::size_t kInflateBlock = 1 << 18;   // inflate input and output pieces
constexpr std::size_t kDeflateBuffer = 65536;    // compressed output; progress follows its fills
constexpr std::int64_t kProgressPiece = 4096;    // progress step of reading phases
constexpr std::int64_t kMaxInflateRatio = 1032;  // deflate cannot expand more than this
// Below this much to unpack, threads cost more than they save.
constexpr std::int64_t kParallelExtractMin = 8 << 20;

// Ends a helper's member early when the extraction as a whole has failed.
struct Stopped {};

std::string Fill(const char* pattern, std::string_view value) {
  std::string text(pattern);
  const std::size_t at = text.find('%');
  text.replace(at, 2, value);
  return text;
}

std::string FillName(const char* pattern, const fs::path& file) {
  return Fill(pattern, PathToText(file));
}

[[noreturn]] void MemberCorrupt(std::int32_t index) {
  throw Error(Fill(kMemberCorrupt, std::to_string(index)));
}

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
  return static_cast<std::uint32_t>(
      crc32(crc, static_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

int ZlibLevel(TFileCompressionLevel level) {
  switch (level) {
    case TFileCompressionLevel::fcNone:
      return 0;
    case TFileCompressionLevel::fcFastest:
      return 1;
    case TFileCompressionLevel::fcMaximum:
      return 9;
    case TFileCompressionLevel::fcDefault:
      break;
  }
  return Z_DEFAULT_COMPRESSION;
}

// done / total * 100 to the nearest whole number, halves to the even neighbour.
int RoundedPercent(std::int64_t done, std::int64_t total) {
  const std::int64_t scaled = done * 100;
  std::int64_t whole = scaled / total;
  const std::int64_t rest = scaled % total;
  if (2 * rest > total || (2 * rest == total && (whole & 1) != 0)) ++whole;
  return static_cast<int>(whole);
}

void PutInt(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t GetInt(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void PutShortString(unsigned char* field, std::string_view text) {
  const std::size_t size = std::min<std::size_t>(text.size(), 255);
  field[0] = static_cast<unsigned char>(size);
  std::memcpy(field + 1, text.data(), size);
}

std::string GetShortString(const unsigned char* field) {
  return std::string(reinterpret_cast<const char*>(field + 1), field[0]);
}

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

Fd OpenForReading(const fs::path& file) { return Fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC)); }

// Reads up to `size` bytes at `offset`; fewer only at the end of the file; -1 on error.
std::int64_t ReadAt(int fd, void* buffer, std::size_t size, std::int64_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd, static_cast<char*>(buffer) + done, size - done,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t put = ::write(fd, at, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool WriteAllAt(int fd, const void* data, std::size_t size, std::int64_t offset) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t put = ::pwrite(fd, at, size, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += put;
    size -= static_cast<std::size_t>(put);
    offset += put;
  }
  return true;
}

void SyncDirectoryOf(const fs::path& file) {
  fs::path dir = file.parent_path();
  if (dir.empty()) dir = ".";
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.get());  // the rename is done; a failure here only weakens durability
}

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

// ---- zlib ----

class Deflater {
 public:
  using Sink = std::function<void(const unsigned char*, std::size_t)>;
  // `onFullBuffer` gets the input consumed so far each time a whole output buffer is handed on.
  Deflater(int level, Sink sink, std::function<void(std::int64_t)> onFullBuffer)
      : sink_(std::move(sink)), onFullBuffer_(std::move(onFullBuffer)), out_(kDeflateBuffer) {
    if (deflateInit2(&stream_, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::bad_alloc();
    }
    stream_.next_out = out_.data();
    stream_.avail_out = kDeflateBuffer;
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void Feed(const void* data, std::size_t size) { Run(data, size, Z_NO_FLUSH); }
  void Finish() { Run(nullptr, 0, Z_FINISH); }
  std::int64_t TotalOut() const { return static_cast<std::int64_t>(stream_.total_out); }

 private:
  void Run(const void* data, std::size_t size, int flush) {
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream_.avail_in = static_cast<uInt>(size);
    for (;;) {
      const int result = deflate(&stream_, flush);
      if (result == Z_STREAM_ERROR) throw std::runtime_error("deflate");
      if (stream_.avail_out == 0) {
        sink_(out_.data(), kDeflateBuffer);
        stream_.next_out = out_.data();
        stream_.avail_out = kDeflateBuffer;
        if (onFullBuffer_) onFullBuffer_(static_cast<std::int64_t>(stream_.total_in));
        continue;
      }
      if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_in == 0) break;
      if (result == Z_BUF_ERROR) throw std::runtime_error("deflate");
    }
    if (flush == Z_FINISH) {
      const std::size_t pending = kDeflateBuffer - stream_.avail_out;
      if (pending > 0) sink_(out_.data(), pending);
      stream_.next_out = out_.data();
      stream_.avail_out = kDeflateBuffer;
    }
  }

  z_stream stream_{};
  Sink sink_;
  std::function<void(std::int64_t)> onFullBuffer_;
  std::vector<unsigned char> out_;
};

// A zlib header of deflate data with a window zlib can take and no preset dictionary.
bool PlainZlibHeader(const unsigned char header[2]) {
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
                  bool adler = true) {
  // One buffer, handed to the sink after every inflate call.
  struct Output {
    Output(std::size_t size, const std::function<void(const unsigned char*, std::size_t)>& s)
        : buffer(size), room(size), sink(s) {}
    unsigned char* Buffer() { return buffer.data(); }
    std::size_t Room() const { return room; }
    void Filled(std::size_t n) { sink(buffer.data(), n); }
    orvenda::Buffer buffer;
    std::size_t room;
    const std::function<void(const unsigned char*, std::size_t)>& sink;
  } output(static_cast<std::size_t>(
               std::min<std::int64_t>(kInflateBlock, std::max<std::int64_t>(want, 1))),
           sink);
  return InflateStream(fd, offset, limit, want, output, adler);
}

// Copies [offset, offset + size) of `fd` to `sink`; false when the file ends early.
bool CopyRange(int fd, std::int64_t offset, std::int64_t size,
               const std::function<void(const unsigned char*, std::size_t)>& sink) {
  Buffer buffer(static_cast<std::size_t>(std::min<std::int64_t>(kIoBlock, size)));
  std::int64_t done = 0;
  while (done < size) {
    const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(kIoBlock, size - done));
    if (ReadAt(fd, buffer.data(), piece, offset + done) != static_cast<std::int64_t>(piece)) {
      return false;
    }
    sink(buffer.data(), piece);
    done += static_cast<std::int64_t>(piece);
  }
  return true;
}

// ---- the archive being written ----

bool LockedAsNamed(int fd, const fs::path& path) {
  struct stat held {
  }, named{};
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
         ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

// A temporary file beside the archive that becomes the archive by a rename.
class ArchiveOutput {
 public:
  struct Mark {
    std::int64_t size;
    std::uint32_t crc;
  };

  explicit ArchiveOutput(const fs::path& target) : target_(target) {
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    fs::path dir = target.parent_path();
    // Named after the archive, so that a file left by a crash explains itself.
    const std::string base =
        target.filename().string().size() <= 200 ? target.filename().string() + "." : "";
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100 && !fd_; ++attempt) {
      std::string name = base + "ZLB";
      for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
      path_ = dir / name;
      // 0666 under the umask, as a newly created archive would get.
      fd_ = Fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (!fd_ && errno != EEXIST) break;
      // Locked until it is renamed into place, so that a later run's clean-up of what crashed
      // saves left can tell it from those. Such a clean-up may have taken the name first.
      if (fd_ && !LockedAsNamed(fd_.get(), path_)) fd_.Reset();
    }
    if (!fd_) throw Error(FillName(kUnableToWrite, target));
    if (replacing) ::fchmod(fd_.get(), old.st_mode & 07777);
  }

  ~ArchiveOutput() {
    if (fd_) {
      fd_.Reset();
      ::unlink(path_.c_str());
    }
  }
  ArchiveOutput(const ArchiveOutput&) = delete;
  ArchiveOutput& operator=(const ArchiveOutput&) = delete;

  void Append(const void* data, std::size_t size) {
    if (!WriteAll(fd_.get(), data, size)) throw Error(FillName(kUnableToWrite, target_));
    crc_ = Crc32(crc_, data, size);
    size_ += static_cast<std::int64_t>(size);
  }

  Mark GetMark() const { return {size_, crc_}; }
  void Rollback(const Mark& mark) {
    if (::ftruncate(fd_.get(), static_cast<off_t>(mark.size)) != 0 ||
        ::lseek(fd_.get(), static_cast<off_t>(mark.size), SEEK_SET) < 0) {
      throw Error(FillName(kUnableToWrite, target_));
    }
    size_ = mark.size;
    crc_ = mark.crc;
  }

  std::int64_t Size() const { return size_; }
  std::uint32_t Crc() const { return crc_; }

  // Flushes the file to disk and renames it over the archive. The file stays open, and so
  // locked, until it has its final name.
  void Commit() {
    if (::fsync(fd_.get()) != 0 || ::rename(path_.c_str(), target_.c_str()) != 0) {
      ::unlink(path_.c_str());
      fd_.Reset();
      throw Error(FillName(kUnableToWrite, target_));
    }
    fd_.Reset();  // written and synced: a late close error has nothing left to lose
    SyncDirectoryOf(target_);
  }

 private:
  fs::path target_;
  fs::path path_;
  Fd fd_;
  std::int64_t size_ = 0;
  std::uint32_t crc_ = 0;
};

// Holds a member's compressed form until it is known to be the smaller one.
class CompressedBuffer {
 public:
  virtual ~CompressedBuffer() = default;
  virtual void Write(const unsigned char* data, std::size_t size) = 0;
  virtual void CopyTo(ArchiveOutput& out) = 0;
};

class MemoryBuffer : public CompressedBuffer {
 public:
  void Write(const unsigned char* data, std::size_t size) override {
    bytes_.append(reinterpret_cast<const char*>(data), size);
  }
  void CopyTo(ArchiveOutput& out) override { out.Append(bytes_.data(), bytes_.size()); }

 private:
  std::string bytes_;
};

// A temporary file, removed with the buffer.
class FileBuffer : public CompressedBuffer {
 public:
  explicit FileBuffer(fs::path path) : path_(std::move(path)) {
    fd_ = Fd(::open(path_.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC));
    if (!fd_) {
      ::unlink(path_.c_str());
      throw Error(FillName(kUnableToOpen, path_));
    }
  }
  ~FileBuffer() override {
    fd_.Reset();
    ::unlink(path_.c_str());
  }
  void Write(const unsigned char* data, std::size_t size) override {
    if (!WriteAll(fd_.get(), data, size)) throw Error(FillName(kUnableToWrite, path_));
    size_ += static_cast<std::int64_t>(size);
  }
  void CopyTo(ArchiveOutput& out) override {
    const bool whole =
        CopyRange(fd_.get(), 0, size_,
                  [&](const unsigned char* data, std::size_t n) { out.Append(data, n); });
    if (!whole) throw Error(FillName(kUnableToOpen, path_));
  }

 private:
  fs::path path_;
  Fd fd_;
  std::int64_t size_ = 0;
};

bool SameName(const TZLBFileEntry& entry, const ZlbMemberName& name) {
  return Cp1250Upper(entry.Directory + entry.FileName) ==
         Cp1250Upper(name.Directory + name.FileName);
}

}  // namespace

// ---- records ----

std::array<unsigned char, kZlbEntrySize> TZLBFileEntry::Encode() const {
  std::array<unsigned char, kZlbEntrySize> bytes{};
  PutShortString(bytes.data(), FileName);
  PutShortString(bytes.data() + 256, Directory);
  PutInt(bytes.data() + 512, static_cast<std::uint32_t>(UncompressedSize));
  PutInt(bytes.data() + 516, static_cast<std::uint32_t>(CompressedSize));
  PutInt(bytes.data() + 520, static_cast<std::uint32_t>(Offset));
  PutInt(bytes.data() + 524, Crc);
  bytes[528] = Stored ? 1 : 0;
  bytes[529] = Level;
  return bytes;
}

TZLBFileEntry TZLBFileEntry::Decode(const unsigned char* bytes) {
  TZLBFileEntry entry;
  entry.FileName = GetShortString(bytes);
  entry.Directory = GetShortString(bytes + 256);
  entry.UncompressedSize = static_cast<std::int32_t>(GetInt(bytes + 512));
  entry.CompressedSize = static_cast<std::int32_t>(GetInt(bytes + 516));
  entry.Offset = static_cast<std::int32_t>(GetInt(bytes + 520));
  entry.Crc = GetInt(bytes + 524);
  entry.Stored = bytes[528] != 0;
  entry.Level = bytes[529];
  return entry;
}

std::array<unsigned char, kZlbTrailerSize> TZLBTrailer::Encode() const {
  std::array<unsigned char, kZlbTrailerSize> bytes{};
  PutInt(bytes.data(), Crc);
  PutInt(bytes.data() + 4, static_cast<std::uint32_t>(Count));
  PutInt(bytes.data() + 8, static_cast<std::uint32_t>(Constant));
  PutInt(bytes.data() + 12, static_cast<std::uint32_t>(RegistrySize));
  PutInt(bytes.data() + 16, static_cast<std::uint32_t>(RegistryOffset));
  bytes[20] = RegistryFlag;
  return bytes;
}

TZLBTrailer TZLBTrailer::Decode(const unsigned char* bytes) {
  TZLBTrailer trailer;
  trailer.Crc = GetInt(bytes);
  trailer.Count = static_cast<std::int32_t>(GetInt(bytes + 4));
  trailer.Constant = static_cast<std::int32_t>(GetInt(bytes + 8));
  trailer.RegistrySize = static_cast<std::int32_t>(GetInt(bytes + 12));
  trailer.RegistryOffset = static_cast<std::int32_t>(GetInt(bytes + 16));
  trailer.RegistryFlag = bytes[20];
  return trailer;
}

// ---- state ----

void TZLBArchive::Clear() {
  entries_.clear();
  trailer_ = TZLBTrailer{};
  archiveName_.clear();
  newArchive_ = false;
}

void TZLBArchive::Report(const std::string& text, int percentage) const {
  if (OnProgress) OnProgress(text, percentage);
}

void TZLBArchive::CloseArchive() {
  Clear();
  Report(PathToText(archiveName_), 0);
}

std::int32_t TZLBArchive::FileCount() const {
  if (archiveName_.empty()) throw Error(kNotOpen);
  return static_cast<std::int32_t>(entries_.size());
}

TZLBFileEntry TZLBArchive::GetFileEntry(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) throw Error(kOutOfBounds);
  return entries_[static_cast<std::size_t>(index)];
}

std::int32_t TZLBArchive::IndexOfFile(const fs::path& fileName) const {
  if (archiveName_.empty()) throw Error(kNotOpen);
  const ZlbMemberName name = ZlbMemberNameOf(fileName, SavePaths);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (SameName(entries_[i], name)) return static_cast<std::int32_t>(i);
  }
  return -1;
}

// ---- opening ----

bool TZLBArchive::OpenArchive(const fs::path& fileName) {
  CloseArchive();
  if (fileName.empty()) return false;

  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) throw Error(kNotFound);
  Fd fd = OpenForReading(fileName);
  if (!fd) throw Error(FillName(kUnableToOpen, fileName));
  if (::fstat(fd.get(), &info) != 0) throw Error(FillName(kUnableToOpen, fileName));
  const std::int64_t fileSize = info.st_size;
  if (fileSize < static_cast<std::int64_t>(kZlbTrailerSize)) throw Error(kCorrupted);

  const std::int64_t body = fileSize - static_cast<std::int64_t>(kZlbTrailerSize);
  std::uint32_t crc = 0;
  const bool whole = CopyRange(fd.get(), 0, body, [&](const unsigned char* data, std::size_t n) {
    crc = Crc32(crc, data, n);
  });
  std::array<unsigned char, kZlbTrailerSize> raw{};
  if (!whole ||
      ReadAt(fd.get(), raw.data(), raw.size(), body) != static_cast<std::int64_t>(raw.size())) {
    throw Error(kCorrupted);
  }
  const TZLBTrailer trailer = TZLBTrailer::Decode(raw.data());
  if (trailer.Crc != crc) throw Error(kCorrupted);

  archiveName_ = fileName;
  trailer_ = trailer;
  try {
    ReadRegistry(fd.get(), fileSize);
    if (OnArchiveOpened) OnArchiveOpened();
  } catch (...) {
    CloseArchive();
    throw Error(kListUnreadable);
  }
  Report(PathToText(archiveName_), 0);
  return true;
}

void TZLBArchive::ReadRegistry(int fd, std::int64_t fileSize) {
  const std::int64_t offset = trailer_.RegistryOffset;
  const std::int64_t body = fileSize - static_cast<std::int64_t>(kZlbTrailerSize);
  if (trailer_.Count < 0 || offset < 0 || offset > body) throw Error(kListUnreadable);
  const std::int64_t available = body - offset;
  const std::int64_t size = static_cast<std::int64_t>(trailer_.Count) * kZlbEntrySize;
  const bool compressed = trailer_.RegistryFlag != 0;
  // A claim the file cannot hold is refused before anything is allocated for it.
  if (size > (compressed ? (available + 1) * kMaxInflateRatio : available)) {
    throw Error(kListUnreadable);
  }

  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(std::min<std::int64_t>(size, 1 << 20)));
  const auto collect = [&](const unsigned char* data, std::size_t n) {
    bytes.append(reinterpret_cast<const char*>(data), n);
  };
  bool whole;
  if (compressed) {
    PieceProgress progress(OnProgress, kRegistryReading, size);
    whole =
        InflateRange(fd, offset, available, size, [&](const unsigned char* data, std::size_t n) {
          collect(data, n);
          progress.Advance(static_cast<std::int64_t>(bytes.size()));
        });
  } else {
    whole = CopyRange(fd, offset, size, collect);
  }
  if (!whole) throw Error(kListUnreadable);

  std::vector<TZLBFileEntry> entries;
  entries.reserve(static_cast<std::size_t>(trailer_.Count));
  for (std::size_t at = 0; at < bytes.size(); at += kZlbEntrySize) {
    entries.push_back(
        TZLBFileEntry::Decode(reinterpret_cast<const unsigned char*>(bytes.data()) + at));
  }
  entries_ = std::move(entries);
}

void TZLBArchive::CreateArchive(const fs::path& fileName, bool replaceExisting) {
  CloseArchive();
  if (fileName.empty()) return;
  struct stat info {};
  if (!replaceExisting && ::stat(fileName.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
    throw Error(kFileExists);
  }
  archiveName_ = fileName;
  newArchive_ = true;
  if (OnArchiveOpened) OnArchiveOpened();
}

// ---- adding ----

fs::path TZLBArchive::MakeTempFileName() {
  const fs::path dir = TempDirectory.empty() ? fs::temp_directory_path() : TempDirectory;
  std::string pattern = (dir / "ZLBXXXXXX").string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) throw Error(FillName(kUnableToOpen, dir / "ZLB"));
  ::close(fd);
  return pattern;
}

void TZLBArchive::AddDirectory(const fs::path& directory, std::vector<fs::path>& files) {
  std::vector<fs::directory_entry> found;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    found.push_back(*it);
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  for (const auto& item : found) {
    std::error_code ec;
    // Symbolic links to directories are not followed: they could lead round in a circle.
    if (item.is_symlink(ec) && item.is_directory(ec)) continue;
    if (item.is_directory(ec)) {
      AddDirectory(item.path(), files);
    } else {
      files.push_back(item.path());
    }
  }
}

void TZLBArchive::ExpandDirectories(std::vector<fs::path>& files) {
  std::vector<fs::path> kept;
  std::vector<fs::path> found;
  for (auto& item : files) {
    std::error_code ec;
    if (fs::is_directory(item, ec)) {
      if (RecursePaths) AddDirectory(item, found);
    } else {
      kept.push_back(std::move(item));
    }
  }
  kept.insert(kept.end(), std::make_move_iterator(found.begin()),
              std::make_move_iterator(found.end()));
  files = std::move(kept);
}

// The writing half of AddFiles: one instance per call, working on a copy of the entries.
class ArchiveWriter {
 public:
  ArchiveWriter(TZLBArchive& archive, ArchiveOutput& out)
      : archive_(archive), out_(out), entries_(archive.entries_) {}

  // The member blocks of the existing archive, checked against its trailer on the way: the
  // file may have changed since it was opened.
  void CopyExisting() {
    const fs::path& name = archive_.archiveName_;
    Fd fd = OpenForReading(name);
    if (!fd) throw Error(FillName(kUnableToOpen, name));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throw Error(FillName(kUnableToOpen, name));
    const std::int64_t body = info.st_size - static_cast<std::int64_t>(kZlbTrailerSize);
    const std::int64_t members = archive_.trailer_.RegistryOffset;
    if (members < 0 || members > body) throw Error(kCorrupted);
    bool whole = CopyRange(fd.get(), 0, members,
                           [&](const unsigned char* data, std::size_t n) { out_.Append(data, n); });
    std::uint32_t crc = out_.Crc();
    whole = whole &&
            CopyRange(fd.get(), members, body - members,
                      [&](const unsigned char* data, std::size_t n) { crc = Crc32(crc, data, n); });
    std::array<unsigned char, kZlbTrailerSize> raw{};
    if (!whole ||
        ReadAt(fd.get(), raw.data(), raw.size(), body) != static_cast<std::int64_t>(raw.size()) ||
        !(TZLBTrailer::Decode(raw.data()) == archive_.trailer_) || crc != archive_.trailer_.Crc) {
      throw Error(kCorrupted);
    }
  }

  void AddMember(const fs::path& item) {
    const ZlbMemberName name = ZlbMemberNameOf(item, archive_.SavePaths);
    if (archive_.OnErrorLogged &&
        std::any_of(entries_.begin(), entries_.end(),
                    [&](const TZLBFileEntry& e) { return SameName(e, name); })) {
      archive_.OnErrorLogged(FillName(kDuplicate, item));
    }
    // Not blocking: a named pipe in the list is skipped, not waited on.
    Fd source(::open(item.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!source || ::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return Skip(item);
    }
    if (info.st_size > kMaxOffset) throw Error(kTooLarge);

    std::unique_ptr<CompressedBuffer> buffer;
    if (info.st_size <= kZlbInMemoryLimit) {
      buffer = std::make_unique<MemoryBuffer>();
    } else {
      buffer = std::make_unique<FileBuffer>(archive_.MakeTempFileName());
    }
    const std::string text = FillName(kUpdating, item);
    const std::int64_t total = info.st_size;
    const auto sink = [&](const unsigned char* data, std::size_t n) { buffer->Write(data, n); };
    const auto onFullBuffer = [&](std::int64_t consumed) {
      if (total > 0) archive_.Report(text, RoundedPercent(std::min(consumed, total), total));
    };
    // Members of more than one chunk are deflated on every core; smaller ones in one stream.
    std::optional<Deflater> serial;
    std::optional<ParallelDeflater> parallel;
    if (total > static_cast<std::int64_t>(kParallelDeflateChunk)) {
      parallel.emplace(ZlibLevel(archive_.CompressionLevel), sink, onFullBuffer);
    } else {
      serial.emplace(ZlibLevel(archive_.CompressionLevel), sink, onFullBuffer);
    }
    Buffer block(kIoBlock);
    std::int64_t size = 0;
    std::uint32_t crc = 0;
    for (;;) {
      const ssize_t got = ::read(source.get(), block.data(), kIoBlock);
      if (got < 0) {
        if (errno == EINTR) continue;
        return Skip(item);
      }
      if (got == 0) break;
      size += got;
      if (size > kMaxOffset) throw Error(kTooLarge);
      crc = Crc32(crc, block.data(), static_cast<std::size_t>(got));
      if (parallel) {
        parallel->Feed(block.data(), static_cast<std::size_t>(got));
      } else {
        serial->Feed(block.data(), static_cast<std::size_t>(got));
      }
    }
    if (parallel) {
      parallel->Finish();
    } else {
      serial->Finish();
    }
    const std::int64_t compressedSize = parallel ? parallel->TotalOut() : serial->TotalOut();

    TZLBFileEntry entry;
    entry.FileName = name.FileName;
    entry.Directory = name.Directory;
    entry.UncompressedSize = static_cast<std::int32_t>(size);
    entry.Crc = crc;
    const std::int64_t offset = out_.Size();
    if (offset > kMaxOffset) throw Error(kTooLarge);
    entry.Offset = static_cast<std::int32_t>(offset);
    if (compressedSize < size) {
      if (offset + compressedSize > kMaxOffset) throw Error(kTooLarge);
      buffer->CopyTo(out_);
      entry.CompressedSize = static_cast<std::int32_t>(compressedSize);
      entry.Stored = false;
      entry.Level = static_cast<std::uint8_t>(archive_.CompressionLevel);
    } else {
      if (offset + size > kMaxOffset) throw Error(kTooLarge);
      // The contents are read a second time; they must still be what was checksummed.
      const ArchiveOutput::Mark mark = out_.GetMark();
      std::uint32_t again = 0;
      const bool whole =
          CopyRange(source.get(), 0, size, [&](const unsigned char* data, std::size_t n) {
            again = Crc32(again, data, n);
            out_.Append(data, n);
          });
      if (!whole || again != crc) {
        out_.Rollback(mark);
        return Skip(item);
      }
      entry.CompressedSize = static_cast<std::int32_t>(size);
      entry.Stored = true;
      entry.Level = 0;
    }
    entries_.push_back(std::move(entry));
  }

  void WriteRegistryAndTrailer() {
    const std::int64_t offset = out_.Size();
    if (offset > kMaxOffset || entries_.size() > static_cast<std::size_t>(INT32_MAX)) {
      throw Error(kTooLarge);
    }
    std::string raw;
    raw.reserve(entries_.size() * kZlbEntrySize);
    for (const auto& entry : entries_) {
      const auto bytes = entry.Encode();
      raw.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    TZLBTrailer trailer;
    trailer.Count = static_cast<std::int32_t>(entries_.size());
    trailer.Constant = 1;
    trailer.RegistryOffset = static_cast<std::int32_t>(offset);
    const ArchiveOutput::Mark mark = out_.GetMark();
    try {
      archive_.DeflateRegistry(raw, [&](const char* data, std::size_t n) { out_.Append(data, n); });
      trailer.RegistryFlag = 1;
    } catch (...) {
      // Whatever part of the stream got written goes, so that the entries start at the
      // recorded offset.
      out_.Rollback(mark);
      out_.Append(raw.data(), raw.size());
      trailer.RegistryFlag = 0;
    }
    if (trailer.RegistryFlag != 0) {
      if (out_.Size() - offset > kMaxOffset) throw Error(kTooLarge);
      trailer.RegistrySize = static_cast<std::int32_t>(out_.Size() - offset);
    }
    trailer.Crc = out_.Crc();
    const auto bytes = trailer.Encode();
    out_.Append(bytes.data(), bytes.size());
  }

 private:
  void Skip(const fs::path& item) {
    if (archive_.OnErrorLogged) archive_.OnErrorLogged(FillName(kUnableToOpen, item));
  }

  TZLBArchive& archive_;
  ArchiveOutput& out_;
  std::vector<TZLBFileEntry> entries_;
};

void TZLBArchive::DeflateRegistry(std::string_view entries, const RegistryWriter& write) {
  const auto total = static_cast<std::int64_t>(entries.size());
  Deflater deflater(
      ZlibLevel(CompressionLevel),
      [&](const unsigned char* data, std::size_t n) {
        write(reinterpret_cast<const char*>(data), n);
      },
      [&](std::int64_t consumed) {
        if (total > 0) Report(kRegistryWriting, RoundedPercent(std::min(consumed, total), total));
      });
  for (std::size_t at = 0; at < entries.size(); at += kIoBlock) {
    deflater.Feed(entries.data() + at, std::min(kIoBlock, entries.size() - at));
  }
  deflater.Finish();
}

void TZLBArchive::AddFiles(std::vector<fs::path>& files) {
  if (archiveName_.empty()) throw Error(kNotOpen);
  ExpandDirectories(files);
  const fs::path target = archiveName_;
  {
    ArchiveOutput out(target);  // removes its file unless committed
    ArchiveWriter writer(*this, out);
    if (!newArchive_) writer.CopyExisting();
    std::size_t done = 0;
    try {
      for (; done < files.size(); ++done) writer.AddMember(files[done]);
    } catch (...) {
      files.erase(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(done));
      throw;
    }
    files.clear();
    writer.WriteRegistryAndTrailer();
    out.Commit();
  }
  CloseArchive();
  OpenArchive(target);
}

// ---- extracting ----

namespace {

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

}  // namespace

// One member on its way to disk. Its unpacking and the writing of its pieces may run on other
// threads; everything else, the callbacks included, runs on the caller's.
struct TZLBArchive::MemberJob {
  std::int32_t index = 0;
  TZLBFileEntry entry;
  fs::path destination;
  Fd out;
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
  std::unique_ptr<SegmentPlan> plan;
};

namespace {

// The unpacked pieces of a parallel extraction, waiting to be written by whichever thread is
// free, and the buffers they travel in.
template <typename Job>
class PieceQueue {
 public:
  struct Piece {
    Job* job = nullptr;
    std::int64_t offset = 0;
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
  };

  PieceQueue(std::size_t buffers, const std::atomic<bool>& stop) : stop_(stop) {
    for (std::size_t i = 0; i < buffers; ++i) {
      free_.push_back(std::make_unique<unsigned char[]>(kInflateBlock));
    }
  }
  std::mutex& Mutex() { return mutex_; }
  std::condition_variable& Changed() { return changed_; }

  void Push(Piece piece) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      waiting_.push_back(std::move(piece));
    }
    changed_.notify_all();
  }
  std::optional<Piece> TryPop() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return PopLocked();
  }
  void Release(std::unique_ptr<unsigned char[]> bytes) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      free_.push_back(std::move(bytes));
    }
    changed_.notify_all();
  }
  // A free buffer; while there is none, writes waiting pieces with `write`, or waits. Null once
  // the extraction stops.
  template <typename Write>
  std::unique_ptr<unsigned char[]> Acquire(Write& write) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (stop_.load()) return nullptr;
      if (!free_.empty()) {
        auto bytes = std::move(free_.back());
        free_.pop_back();
        return bytes;
      }
      if (auto piece = PopLocked()) {
        lock.unlock();
        write(*piece);
        lock.lock();
        continue;
      }
      changed_.wait(lock);
    }
  }
  // Writes waiting pieces until `done` holds and none are left, or the extraction stops.
  template <typename Write, typename Done>
  void Drain(Write& write, Done done) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stop_.load() || !waiting_.empty() || done(); });
      if (stop_.load()) return;
      auto piece = PopLocked();
      if (!piece) return;
      lock.unlock();
      write(*piece);
      lock.lock();
    }
  }
  // Waits until a piece waits, `ready` holds or `timeout` passes.
  template <typename Ready>
  void Wait(Ready ready, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return stop_.load() || !waiting_.empty() || ready(); });
  }

 private:
  std::optional<Piece> PopLocked() {
    if (waiting_.empty()) return std::nullopt;
    Piece piece = std::move(waiting_.front());
    waiting_.pop_front();
    return piece;
  }

  const std::atomic<bool>& stop_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> waiting_;
  std::vector<std::unique_ptr<unsigned char[]>> free_;
};

// Members from this size on are inflated in segments when their stream allows it.
constexpr std::int64_t kSegmentedMin = 16 << 20;
constexpr std::int64_t kSegmentedMaxCompressed = 256 << 20;
constexpr std::size_t kFreshProbe = 16384;  // output a fresh start must give without error
constexpr int kMaxProbes = 64;              // sync flushes in a row that do not start afresh

// Whether raw inflate can start at `at` of a zlib stream with no window: a block boundary where
// the data needs nothing before it decodes a first stretch without error. A wrong guess is
// caught later: its segment does not come out as planned, or the member's CRC-32 differs.
bool StartsFresh(const std::string& c, std::size_t at) {
  InflateState stream;
  z_stream& z = stream.z;
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  stream.ready = true;
  unsigned char out[kFreshProbe];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(c.data() + at));
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(c.size() - at, 4 * kFreshProbe));
  z.next_out = out;
  z.avail_out = sizeof out;
  const int result = inflate(&z, Z_NO_FLUSH);
  return result == Z_STREAM_END || (result == Z_OK && z.avail_out == 0);
}

// Where a stream of our parallel deflate starts afresh: after a sync flush's empty stored
// block (00 00 FF FF) that begins a chunk without a dictionary. None for a stream of any other
// writer, where no such place decodes without what came before.
std::vector<std::size_t> FreshStarts(const std::string& c) {
  static const char kSync[] = {0, 0, static_cast<char>(0xFF), static_cast<char>(0xFF)};
  std::vector<std::size_t> starts;
  int misses = 0;
  for (std::size_t at = 2; at + 4 < c.size();) {
    const void* hit = memmem(c.data() + at, c.size() - at, kSync, sizeof kSync);
    if (hit == nullptr) break;
    const std::size_t start =
        static_cast<std::size_t>(static_cast<const char*>(hit) - c.data()) + 4;
    at = start - 3;
    if (start >= c.size()) break;
    if (StartsFresh(c, start)) {
      starts.push_back(start);
      misses = 0;
    } else if (++misses > kMaxProbes) {
      break;  // sync flushes without fresh starts: not our layout
    }
  }
  return starts;
}

// Inflates c[seg.from, seg.to) into `output`. True when it gives exactly seg.size bytes and, for
// a segment before the last, ends there on a block boundary, or, for the last, ends the stream.
template <typename Output>
bool InflateSegment(const std::string& c, const Segment& seg, bool last, Output& output) {
  InflateState stream;
  z_stream& z = stream.z;
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  stream.ready = true;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(c.data() + seg.from));
  z.avail_in = static_cast<uInt>(seg.to - seg.from);
  std::int64_t produced = 0;
  int state = 0;  // data_type after the last call that did something
  for (;;) {
    // Never more than planned: a stream that claims little and gives much fills nothing.
    const auto room = static_cast<uInt>(
        std::min<std::int64_t>(static_cast<std::int64_t>(output.Room()), seg.size - produced + 1));
    z.next_out = output.Buffer();
    z.avail_out = room;
    const uInt inBefore = z.avail_in;
    const int result = inflate(&z, Z_NO_FLUSH);
    const std::size_t got = room - z.avail_out;
    produced += static_cast<std::int64_t>(got);
    if (produced > seg.size) return false;
    if (got > 0) output.Filled(got);
    // A call that could do nothing does not say where the stream stands.
    if (z.avail_in != inBefore || got > 0) state = z.data_type;
    if (result == Z_STREAM_END) return last && produced == seg.size;
    if (result != Z_OK && result != Z_BUF_ERROR) return false;
    if (z.avail_in == 0 && z.avail_out != 0) {
      // Waiting for the next block's header, with no bits of this byte left over.
      return !last && produced == seg.size && (state & 0xC0) == 0x80 && (state & 0x3F) == 0;
    }
  }
}

}  // namespace

void TZLBArchive::ExtractAll(const fs::path& directory) {
  if (archiveName_.empty()) throw Error(kNotOpen);
  Fd fd = OpenForReading(archiveName_);
  if (!fd) throw Error(FillName(kUnableToOpen, archiveName_));
  std::int64_t total = 0;
  for (const auto& entry : entries_) total += std::max<std::int64_t>(0, entry.UncompressedSize);
  const unsigned cores = ExtractThreads != 0 ? ExtractThreads : std::thread::hardware_concurrency();
  if (entries_.size() >= 2 && total >= kParallelExtractMin && cores >= 2) {
    ExtractInParallel(fd.get(), directory, std::min<std::size_t>(cores, entries_.size()));
  } else {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      auto job = PrepareMember(static_cast<std::int32_t>(i), directory);
      if (!job) continue;
      PieceProgress progress(OnProgress, Fill(kExtracting, job->entry.FileName),
                             job->entry.UncompressedSize);
      UnpackMember(fd.get(), *job, [&] { progress.Advance(job->written.load()); });
      FinishMember(*job);
    }
  }
  fd.Reset();
  Report(PathToText(archiveName_), 0);
}

std::unique_ptr<TZLBArchive::MemberJob> TZLBArchive::PrepareMember(std::int32_t index,
                                                                   const fs::path& directory) {
  const TZLBFileEntry& entry = entries_[static_cast<std::size_t>(index)];
  const auto destination =
      ZlbMemberDestination(directory, entry.Directory, entry.FileName, ExtractWithPath);
  if (!destination) MemberCorrupt(index);
  const std::int64_t blockSize = entry.Stored ? entry.UncompressedSize : entry.CompressedSize;
  if (entry.UncompressedSize < 0 || entry.CompressedSize < 0 || entry.Offset < 0 ||
      static_cast<std::int64_t>(entry.Offset) + blockSize > trailer_.RegistryOffset) {
    MemberCorrupt(index);
  }

  const fs::path folder = destination->parent_path();
  std::error_code ec;
  if (directory.empty() || (fs::create_directories(folder, ec), !fs::is_directory(folder, ec))) {
    throw Error(kDestinationPath);
  }
  if (OnReplaceFile && fs::exists(fs::symlink_status(*destination, ec))) {
    bool replace = false;
    OnReplaceFile(*destination, replace);
    if (!replace) return nullptr;
  }
  // A symbolic link at the destination is replaced, not written through: it could point anywhere.
  const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW;
  Fd out(::open(destination->c_str(), flags, 0666));
  if (!out && errno == ELOOP && ::unlink(destination->c_str()) == 0) {
    out = Fd(::open(destination->c_str(), flags, 0666));
  }
  if (!out) throw Error(FillName(kUnableToOpen, *destination));
  auto job = std::make_unique<MemberJob>();
  job->index = index;
  job->entry = entry;
  job->destination = *destination;
  job->out = std::move(out);
  return job;
}

void TZLBArchive::UnpackMember(int archiveFd, MemberJob& job,
                               const std::function<void()>& onPiece) const {
  const TZLBFileEntry& entry = job.entry;
  std::int64_t written = 0;
  const auto write = [&](const unsigned char* data, std::size_t n) {
    if (!WriteAll(job.out.get(), data, n)) throw Error(FillName(kUnableToWrite, job.destination));
    if (CheckCRC) job.crc = Crc32(job.crc, data, n);
    written += static_cast<std::int64_t>(n);
    job.written.store(written, std::memory_order_relaxed);
    onPiece();
  };
  job.whole = entry.Stored ? CopyRange(archiveFd, entry.Offset, entry.UncompressedSize, write)
                           : InflateRange(archiveFd, entry.Offset, entry.CompressedSize,
                                          entry.UncompressedSize, write, !CheckCRC);
  job.crcKnown = true;
}

void TZLBArchive::FinishMember(MemberJob& job) {
  if (!job.whole || (CheckCRC && job.crc != job.entry.Crc)) MemberCorrupt(job.index);
  if (!job.out.Close()) throw Error(FillName(kUnableToWrite, job.destination));
  if (OnFileExtracted) OnFileExtracted(job.destination);
}

// The members unpack side by side, the largest first, and their pieces are written and checked
// by whichever thread is free. A big member that our parallel deflate wrote is cut where its
// stream starts afresh, so that its stretches inflate side by side too. The caller's thread
// takes its share and meanwhile hands on the progress and the finished members in the
// archive's order: the callbacks see what the one-by-one extraction shows them, only sooner.
void TZLBArchive::ExtractInParallel(int archiveFd, const fs::path& directory, std::size_t threads) {
  std::vector<std::unique_ptr<MemberJob>> jobs;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (auto job = PrepareMember(static_cast<std::int32_t>(i), directory)) {
      jobs.push_back(std::move(job));
    }
  }
  std::vector<MemberJob*> bySize;
  for (auto& job : jobs) bySize.push_back(job.get());
  std::stable_sort(bySize.begin(), bySize.end(), [](const MemberJob* a, const MemberJob* b) {
    return a->entry.UncompressedSize > b->entry.UncompressedSize;
  });
  const bool checkCrc = CheckCRC;
  // The member's CRC-32 is what makes the cuts safe, so only a checked extraction cuts.
  const auto planSegments = [&](MemberJob& job) {
    const TZLBFileEntry& e = job.entry;
    if (e.Stored || !checkCrc || e.UncompressedSize < kSegmentedMin || e.CompressedSize < 6 ||
        e.CompressedSize > kSegmentedMaxCompressed) {
      return;
    }
    auto plan = std::make_unique<SegmentPlan>();
    plan->compressed.resize(static_cast<std::size_t>(e.CompressedSize));
    if (ReadAt(archiveFd, plan->compressed.data(), plan->compressed.size(), e.Offset) !=
            e.CompressedSize ||
        !PlainZlibHeader(reinterpret_cast<const unsigned char*>(plan->compressed.data()))) {
      return;
    }
    // Our deflate starts afresh every kIndependentChunks chunks, so the bytes of the n-th
    // stretch begin at n times that much input; the inflate of each stretch checks the guess.
    const std::vector<std::size_t> starts = FreshStarts(plan->compressed);
    const auto stretch = static_cast<std::int64_t>(kIndependentChunks * kParallelDeflateChunk);
    if (starts.empty() ||
        static_cast<std::int64_t>(starts.size()) * stretch >= e.UncompressedSize) {
      return;
    }
    std::size_t from = 2;
    for (std::size_t i = 0; i <= starts.size(); ++i) {
      Segment& seg = plan->segments.emplace_back();
      seg.from = from;
      seg.to = i < starts.size() ? starts[i] : plan->compressed.size();
      seg.offset = static_cast<std::int64_t>(i) * stretch;
      seg.size = i < starts.size() ? stretch : e.UncompressedSize - seg.offset;
      from = seg.to;
    }
    job.outstanding = static_cast<int>(plan->segments.size());
    job.plan = std::move(plan);
  };
  struct Unit {
    MemberJob* job;
    int segment;  // -1: the whole member in one stream
  };
  std::vector<Unit> units;
  for (MemberJob* job : bySize) {
    planSegments(*job);
    if (!job->plan) {
      units.push_back({job, -1});
      continue;
    }
    for (std::size_t k = 0; k < job->plan->segments.size(); ++k)
      units.push_back({job, static_cast<int>(k)});
  }

  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  std::size_t finishedJobs = 0;  // guarded by the queue's mutex
  PieceQueue<MemberJob> pieces(threads * 8, stop);
  using Piece = PieceQueue<MemberJob>::Piece;
  const auto finishJob = [&](MemberJob& job) {
    if (--job.outstanding != 0) return;
    if (job.plan) {
      // Every segment and every piece is written by now. A member that could not be cut
      // where it seemed is unpacked again in one stream, which also tells a damaged one.
      std::string().swap(job.plan->compressed);
      job.whole = !job.plan->failed.load();
      if (!job.whole && !stop.load()) {
        job.pieceCrcs.clear();
        try {
          UnpackMember(archiveFd, job, [&] {
            if (stop.load(std::memory_order_relaxed)) throw Stopped();
          });
        } catch (const Stopped&) {
        } catch (...) {
          if (!job.error) job.error = std::current_exception();
        }
      }
    }
    if (checkCrc && job.whole && !job.crcKnown) {
      std::sort(job.pieceCrcs.begin(), job.pieceCrcs.end());
      std::uint32_t crc = 0;
      for (std::size_t i = 0; i < job.pieceCrcs.size(); ++i) {
        const std::int64_t end =
            i + 1 < job.pieceCrcs.size() ? job.pieceCrcs[i + 1].first : job.entry.UncompressedSize;
        crc = static_cast<std::uint32_t>(
            crc32_combine(crc, job.pieceCrcs[i].second, end - job.pieceCrcs[i].first));
      }
      job.crc = crc;
    }
    {
      const std::lock_guard<std::mutex> lock(pieces.Mutex());
      job.finished.store(true);
      ++finishedJobs;
    }
    pieces.Changed().notify_all();
  };
  const std::function<void(Piece&)> write = [&](Piece& piece) {
    MemberJob& job = *piece.job;
    if (!stop.load()) {
      const std::uint32_t crc = checkCrc ? Crc32(0, piece.bytes.get(), piece.size) : 0;
      const bool put = WriteAllAt(job.out.get(), piece.bytes.get(), piece.size, piece.offset);
      const std::lock_guard<std::mutex> lock(job.pieceMutex);
      job.pieceCrcs.emplace_back(piece.offset, crc);
      if (!put && !job.error) {
        job.error = std::make_exception_ptr(Error(FillName(kUnableToWrite, job.destination)));
      }
    }
    job.written += static_cast<std::int64_t>(piece.size);
    pieces.Release(std::move(piece.bytes));
    finishJob(job);
  };

  // Inflates into pooled buffers and queues each full one.
  struct Output {
    MemberJob& job;
    PieceQueue<MemberJob>& pieces;
    const std::function<void(Piece&)>& write;
    const std::function<void()>& onPiece;
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t used = 0;
    std::int64_t offset = 0;
    unsigned char* Buffer() { return bytes.get() + used; }
    std::size_t Room() const { return kInflateBlock - used; }
    void Filled(std::size_t n) {
      used += n;
      if (used == kInflateBlock) Hand();
      onPiece();
    }
    void Hand() {
      if (used == 0) return;
      ++job.outstanding;
      pieces.Push({&job, offset, std::move(bytes), used});
      offset += static_cast<std::int64_t>(used);
      used = 0;
      bytes = pieces.Acquire(write);
      if (!bytes) throw Stopped();
    }
  };
  const auto unpack = [&](MemberJob& job, const std::function<void()>& onPiece) {
    const TZLBFileEntry& entry = job.entry;
    if (entry.Stored) {
      UnpackMember(archiveFd, job, onPiece);
      return;
    }
    Output output{job, pieces, write, onPiece, pieces.Acquire(write)};
    if (!output.bytes) throw Stopped();
    job.whole = InflateStream(archiveFd, entry.Offset, entry.CompressedSize, entry.UncompressedSize,
                              output, !checkCrc);
    output.Hand();
    pieces.Release(std::move(output.bytes));
  };
  const auto inflateSegment = [&](MemberJob& job, std::size_t k,
                                  const std::function<void()>& onPiece) {
    SegmentPlan& plan = *job.plan;
    const Segment& seg = plan.segments[k];
    bool ok = false;
    if (!plan.failed.load()) {
      try {
        Output output{job, pieces, write, onPiece, pieces.Acquire(write), 0, seg.offset};
        if (!output.bytes) throw Stopped();
        ok = InflateSegment(plan.compressed, seg, k + 1 == plan.segments.size(), output);
        output.Hand();
        pieces.Release(std::move(output.bytes));
      } catch (const Stopped&) {
      } catch (const std::bad_alloc&) {
      }
    }
    if (!ok) plan.failed.store(true);
    finishJob(job);
  };
  const auto work = [&](const std::function<void()>& onPiece) {
    const std::function<void()> checked = [&] {
      if (stop.load(std::memory_order_relaxed)) throw Stopped();
      onPiece();
    };
    while (!stop.load()) {
      const std::size_t at = next.fetch_add(1);
      if (at >= units.size()) break;
      MemberJob& job = *units[at].job;
      if (units[at].segment >= 0) {
        inflateSegment(job, static_cast<std::size_t>(units[at].segment), checked);
        continue;
      }
      try {
        unpack(job, checked);
      } catch (const Stopped&) {
      } catch (...) {
        const std::lock_guard<std::mutex> lock(job.pieceMutex);
        if (!job.error) job.error = std::current_exception();
      }
      finishJob(job);
    }
  };

  // Stops and joins the helpers also when a callback or a member fails.
  struct Helpers {
    std::atomic<bool>& stop;
    PieceQueue<MemberJob>& pieces;
    std::vector<std::thread> threads;
    ~Helpers() {
      {
        const std::lock_guard<std::mutex> lock(pieces.Mutex());
        stop.store(true);
      }
      pieces.Changed().notify_all();
      for (auto& t : threads) t.join();
    }
  } helpers{stop, pieces, {}};
  for (std::size_t i = 1; i < threads; ++i) {
    helpers.threads.emplace_back([&] {
      work([] {});
      // Then help with the writing until every member is done.
      pieces.Drain(write, [&] { return finishedJobs == jobs.size(); });
    });
  }

  std::size_t shown = 0;  // jobs before it are finished and handed on
  std::optional<PieceProgress> progress;
  const auto pump = [&] {
    while (shown < jobs.size()) {
      MemberJob& job = *jobs[shown];
      if (!progress) {
        progress.emplace(OnProgress, Fill(kExtracting, job.entry.FileName),
                         job.entry.UncompressedSize);
      }
      const bool finished = job.finished.load();
      progress->Advance(job.written.load());
      if (!finished) return;
      if (job.error) std::rethrow_exception(job.error);
      FinishMember(job);
      progress.reset();
      ++shown;
    }
  };
  // A failure handed on from inside the caller's own unpacking ends that unpacking first.
  std::exception_ptr failure;
  work([&] {
    if (failure) return;
    try {
      pump();
    } catch (...) {
      failure = std::current_exception();
      stop.store(true);
    }
  });
  if (failure) std::rethrow_exception(failure);
  while (shown < jobs.size()) {
    pump();
    if (auto piece = pieces.TryPop()) {
      write(*piece);
      continue;
    }
    pieces.Wait([&] { return shown < jobs.size() && jobs[shown]->finished.load(); },
                std::chrono::milliseconds(50));
  }
}

}  // namespace orvenda
