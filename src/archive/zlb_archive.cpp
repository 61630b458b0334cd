// The archive's records, and opening an archive: its trailer and registry.
#include "archive/zlb_archive.h"

#include <sys/stat.h>

#include <cstring>

#include "archive/zlb_internal.h"
#include "base/cp1250.h"
#include "base/error.h"

namespace orvenda {

namespace fs = std::filesystem;
using namespace zlb_detail;

namespace {

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

}  // namespace

bool zlb_detail::SameName(const TZLBFileEntry& entry, const ZlbMemberName& name) {
  return Cp1250Upper(entry.Directory + entry.FileName) ==
         Cp1250Upper(name.Directory + name.FileName);
}

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

}  // namespace orvenda
