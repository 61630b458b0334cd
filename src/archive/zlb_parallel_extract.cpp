// Extracting a big archive on every core.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <optional>
#include <thread>

#include "archive/parallel_deflate.h"
#include "archive/zlb_internal.h"
#include "base/error.h"

namespace orvenda {

namespace fs = std::filesystem;
using namespace zlb_detail;

namespace {

// Ends a helper's member early when the extraction as a whole has failed.
struct Stopped {};

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
