#include "model/dbf_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "model/mdx_writer.h"

namespace orvenda::dbf {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBufferSize = 1 << 20;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// `letter` in the case of `like`.
char CaseLike(char letter, char like) {
  const bool upper = like >= 'A' && like <= 'Z';
  const char lower = Lower(letter);
  return upper ? static_cast<char>(lower - 'a' + 'A') : lower;
}

fs::path Companion(const fs::path& dbf, char kind) {
  std::string ext = dbf.extension().string();  // ".dbf"
  fs::path out = dbf;
  if (ext.size() < 2) return out.replace_extension(kind == 'T' ? ".dbt" : ".mdx");
  if (SameIgnoringCase(ext, ".dbf")) {
    const char* wanted = kind == 'T' ? "dbt" : "mdx";
    for (size_t i = 0; i < 3; ++i) ext[i + 1] = CaseLike(wanted[i], ext[i + 1]);
  } else {
    ext.back() = CaseLike(kind, ext.back());
  }
  return out.replace_extension(ext);
}

[[noreturn]] void Fail(const std::string& what, const fs::path& file, int err) {
  throw Error(what + " " + PathToText(file) + ": " + Utf8ToCp1250(std::strerror(err)));
}

void SyncDirectory(const fs::path& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

fs::path MemoPath(const fs::path& dbf) { return Companion(dbf, 'T'); }
fs::path IndexPath(const fs::path& dbf) { return Companion(dbf, 'X'); }

fs::path FindOnDisk(const fs::path& file) {
  std::error_code ec;
  if (fs::exists(file, ec)) return file;
  const fs::path dir = file.has_parent_path() ? file.parent_path() : fs::path(".");
  const std::string name = file.filename().string();
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string candidate = it->path().filename().string();
    if (SameIgnoringCase(candidate, name)) return file.parent_path() / candidate;
  }
  return file;
}

ReplacementFile::ReplacementFile(const fs::path& file) : file_(file) {
  std::string pattern =
      (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) dbf::Fail(Msg(194), file, errno);
  temp_ = pattern;
  buffer_.reserve(kBufferSize);
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temp_.c_str());
  }
}

void ReplacementFile::Fail(int err) {
  ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
  dbf::Fail(Msg(193), file_, err);
}

void ReplacementFile::Write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > kBufferSize) Flush();
  if (bytes.size() >= kBufferSize) {
    buffer_.assign(bytes);
    Flush();
    return;
  }
  buffer_.append(bytes);
}

void ReplacementFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
}

void ReplacementFile::Commit() {
  Flush();
  if (::fchmod(fd_, 0644) != 0 || ::fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    ::unlink(temp_.c_str());
    dbf::Fail(Msg(193), file_, errno);
  }
  if (::rename(temp_.c_str(), file_.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    dbf::Fail(Msg(193), file_, err);
  }
  SyncDirectory(file_.parent_path());
}

void ReplaceFile(const fs::path& file, const std::string& bytes) {
  ReplacementFile out(file);
  out.Write(bytes);
  out.Commit();
}

void RemoveCompanion(const fs::path& file) {
  const fs::path found = FindOnDisk(file);
  std::error_code ec;
  fs::remove(found, ec);
}

void RenameTable(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::exists(from, ec)) throw Error(W("Tabulka ") + PathToText(from) + W(" neexistuje."));
  const std::pair<fs::path, fs::path> moves[] = {
      {from, to},
      {FindOnDisk(MemoPath(from)), MemoPath(to)},
      {FindOnDisk(IndexPath(from)), IndexPath(to)},
  };
  for (const auto& [src, dst] : moves) {
    if (!fs::exists(src, ec) || src == dst) continue;
    // Another letter case of the target name would leave two tables side by side.
    const fs::path old = FindOnDisk(dst);
    if (old != dst && old != src) fs::remove(old, ec);
    fs::rename(src, dst, ec);
    if (ec == std::errc::cross_device_link) {
      ec.clear();
      fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec);
      if (!ec) fs::remove(src, ec);
    }
    if (ec) throw Error(Msg(198, {PathToText(src), PathToText(dst), Utf8ToCp1250(ec.message())}));
  }
}

void WriteIndex(const fs::path& indexFile, const fs::path& dbf, const std::vector<IndexTag>& tags) {
  std::vector<MdxTagInput> inputs;
  for (const IndexTag& tag : tags) {
    if (tag.field == nullptr) continue;
    MdxTagInput in;
    in.name = tag.def.name;
    in.fieldName = tag.field->name;
    in.numeric = tag.numeric;
    in.keyLength = static_cast<int>(tag.field->length);
    in.descending = tag.def.descending;
    in.entries.reserve(tag.keys.size());
    for (const IndexKey& key : tag.keys) {
      MdxKey k;
      k.number = key.number;
      k.text = key.text;
      in.entries.emplace_back(std::move(k), key.record);
    }
    inputs.push_back(std::move(in));
  }
  int year, month, day;
  Today(year, month, day);
  ReplaceFile(indexFile, BuildMdx(dbf.stem().string(), inputs, year, month, day));
}

}  // namespace orvenda::dbf
