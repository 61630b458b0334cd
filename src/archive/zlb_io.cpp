// The archive's file and stream helpers: reading and writing whole ranges, inflating a member.
#include <cerrno>

#include "archive/zlb_internal.h"
#include "base/cp1250.h"
#include "base/error.h"

namespace orvenda::zlb_detail {

namespace fs = std::filesystem;

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

int RoundedPercent(std::int64_t done, std::int64_t total) {
  const std::int64_t scaled = done * 100;
  std::int64_t whole = scaled / total;
  const std::int64_t rest = scaled % total;
  if (2 * rest > total || (2 * rest == total && (whole & 1) != 0)) ++whole;
  return static_cast<int>(whole);
}

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

bool InflateRange(int fd, std::int64_t offset, std::int64_t limit, std::int64_t want,
                  const std::function<void(const unsigned char*, std::size_t)>& sink, bool adler) {
  // One buffer, handed to the sink after every inflate call.
  struct Output {
    Output(std::size_t size, const std::function<void(const unsigned char*, std::size_t)>& s)
        : buffer(size), room(size), sink(s) {}
    unsigned char* Buffer() { return buffer.data(); }
    std::size_t Room() const { return room; }
    void Filled(std::size_t n) { sink(buffer.data(), n); }
    zlb_detail::Buffer buffer;
    std::size_t room;
    const std::function<void(const unsigned char*, std::size_t)>& sink;
  } output(static_cast<std::size_t>(
               std::min<std::int64_t>(kInflateBlock, std::max<std::int64_t>(want, 1))),
           sink);
  return InflateStream(fd, offset, limit, want, output, adler);
}

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

}  // namespace orvenda::zlb_detail
