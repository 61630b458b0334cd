#include "library/update_file.h"

#include <system_error>
#include <unordered_map>
#include <vector>

#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "documents/working_directory.h"
#include "library/library_cipher.h"
#include "model/branch_copy.h"
#include "model/project_table.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Gives the extracted exchange files their canonical names, whatever case the archive used.
void NormalizeExchangeNames(const fs::path& dir) {
  std::error_code ec;
  for (const char* name : {kUpdateTableFile, kUpdateMemoFile, kUpdateIndexFile}) {
    const std::string wanted = UpperAscii(name);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const fs::path found = it->path();
      if (found.filename() == name || UpperAscii(found.filename().string()) != wanted) continue;
      std::error_code renameError;
      fs::rename(found, dir / name, renameError);
      break;
    }
  }
}

class Refusal {
 public:
  explicit Refusal(const fs::path& file) : file_(file) {}
  [[noreturn]] void operator()(const std::string& reason) const {
    throw Error(Msg(163, {PathToText(file_), reason}));
  }

 private:
  const fs::path& file_;
};

bool IsBase64Text(const std::string& text) {
  if (text.size() % 4 != 0) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '+' || c == '/';
    if (alphabet) continue;
    // Padding only at the end of the last group.
    if (c == '=' && i + 2 >= text.size() && (i + 1 == text.size() || text[i + 1] == '=')) continue;
    return false;
  }
  return true;
}

void CheckBranch(Table& table, const Refusal& refuse) {
  for (const char* field :
       {fld::kIndex, fld::kType, fld::kText, fld::kComment, fld::kUpLink, fld::kSource, fld::kIdent,
        fld::kOpatreni, fld::kPravdep, fld::kNasledky, fld::kHodnocen}) {
    if (table.FieldNumber(field) < 0) refuse(Msg(164, {field}));
  }
  struct Record {
    int32_t type;
    int32_t upLink;
  };
  std::unordered_map<int32_t, Record> records;
  std::vector<int32_t> order;
  const int indexField = table.FieldNumber(fld::kIndex);
  const int typeField = table.FieldNumber(fld::kType);
  const int upLinkField = table.FieldNumber(fld::kUpLink);
  ClearFilter(table);
  for (table.First(); !table.IsEmpty() && !table.Eof(); table.Next()) {
    const int32_t index = table.GetInt(indexField);
    const int32_t type = table.GetInt(typeField);
    const int32_t upLink = table.GetInt(upLinkField);
    if (index <= 0) refuse(Msg(165));
    if (type != kNodeType && type != kRiskType) {
      refuse(Msg(166, {std::to_string(index), std::to_string(type)}));
    }
    if (!records.emplace(index, Record{type, upLink}).second) {
      refuse(Msg(167, {std::to_string(index)}));
    }
    for (const char* field : {fld::kIdent, fld::kOpatreni}) {
      if (!IsBase64Text(table.GetText(field))) {
        refuse(Msg(168, {std::to_string(index), field}));
      }
    }
    order.push_back(index);
  }
  const auto root = records.find(1);
  if (root == records.end() || root->second.upLink != 0) {
    refuse(Msg(169));
  }
  // Every other record hangs under a node of the file and leads up to the root.
  std::unordered_map<int32_t, bool> reaches{{1, true}};
  for (const int32_t start : order) {
    std::vector<int32_t> chain;
    int32_t at = start;
    while (reaches.find(at) == reaches.end()) {
      const Record& record = records.at(at);
      const auto parent = records.find(record.upLink);
      if (record.upLink == 0 || parent == records.end()) {
        refuse(Msg(170, {std::to_string(at), std::to_string(record.upLink)}));
      }
      if (parent->second.type != kNodeType) {
        refuse(Msg(171, {std::to_string(at), std::to_string(record.upLink)}));
      }
      if (chain.size() > records.size()) {
        refuse(Msg(172, {std::to_string(start)}));
      }
      chain.push_back(at);
      at = record.upLink;
    }
    for (const int32_t done : chain) reaches[done] = true;
  }
}

}  // namespace

