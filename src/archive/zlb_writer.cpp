// Adding files: the whole new archive is written beside the old one and renamed over it.
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <random>
#include <stdexcept>

#include "archive/parallel_deflate.h"
#include "archive/zlb_internal.h"
#include "base/cp1250.h"
#include "base/error.h"

namespace orvenda {

namespace fs = std::filesystem;
using namespace zlb_detail;

namespace {

constexpr std::size_t kDeflateBuffer = 65536;  // compressed output; progress follows its fills

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

void SyncDirectoryOf(const fs::path& file) {
  fs::path dir = file.parent_path();
  if (dir.empty()) dir = ".";
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.get());  // the rename is done; a failure here only weakens durability
}

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
    if (!fd_) throw Error(FillName(kUnableToWrite, target) + OsReason());
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
    if (!WriteAll(fd_.get(), data, size))
      throw Error(FillName(kUnableToWrite, target_) + OsReason());
    crc_ = Crc32(crc_, data, size);
    size_ += static_cast<std::int64_t>(size);
  }

  Mark GetMark() const { return {size_, crc_}; }
  void Rollback(const Mark& mark) {
    if (::ftruncate(fd_.get(), static_cast<off_t>(mark.size)) != 0 ||
        ::lseek(fd_.get(), static_cast<off_t>(mark.size), SEEK_SET) < 0) {
      throw Error(FillName(kUnableToWrite, target_) + OsReason());
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
      throw Error(FillName(kUnableToWrite, target_) + OsReason());
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
      throw Error(FillName(kUnableToOpen, path_) + OsReason());
    }
  }
  ~FileBuffer() override {
    fd_.Reset();
    ::unlink(path_.c_str());
  }
  void Write(const unsigned char* data, std::size_t size) override {
    if (!WriteAll(fd_.get(), data, size)) throw Error(FillName(kUnableToWrite, path_) + OsReason());
    size_ += static_cast<std::int64_t>(size);
  }
  void CopyTo(ArchiveOutput& out) override {
    const bool whole =
        CopyRange(fd_.get(), 0, size_,
                  [&](const unsigned char* data, std::size_t n) { out.Append(data, n); });
    if (!whole) throw Error(FillName(kUnableToOpen, path_) + OsReason());
  }

 private:
  fs::path path_;
  Fd fd_;
  std::int64_t size_ = 0;
};

}  // namespace

// ---- adding ----

fs::path TZLBArchive::MakeTempFileName() {
  const fs::path dir = TempDirectory.empty() ? fs::temp_directory_path() : TempDirectory;
  std::string pattern = (dir / "ZLBXXXXXX").string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) throw Error(FillName(kUnableToOpen, dir / "ZLB") + OsReason());
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

}  // namespace orvenda
