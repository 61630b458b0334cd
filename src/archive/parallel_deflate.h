#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace orvenda {

// Input of at least this size is worth spreading over threads.
inline constexpr std::size_t kParallelDeflateChunk = 1 << 20;

// Every this many chunks one starts without a dictionary, so that a reader can inflate the
// stream in pieces side by side from there (see the archive's extraction); it costs a few
// hundred bytes per piece.
inline constexpr std::size_t kIndependentChunks = 8;

// Deflates its input into one zlib stream (window 15, memory level 8, default strategy) on
// every core: the input is cut into chunks of kParallelDeflateChunk bytes, each deflated on
// its own with the 32 KiB before it as its dictionary (but every kIndependentChunks-th) and
// ended by a sync flush, the last with the final block; the Adler-32 of the whole is combined
// from the chunks'. Any inflate reads the result; it is a few bytes per chunk longer than one
// thread's stream.
class ParallelDeflater {
 public:
  using Sink = std::function<void(const unsigned char*, std::size_t)>;
  // `onFullBuffer` gets the input consumed so far for each whole 64 KiB of output handed on.
  // `threads` 0: one per core.
  ParallelDeflater(int level, Sink sink, std::function<void(std::int64_t)> onFullBuffer,
                   unsigned threads = 0);
  ~ParallelDeflater();
  ParallelDeflater(const ParallelDeflater&) = delete;
  ParallelDeflater& operator=(const ParallelDeflater&) = delete;

  void Feed(const void* data, std::size_t size);
  void Finish();
  std::int64_t TotalOut() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The two bytes that begin a zlib stream of this level (window 15, no dictionary).
void ZlibHeader(int level, unsigned char header[2]);

}  // namespace orvenda
