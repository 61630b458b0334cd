#pragma once

// The program's archive format: every file it keeps (projects, backups, libraries, update
// files) is one of these. Layout, little-endian:
//
//   member blocks, back to back from offset 0: a zlib stream of the member or the member as is
//   the registry: count entries of 532 bytes as one zlib stream, or the entries as they are
//   the trailer, 36 bytes: CRC-32 of everything before it, count, 1, registry size in the file
//     (0 when stored), registry offset, registry flag (1 = zlib stream, 0 = stored), 15 zeros
//
// Nothing but the trailer's checksum identifies the format. Readers check every count, size and
// offset against the file before using it; extraction never writes outside its destination.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvenda {

// The ordinal is the level byte stored in an entry.
enum class TFileCompressionLevel : std::uint8_t {
  fcNone = 0,     // zlib level 0
  fcFastest = 1,  // zlib level 1
  fcDefault = 2,  // zlib's default level (-1)
  fcMaximum = 3,  // zlib level 9
};

inline constexpr std::size_t kZlbEntrySize = 532;
inline constexpr std::size_t kZlbTrailerSize = 36;
// Members up to this size are compressed in memory; larger ones through a temporary file.
inline constexpr std::int64_t kZlbInMemoryLimit = 20 * 1024 * 1024;

// One registry entry (532 bytes on disk).
struct TZLBFileEntry {
  std::string FileName;   // windows-1250, at most 255 bytes
  std::string Directory;  // windows-1250 with backslashes and a trailing one, or empty
  std::int32_t UncompressedSize = 0;
  std::int32_t CompressedSize = 0;  // bytes of the member's block in the file
  std::int32_t Offset = 0;          // of the block from the start of the file
  std::uint32_t Crc = 0;            // CRC-32 of the uncompressed contents
  bool Stored = false;              // the block is the contents as they are
  std::uint8_t Level = 0;           // TFileCompressionLevel ordinal; 0 for a stored block

  // Texts longer than 255 bytes are cut; unused bytes are zero.
  std::array<unsigned char, kZlbEntrySize> Encode() const;
  static TZLBFileEntry Decode(const unsigned char* bytes);  // kZlbEntrySize bytes
  bool operator==(const TZLBFileEntry&) const = default;
};

struct TZLBTrailer {
  std::uint32_t Crc = 0;
  std::int32_t Count = 0;
  std::int32_t Constant = 0;  // 1 in every written archive; not read
  std::int32_t RegistrySize = 0;
  std::int32_t RegistryOffset = 0;
  std::uint8_t RegistryFlag = 0;

  std::array<unsigned char, kZlbTrailerSize> Encode() const;
  static TZLBTrailer Decode(const unsigned char* bytes);  // kZlbTrailerSize bytes
  bool operator==(const TZLBTrailer&) const = default;
};

// Reads and writes archives. States: closed (no name), open (an existing archive's entries and
// trailer) and new (named by CreateArchive, written by the next AddFiles). The archive file is
// never held open between calls. Failures throw orvenda::Error with the English texts below,
// which the program shows unchanged. Member and directory names are windows-1250 text; host
// file names are std::filesystem::path.
//
// Writing: AddFiles writes the complete new archive to a temporary file beside the archive,
// flushes it to disk and renames it over the archive. Until that rename the old archive is
// untouched, and if anything fails the temporary file is removed and the error is thrown.
// Callers must therefore NOT delete an old archive before writing its successor: to replace a
// file use CreateArchive(name, /*replaceExisting=*/true) followed by AddFiles.
//
// Error texts: "Archive file not found", "Unable to open file (%s)", "The archive file appears
// to be corrupted", "Unable to read archive file list", "No archive is currently open",
// "Index out of bounds", "Unable to create destination path", "File (%d) is corrupt",
// "File already exists"; when the archive cannot be written, "Unable to write file (%s)"; when
// it would outgrow its 32-bit offsets, "Archive file too large". Logged only (OnErrorLogged):
// "%s already exists in the archive", "Unable to open file (%s)".
class TZLBArchive {
 public:
  using TReplaceFileEvent =
      std::function<void(const std::filesystem::path& fileName, bool& replace)>;
  using TFileExtractedEvent = std::function<void(const std::filesystem::path& fileName)>;
  using TNotifyEvent = std::function<void()>;
  using TErrorLogEvent = std::function<void(const std::string& msg)>;
  using TProgressEvent = std::function<void(const std::string& msg, int percentage)>;

  TZLBArchive() = default;
  virtual ~TZLBArchive() = default;
  TZLBArchive(const TZLBArchive&) = delete;
  TZLBArchive& operator=(const TZLBArchive&) = delete;

