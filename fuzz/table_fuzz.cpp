// Opens arbitrary bytes as a dBase table with its memo file, reads every record and field,
// then edits, appends, deletes and packs. Input: 4 bytes little-endian length of the table
// part, the table bytes, then the memo file bytes.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/error.h"
#include "model/table.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Scratch() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "table-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return fs::path(pattern);
  }();
  return dir;
}

void Write(const fs::path& file, const uint8_t* data, size_t size) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void ReadAll(orvenda::Table& t) {
  for (t.First(); !t.Eof(); t.Next()) {
    for (const orvenda::FieldDef& f : t.Fields()) {
      (void)t.GetText(f.name);
      (void)t.GetInt(f.name);
      (void)t.IsNull(f.name);
    }
  }
  for (t.Last(); !t.Bof(); t.Prior()) {
  }
  (void)t.RecordCount();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t split;
  std::memcpy(&split, data, 4);
  data += 4;
  size -= 4;
  split = size == 0 ? 0 : split % (size + 1);
  const fs::path dbf = Scratch() / "t.dbf";
  Write(dbf, data, split);
  Write(Scratch() / "t.dbt", data + split, size - split);
  std::error_code ec;
  fs::remove(Scratch() / "t.mdx", ec);

  orvenda::Table t;
  t.SetPath(dbf);
  try {
    t.Open();
    ReadAll(t);
    const auto& fields = t.Fields();
    if (!fields.empty()) {
      t.SetIndexName(fields[0].name);
      ReadAll(t);
      (void)t.MaxOf(fields[0].name, -1);
      (void)t.Locate(fields[0].name, 1);
    }
    t.SetFilter("Type=0 AND Uplink=0");
    try {
      t.SetFiltered(true);
      ReadAll(t);
    } catch (const orvenda::Error&) {
    }
    t.SetFiltered(false);
    t.Close();

    t.Open(true);
    t.Append();
    for (const orvenda::FieldDef& f : t.Fields()) {
      if (f.type == orvenda::FieldType::Integer) {
        t.SetInt(f.name, 7);
      } else {
        t.SetText(f.name, std::string(300, 'x'));
      }
    }
    t.Post();
    t.First();
    if (!t.Eof()) t.Delete();
    t.Pack();
    t.Close();
    t.Open();
    ReadAll(t);
  } catch (const orvenda::Error&) {
    // Damaged input is reported, never a crash.
  }
  return 0;
}
