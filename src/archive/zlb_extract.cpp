// Extracting: member by member, or for a big archive on every core (zlb_parallel_extract.cpp).
#include <cerrno>
#include <thread>

#include "archive/zlb_internal.h"
#include "base/cp1250.h"
#include "base/error.h"

namespace orvenda {

namespace fs = std::filesystem;
using namespace zlb_detail;

namespace {

// Below this much to unpack, threads cost more than they save.
constexpr std::int64_t kParallelExtractMin = 8 << 20;

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
  if (!out) throw Error(FillName(kUnableToOpen, *destination) + OsReason());
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
    if (!WriteAll(job.out.get(), data, n))
      throw Error(FillName(kUnableToWrite, job.destination) + OsReason());
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
  if (!job.out.Close()) throw Error(FillName(kUnableToWrite, job.destination) + OsReason());
  if (OnFileExtracted) OnFileExtracted(job.destination);
}

}  // namespace orvenda