  // Closes any open archive and reads the registry of `fileName`. An empty name only closes and
  // returns false; otherwise returns true or throws (the component is then closed).
  bool OpenArchive(const std::filesystem::path& fileName);

  // Closes any open archive and names a new one that the next AddFiles writes. Throws "File
  // already exists" when the file exists, unless `replaceExisting` is set: then the next
  // AddFiles replaces the file atomically (the old file stays intact if writing fails).
  // Raises OnArchiveOpened. An empty name only closes.
  void CreateArchive(const std::filesystem::path& fileName, bool replaceExisting = false);

  // Forgets the archive and reports the idle progress.
  void CloseArchive();

  std::int32_t FileCount() const;
  TZLBFileEntry GetFileEntry(std::int32_t index) const;
  // Index of the first entry named like `fileName` (its directory too when SavePaths is on),
  // letter case ignored; -1 when there is none.
  std::int32_t IndexOfFile(const std::filesystem::path& fileName) const;

  // Appends the listed files as new members and rewrites the archive, then opens the new file.
  // The list is consumed. A directory in the list is dropped (with RecursePaths, replaced by
  // every file below it). A file that cannot be read is skipped and logged; any other failure
  // throws after the temporary files are removed, and the archive on disk stays as it was.
  void AddFiles(std::vector<std::filesystem::path>& files);
  void AddFiles(std::vector<std::filesystem::path>&& files) { AddFiles(files); }

  // Writes every member into `directory` (created when missing). A member whose name or
  // directory would lead outside `directory` fails with "File (%d) is corrupt"; members written
  // before a failure stay. Big archives unpack their members on every core; the callbacks
  // still come on the calling thread, in the same order.
  void ExtractAll(const std::filesystem::path& directory);

  // Appends to `files` every file below `directory`, recursively, in name order.
  virtual void AddDirectory(const std::filesystem::path& directory,
                            std::vector<std::filesystem::path>& files);
  // A new empty file "ZLB..." in TempDirectory (the system's temporary directory when empty).
  virtual std::filesystem::path MakeTempFileName();

  const std::filesystem::path& ArchiveFileName() const { return archiveName_; }
  bool IsNewArchive() const { return newArchive_; }
  const TZLBTrailer& Trailer() const { return trailer_; }

  TFileCompressionLevel CompressionLevel = TFileCompressionLevel::fcDefault;
  bool ExtractWithPath = false;  // extraction appends the entry's directory to the destination
  bool CheckCRC = false;         // extraction verifies each member's CRC-32
  unsigned ExtractThreads = 0;   // threads of a big extraction; 0: one per core, 1: one by one
  bool SavePaths = false;        // adding records the source directory (without drive)
  bool RecursePaths = false;     // adding replaces a listed directory by the files below it
  std::filesystem::path TempDirectory;  // for MakeTempFileName; empty: the system's

  TReplaceFileEvent OnReplaceFile;  // before an existing file is overwritten; replace = false
  TFileExtractedEvent OnFileExtracted;
  TNotifyEvent OnArchiveOpened;
  TNotifyEvent OnStreamExtracted;  // never raised; kept for callers that assign it
  TErrorLogEvent OnErrorLogged;    // non-fatal problems while adding; a throwing handler aborts
  // Phases "Extracting archive registry", "Updating <file>", "Writing archive registry",
  // "Extracting <member>" with whole percentages (halves to even). Reading phases report every
  // 4096 bytes, compression phases every 65536 bytes of compressed output; a phase with nothing
  // to do reports nothing. Idle reports: the archive file name and 0 at the end of OpenArchive
  // and ExtractAll, an empty text and 0 from CloseArchive (the name is gone by then).
  TProgressEvent OnProgress;

 protected:
  using RegistryWriter = std::function<void(const char* data, std::size_t size)>;
  // Deflates the registry entries at CompressionLevel through `write`. If it throws, the
  // entries are stored uncompressed at the same offset instead.
  virtual void DeflateRegistry(std::string_view entries, const RegistryWriter& write);

 private:
  void Clear();
  void Report(const std::string& text, int percentage) const;
  void ReadRegistry(int fd, std::int64_t fileSize);
  void ExpandDirectories(std::vector<std::filesystem::path>& files);
  struct MemberJob;
  std::unique_ptr<MemberJob> PrepareMember(std::int32_t index,
                                           const std::filesystem::path& directory);
  void UnpackMember(int archiveFd, MemberJob& job, const std::function<void()>& onPiece) const;
  void FinishMember(MemberJob& job);
  void ExtractInParallel(int archiveFd, const std::filesystem::path& directory,
                         std::size_t threads);

  std::filesystem::path archiveName_;
  bool newArchive_ = false;
  std::vector<TZLBFileEntry> entries_;
  TZLBTrailer trailer_;

  friend class ArchiveWriter;
};

}  // namespace orvenda