void ReadUpdateFile(const fs::path& file, const fs::path& dir, Table& table, Progress& progress,
                    const Messages& messages) {
  const Refusal refuse(file);
  if (table.IsOpen()) table.Close();
  {
    TZLBArchive zlb;
    zlb.CheckCRC = true;
    zlb.OnProgress = [&progress](const std::string&, int percentage) {
      progress.SetProgress(percentage);
    };
    progress.ShowProgress(messages.Get(18), 100);
    struct HideAtEnd {
      Progress& progress;
      ~HideAtEnd() { progress.HideProgress(); }
    } hide{progress};
    try {
      zlb.OpenArchive(file);
      zlb.ExtractAll(dir);
      zlb.CloseArchive();
    } catch (const Error& e) {
      refuse(e.what());
    }
  }
  NormalizeExchangeNames(dir);
  std::error_code ec;
  if (!fs::is_regular_file(dir / kUpdateTableFile, ec)) {
    refuse(W("archiv neobsahuje ") + kUpdateTableFile + ".");
  }
  try {
    table.SetIndexName("");
    table.SetPath(dir / kUpdateTableFile);
    table.Open();
    CheckBranch(table, refuse);
    ClearFilter(table);
  } catch (const Error& e) {
    if (table.IsOpen()) table.Close();
    const std::string text = e.what();
    if (text.rfind(W("Soubor ") + PathToText(file), 0) == 0) throw;
    refuse(text);
  }
}

int32_t MergeParent(Table& library) {
  ClearFilter(library);
  const int upLinkField = library.FieldNumber(fld::kUpLink);
  const int indexField = library.FieldNumber(fld::kIndex);
  const int typeField = library.FieldNumber(fld::kType);
  // Only a node takes children: a branch hung under a top-level risk would never be shown.
  for (library.First(); !library.IsEmpty() && !library.Eof(); library.Next()) {
    if (library.GetInt(upLinkField) == 0 && library.GetInt(typeField) == kNodeType) {
      return library.GetInt(indexField);
    }
  }
  return 0;
}

int32_t MergeUpdate(Table& update, Table& library, TreeControl* tree, Progress& progress) {
  const int32_t parent = MergeParent(library);
  return CopyBranch(update, 1, ConversionKind::None, tree, parent, library, progress);
}

void WriteUpdateFile(Table& library, int32_t index, const fs::path& target, const fs::path& tempDir,
                     Progress& progress, const Messages& messages) {
  BusyCursor busy(progress);
  const fs::path work = MakeWorkingDirectory(tempDir, "RZK");
  struct RemoveAtEnd {
    fs::path dir;
    ~RemoveAtEnd() { RemoveWorkingDirectory(dir); }
  } removeAtEnd{work};

  {
    Table exchange;
    exchange.SetPath(work / "Data.dbf");
    CreateProjectTable(exchange);
    struct CloseAtEnd {
      Table& table;
      ~CloseAtEnd() {
        if (table.IsOpen()) table.Close();
      }
    } closeAtEnd{exchange};
    if (CopyBranch(library, index, ConversionKind::None, nullptr, 0, exchange, progress) == 0) {
      throw Error(Msg(118, {std::to_string(index)}));
    }
    exchange.Close();
    exchange.Rename(work / kUpdateTableFile);
  }

  std::error_code ec;
  if (!target.parent_path().empty()) {
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
      throw Error(Msg(173, {PathToText(target.parent_path()), ec.message()}));
    }
  }
  TZLBArchive zlb;
  zlb.CompressionLevel = TFileCompressionLevel::fcMaximum;
  zlb.OnErrorLogged = [](const std::string& message) { throw Error(message); };
  zlb.OnProgress = [&progress](const std::string&, int percentage) {
    progress.SetProgress(percentage);
  };
  progress.ShowProgress(messages.Get(40), 100);
  struct HideAtEnd {
    Progress& progress;
    ~HideAtEnd() { progress.HideProgress(); }
  } hide{progress};
  // The old file stays until the new one is complete.
  zlb.CreateArchive(target, /*replaceExisting=*/true);
  zlb.AddFiles({work / kUpdateTableFile, work / kUpdateMemoFile, work / kUpdateIndexFile});
  zlb.CloseArchive();
}

}  // namespace orvenda
