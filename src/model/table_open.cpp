// Opening a table, reading its rows, and closing it (keeping the rows for a reopen).
#include "model/table_internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "base/messages.h"
#include "model/dbf_files.h"

namespace orvenda {

namespace fs = std::filesystem;
using dbf::Cell;
using dbf::Kind;
using namespace table_detail;

namespace {

// From this many records on, a table decodes on two cores while it loads.
constexpr uint32_t kParallelLoadRows = 20000;

// A whole file mapped for reading while a table loads; copying 100 MB through read() and
// zero-filling the buffer first costs more than decoding the rows.
class MappedFile {
 public:
  MappedFile(int fd, const fs::path& file) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail(Msg(195), file, errno);
    size_ = static_cast<size_t>(st.st_size);
    if (size_ == 0) return;
    void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (p == MAP_FAILED) {
      copy_ = ReadWhole(fd, file);
      size_ = copy_.size();
      return;
    }
    map_ = p;
  }
  ~MappedFile() {
    if (map_ != nullptr) ::munmap(map_, size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::string_view bytes() const {
    return map_ != nullptr ? std::string_view(static_cast<const char*>(map_), size_)
                           : std::string_view(copy_);
  }

 private:
  static std::string ReadWhole(int fd, const fs::path& file);
  void* map_ = nullptr;
  size_t size_ = 0;
  std::string copy_;
};

std::string MappedFile::ReadWhole(int fd, const fs::path& file) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) Fail(Msg(195), file, errno);
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(Msg(195), file, errno);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

struct MemoHold {
  std::mutex mutex;
  std::condition_variable released;
  bool held = false;
};

MemoHold& Hold() {
  static MemoHold hold;
  return hold;
}

}  // namespace

void HoldMemoCopies(bool hold) {
  {
    const std::lock_guard lock(Hold().mutex);
    Hold().held = hold;
  }
  Hold().released.notify_all();
}

void Table::Impl::AwaitMemos() const {
  if (memoThread.joinable()) memoThread.join();
  if (memoError) std::rethrow_exception(memoError);
}

bool Table::Impl::JoinMemos() noexcept {
  if (memoThread.joinable()) memoThread.join();
  return !memoError;
}

void Table::Impl::CloseFiles() {
  if (memoFd >= 0) ::close(memoFd);
  if (dbfFd >= 0) ::close(dbfFd);  // also drops the lock
  memoFd = dbfFd = -1;
}

void Table::Impl::Reset(bool keep) {
  // Rows whose memos never came in must not be kept for a reopen.
  if (!JoinMemos()) keep = false;
  memoError = nullptr;
  memosReady.store(UINT32_MAX, std::memory_order_relaxed);
  cached = false;
  if (keep && open) {
    cachedDbf = StampOf(dbfFd);
    cachedWrites = WriteCount(cachedDbf);
    cachedMemo = StampOf(memoFd);
    cachedPath = dbfPath;
    cached = cachedDbf.size >= 0;
  }
  CloseFiles();
  open = exclusive = readOnly = editing = inserting = changed = bulk = false;
  std::string().swap(bulkDbf);
  std::string().swap(bulkMemo);
  buffer = Row();
  SetCursor(-1);
  if (cached) return;
  builtField = -2;
  ++orderingsVersion;
  ResetObserver();
  rows.clear();
  rows.shrink_to_fit();
  order.clear();
  byIndexValue.clear();
  byUplink.clear();
  byTypeUplink.clear();
  groupsBuilt = false;
  buffer = Row();
  SetCursor(-1);
}

void Table::Impl::Load(bool wantExclusive) {
  dbfPath = dbf::FindOnDisk(path);
  int fd = ::open(dbfPath.c_str(), O_RDWR | O_CLOEXEC);
  readOnly = false;
  if (fd < 0 && (errno == EACCES || errno == EROFS)) {
    fd = ::open(dbfPath.c_str(), O_RDONLY | O_CLOEXEC);
    readOnly = true;
  }
  if (fd < 0) {
    if (errno == ENOENT) throw Error(W("Tabulka ") + PathToText(path) + W(" neexistuje."));
    Fail(Msg(196), dbfPath, errno);
  }
  dbfFd = fd;
  if (::flock(fd, (wantExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    CloseFiles();
    Busy(dbfPath);
  }
  exclusive = wantExclusive;
  headerWritten = false;
  changed = false;
  openDbf = StampOf(dbfFd);

  if (cached && cachedPath == dbfPath && openDbf == cachedDbf &&
      WriteCount(openDbf) == cachedWrites) {
    cached = false;
    if (layout.HasMemo()) {
      memoPath = dbf::FindOnDisk(dbf::MemoPath(dbfPath));
      memoFd = ::open(memoPath.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    }
    if (!layout.HasMemo() || StampOf(memoFd) == cachedMemo) {
      open = true;
      ResolveOrder(indexName);
      if (builtField != orderField || builtDesc != orderDesc) Rebuild();
      if (filtered) Activate(ParseFilter(filterText), filterText);
      GoFirst();
      return;
    }
    if (memoFd >= 0) ::close(memoFd);
    memoFd = -1;
  }
  cached = false;

  const MappedFile dbfFile(dbfFd, dbfPath);
  const std::string_view bytes = dbfFile.bytes();
  const std::string name = PathToText(dbfPath);
  layout = dbf::ParseHeader(bytes, name);
  header.assign(bytes.substr(0, layout.headerLength));

  fieldDefs.clear();
  kinds.clear();
  fieldByName.clear();
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    const dbf::Field& f = layout.fields[i];
    const Kind k = dbf::KindOf(f);
    FieldDef def;
    def.name = f.name;
    def.type = k == Kind::Integer ? FieldType::Integer
               : k == Kind::Memo  ? FieldType::Memo
                                  : FieldType::String;
    def.size = def.type == FieldType::String ? static_cast<int>(f.length) : 0;
    fieldDefs.push_back(def);
    kinds.push_back(k);
    fieldByName.emplace(UpperAscii(f.name), static_cast<int>(i));
  }
  const auto intField = [&](const char* n) {
    const auto it = fieldByName.find(n);
    return it != fieldByName.end() && kinds[it->second] == Kind::Integer ? it->second : -1;
  };
  typeField = intField("TYPE");
  uplinkField = intField("UPLINK");
  indexField = intField("INDEX");

  std::shared_ptr<const MappedFile> memoFile;
  std::string_view memoBytes;
  memoFd = -1;
  memoBlockSize = dbf::kMemoBlockSize;
  memoNextBlock = 1;
  if (layout.HasMemo()) {
    const fs::path wanted = dbf::MemoPath(dbfPath);
    memoPath = dbf::FindOnDisk(wanted);
    const int mfd = ::open(memoPath.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (mfd < 0) {
      if (errno == ENOENT) throw Error(Msg(210, {PathToText(wanted), name}));
      Fail(Msg(197), memoPath, errno);
    }
    memoFd = mfd;
    memoFile = std::make_shared<const MappedFile>(memoFd, memoPath);
    memoBytes = memoFile->bytes();
    memoBlockSize =
        dbf::ParseMemoHeader(memoBytes, layout.Dbase3Memo(), PathToText(memoPath)).blockSize;
    memoNextBlock = std::max<uint64_t>(1, (memoBytes.size() + memoBlockSize - 1) / memoBlockSize);
  }

  rows.assign(layout.recordCount, Row());
  const std::string memoName = PathToText(memoPath);
  const std::string overlap = Msg(211, {memoName});
  const uint32_t count = layout.recordCount;
  const bool big = count >= kParallelLoadRows && std::thread::hardware_concurrency() >= 2;
  // Decodes rows [from, to) and returns the memo text they hold. A big table only checks its
  // memos here; their text follows on another thread.
  const auto decode = [&](uint32_t from, uint32_t to) {
    uint64_t memoTotal = 0;
    for (uint32_t r = from; r < to; ++r) {
      const char* rec =
          bytes.data() + layout.headerLength + static_cast<uint64_t>(r) * layout.recordLength;
      Row& row = rows[r];
      row.deleted = rec[0] == '*';
      row.cells.resize(layout.fields.size());
      for (size_t i = 0; i < layout.fields.size(); ++i) {
        Cell& cell = row.cells[i];
        dbf::DecodeCell(layout.fields[i], rec, cell, name);
        if (kinds[i] == Kind::Memo && cell.num > 0) {
          const std::string_view text =
              dbf::MemoSpan(memoBytes, memoBlockSize, static_cast<uint32_t>(cell.num), memoName);
          if (!big) cell.text.assign(text);
          cell.null = text.empty();
          // Memos of a sound file never overlap; more text than the file holds means pointers
          // share blocks, which would let a small file claim huge amounts of memory.
          memoTotal += text.size();
          if (memoTotal > memoBytes.size()) throw Error(overlap);
        }
      }
    }
    return memoTotal;
  };
  // A big table decodes its second half on another core.
  if (big) {
    const uint32_t half = count / 2;
    uint64_t secondTotal = 0;
    std::exception_ptr secondError;
    std::thread second([&] {
      try {
        secondTotal = decode(half, count);
      } catch (...) {
        secondError = std::current_exception();
      }
    });
    uint64_t firstTotal = 0;
    std::exception_ptr firstError;
    try {
      firstTotal = decode(0, half);
    } catch (...) {
      firstError = std::current_exception();
    }
    second.join();
    if (firstError) std::rethrow_exception(firstError);
    if (firstTotal + secondTotal > memoBytes.size()) throw Error(overlap);
    if (secondError) std::rethrow_exception(secondError);
  } else {
    decode(0, count);
  }

  if (big && memoFile) {
    std::vector<size_t> memoFields;
    for (size_t i = 0; i < kinds.size(); ++i)
      if (kinds[i] == Kind::Memo) memoFields.push_back(i);
    memosReady.store(0, std::memory_order_relaxed);
    memoThread = std::thread([this, memoFile, memoFields, count, blockSize = memoBlockSize,
                              memoName, all = rows.data()] {
      try {
        {
          std::unique_lock lock(Hold().mutex);
          Hold().released.wait(lock, [] { return !Hold().held; });
        }
        const std::string_view memos = memoFile->bytes();
        for (uint32_t r = 0; r < count; ++r) {
          for (const size_t i : memoFields) {
            Cell& cell = all[r].cells[i];
            if (cell.num > 0)
              cell.text.assign(
                  dbf::MemoSpan(memos, blockSize, static_cast<uint32_t>(cell.num), memoName));
          }
          if (r % 256 == 255) memosReady.store(r + 1, std::memory_order_release);
        }
        memosReady.store(UINT32_MAX, std::memory_order_release);
      } catch (...) {
        memoError = std::current_exception();
      }
    });
  }

  if (const auto known = CreatedIndexes().find(PathKey(dbfPath)); known != CreatedIndexes().end()) {
    indexes = known->second;
  } else {
    indexes.clear();
    for (const dbf::Field& f : layout.fields)
      if (f.indexed) indexes.push_back({f.name, f.name, false});
  }
  open = true;
  ResolveOrder(indexName);
  Rebuild();
  if (filtered) Activate(ParseFilter(filterText), filterText);
  GoFirst();
}

Table::Table() : impl_(std::make_unique<Impl>()) { impl_->self = this; }

Table::~Table() {
  try {
    Close();
  } catch (...) {
    impl_->Reset();
  }
}

void Table::SetPath(const fs::path& dbf) {
  if (impl_->open) throw Error(Msg(207, {impl_->TableName()}));
  impl_->path = dbf;
}

const fs::path& Table::Path() const { return impl_->path; }

void Table::SetRowObserver(RowObserver* observer) {
  Impl& t = *impl_;
  t.observer = observer;
  if (observer == nullptr) return;
  observer->Reset(*this);
  if (!t.open && !t.cached) return;
  for (uint32_t rec = 0; rec < t.rows.size(); ++rec)
    if (!t.rows[rec].deleted) observer->Added(Impl::RowRef(&t, rec));
  observer->Loaded();
}

void Table::Open(bool exclusive) {
  Impl& t = *impl_;
  if (t.open) {
    if (t.exclusive == exclusive) return;
    Close();
  }
  try {
    t.Load(exclusive);
  } catch (...) {
    t.Reset();
    throw;
  }
}

void Table::Close() {
  Impl& t = *impl_;
  if (!t.open) return;
  // A pending edit is kept, not dropped: closing must not lose what was typed.
  if (t.editing) {
    try {
      Post();
    } catch (...) {
      t.Reset();
      throw;
    }
  }
  try {
    t.FlushBulk();
    if (t.changed) t.WriteIndexFile();
  } catch (...) {
    t.Reset();
    throw;
  }
  t.Reset(true);
}

bool Table::IsOpen() const { return impl_->open; }
bool Table::IsExclusive() const { return impl_->open && impl_->exclusive; }

const std::vector<FieldDef>& Table::Fields() const { return impl_->fieldDefs; }

}  // namespace orvenda
