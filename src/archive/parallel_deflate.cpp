#include "archive/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace orvenda {
namespace {

constexpr std::size_t kWindow = 32768;
constexpr std::int64_t kOutputPiece = 65536;

struct Job {
  std::string input;
  std::string dictionary;  // the 32 KiB before the input
  bool last = false;
  std::string output;  // raw deflate data
  uLong adler = 1;
  bool done = false;
  bool failed = false;
};

void Compress(Job& job, int level) {
  job.adler = adler32(1, reinterpret_cast<const Bytef*>(job.input.data()),
                      static_cast<uInt>(job.input.size()));
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    job.failed = true;
    return;
  }
  if (!job.dictionary.empty() &&
      deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(job.dictionary.data()),
                           static_cast<uInt>(job.dictionary.size())) != Z_OK) {
    deflateEnd(&z);
    job.failed = true;
    return;
  }
  // Room for the worst case plus the sync flush's empty stored block.
  job.output.resize(deflateBound(&z, static_cast<uLong>(job.input.size())) + 16);
  z.next_in = reinterpret_cast<Bytef*>(job.input.data());
  z.avail_in = static_cast<uInt>(job.input.size());
  z.next_out = reinterpret_cast<Bytef*>(job.output.data());
  z.avail_out = static_cast<uInt>(job.output.size());
  const int flush = job.last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    const int result = deflate(&z, flush);
    if (result == Z_STREAM_ERROR) {
      job.failed = true;
      break;
    }
    if (job.last ? result == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) break;
    // Out of room (never expected with the bound above): grow and go on.
    const std::size_t used = job.output.size() - z.avail_out;
    job.output.resize(job.output.size() * 2);
    z.next_out = reinterpret_cast<Bytef*>(job.output.data() + used);
    z.avail_out = static_cast<uInt>(job.output.size() - used);
  }
  job.output.resize(job.output.size() - z.avail_out);
  deflateEnd(&z);
}

}  // namespace

void ZlibHeader(int level, unsigned char header[2]) {
  const int flevel = level == Z_DEFAULT_COMPRESSION ? 2
                     : level < 2                    ? 0
                     : level < 6                    ? 1
                     : level == 6                   ? 2
                                                    : 3;
  const unsigned cmf = 0x78;  // deflate, 32 KiB window
  unsigned flg = static_cast<unsigned>(flevel) << 6;
  flg += 31 - (cmf * 256 + flg) % 31;
  header[0] = static_cast<unsigned char>(cmf);
  header[1] = static_cast<unsigned char>(flg);
}

struct ParallelDeflater::Impl {
  int level;
  Sink sink;
  std::function<void(std::int64_t)> onFullBuffer;

  std::mutex mutex;
  std::condition_variable work, finished;
  std::deque<Job*> queue;                 // waiting for a worker
  std::deque<std::unique_ptr<Job>> jobs;  // in input order, not yet handed on
  bool stop = false;
  std::vector<std::thread> workers;
  std::size_t maxInFlight = 2;

  std::string pending;        // input of the chunk being gathered
  std::string window;         // the last 32 KiB of input before `pending`
  std::int64_t consumed = 0;  // input of the chunks handed on
  std::size_t submitted = 0;  // chunks
  std::int64_t totalOut = 0;
  uLong adler = 1;
  bool headerDone = false;
  bool finishedStream = false;

  void Worker() {
    for (;;) {
      Job* job = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex);
        work.wait(lock, [&] { return stop || !queue.empty(); });
        if (stop) return;
        job = queue.front();
        queue.pop_front();
      }
      Compress(*job, level);
      {
        std::lock_guard<std::mutex> lock(mutex);
        job->done = true;
      }
      finished.notify_all();
    }
  }

  void Emit(const unsigned char* data, std::size_t size) {
    if (size == 0) return;
    sink(data, size);
    const std::int64_t before = totalOut;
    totalOut += static_cast<std::int64_t>(size);
    if (!onFullBuffer) return;
    for (std::int64_t n = before / kOutputPiece; n < totalOut / kOutputPiece; ++n)
      onFullBuffer(consumed);
  }

  // Hands on the oldest job once it is done.
  void HandOnOldest() {
    std::unique_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(mutex);
      finished.wait(lock, [&] { return jobs.front()->done; });
      job = std::move(jobs.front());
      jobs.pop_front();
    }
    if (job->failed) throw std::runtime_error("deflate");
    if (!headerDone) {
      unsigned char header[2];
      ZlibHeader(level, header);
      Emit(header, 2);
      headerDone = true;
    }
    adler = adler32_combine(adler, job->adler, static_cast<z_off_t>(job->input.size()));
    consumed += static_cast<std::int64_t>(job->input.size());
    Emit(reinterpret_cast<const unsigned char*>(job->output.data()), job->output.size());
  }

  void Submit(bool last) {
    auto job = std::make_unique<Job>();
    if (submitted++ % kIndependentChunks != 0) job->dictionary = window;
    job->last = last;
    // The next chunk's dictionary is the end of this one (with what came before, if short).
    if (pending.size() >= kWindow) {
      window.assign(pending, pending.size() - kWindow, kWindow);
    } else {
      window += pending;
      if (window.size() > kWindow) window.erase(0, window.size() - kWindow);
    }
    job->input = std::move(pending);
    pending = std::string();
    pending.reserve(kParallelDeflateChunk);
    {
      std::lock_guard<std::mutex> lock(mutex);
      queue.push_back(job.get());
      jobs.push_back(std::move(job));
    }
    work.notify_one();
    while (jobs.size() > maxInFlight) HandOnOldest();
  }
};

ParallelDeflater::ParallelDeflater(int level, Sink sink,
                                   std::function<void(std::int64_t)> onFullBuffer, unsigned threads)
    : impl_(std::make_unique<Impl>()) {
  Impl& t = *impl_;
  t.level = level;
  t.sink = std::move(sink);
  t.onFullBuffer = std::move(onFullBuffer);
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  t.maxInFlight = 2 * threads;
  t.pending.reserve(kParallelDeflateChunk);
  for (unsigned i = 0; i < threads; ++i) t.workers.emplace_back([&t] { t.Worker(); });
}

ParallelDeflater::~ParallelDeflater() {
  Impl& t = *impl_;
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    t.stop = true;
  }
  t.work.notify_all();
  for (std::thread& worker : t.workers) worker.join();
}

void ParallelDeflater::Feed(const void* data, std::size_t size) {
  Impl& t = *impl_;
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const std::size_t take = std::min(size, kParallelDeflateChunk - t.pending.size());
    t.pending.append(bytes, take);
    bytes += take;
    size -= take;
    if (t.pending.size() == kParallelDeflateChunk) t.Submit(false);
  }
}

void ParallelDeflater::Finish() {
  Impl& t = *impl_;
  if (t.finishedStream) return;
  t.Submit(true);  // possibly empty: it carries the final block
  while (!t.jobs.empty()) t.HandOnOldest();
  const unsigned char trailer[4] = {
      static_cast<unsigned char>(t.adler >> 24), static_cast<unsigned char>(t.adler >> 16),
      static_cast<unsigned char>(t.adler >> 8), static_cast<unsigned char>(t.adler)};
  t.Emit(trailer, 4);
  t.finishedStream = true;
}

std::int64_t ParallelDeflater::TotalOut() const { return impl_->totalOut; }

}  // namespace orvenda
