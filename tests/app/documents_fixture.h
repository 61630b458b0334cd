#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/main_form_fixture.h"
#include "archive/zlb_archive.h"
#include "base/cp1250.h"
#include "documents/project_file.h"
#include "model/project_table.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace orvenda::test {

namespace fs = std::filesystem;

inline std::vector<Row> SampleRows() {
  Row risk = Risk(2, 1, W("Hluk u lisu"), 3, 4, 2);
  risk.comment = W("Poznámka k riziku");
  risk.ident = W("Dlouhý popis nebezpečí,\r\nna dvou řádcích");
  risk.opatreni = W("Chrániče sluchu");
  risk.source = W("Lis");
  return {Node(1, 0, W("Dílna")), risk, Node(3, 1, W("Sklad")), Risk(4, 3, W("Pád břemene")),
          Node(5, 0, W("Kancelář"))};
}

// Makes table files of the project schema holding `rows`; `dbf` may carry any extension.
inline void WriteTable(const fs::path& dbf, const std::vector<Row>& rows) {
  fs::create_directories(dbf.parent_path());
  Table table;
  table.SetPath(dbf);
  CreateProjectTable(table);
  for (const Row& r : rows) AppendRow(table, r);
  table.Close();
}

// An archive of the given files, written by the archive component itself.
inline void WriteArchive(const fs::path& file, std::vector<fs::path> members) {
  TZLBArchive archive;
  archive.CompressionLevel = TFileCompressionLevel::fcMaximum;
  archive.CreateArchive(file);
  archive.AddFiles(members);
  archive.CloseArchive();
}

// A main form started as the window starts it (FormCreate, FormShow), on its own temporary,
// program and per-user directories.
class DocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(tempDir);
    fs::create_directories(programDir);
    fs::create_directories(files);
    form = std::make_unique<MainForm>(tree, dialogs, progress, store,
                                      MainFormDirs{programDir, tempDir, userDir});
    form->AdminMarker = temp / "Admin.set";
  }

  void TearDown() override {
    if (form) form->FormDestroy();
  }

  void Start(const fs::path& commandLine = {}) {
    form->CommandLineFile = commandLine;
    form->FormCreate();
    form->FormShow();
  }

  // A project file "*.RSK" (any name) holding `rows`.
  fs::path MakeProject(const std::string& name, const std::vector<Row>& rows) {
    const fs::path dir = temp / ("make-" + std::to_string(++made_));
    WriteTable(dir / "RiskData.dbf", rows);
    const fs::path file = files / fs::path(name);
    WriteArchive(file, {dir / "RiskData.dbf", dir / "RiskData.dbt", dir / "RiskData.mdx"});
    return file;
  }

  // An old project: NAME.RZK with .RZT and .RZX beside it.
  fs::path MakeOldProject(const std::string& stem, const std::vector<Row>& rows,
                          const fs::path& where) {
    const fs::path rzk = where / (stem + ".RZK");
    WriteTable(rzk, rows);
    for (const char* ext : {".RZK", ".RZT", ".RZX"}) {
      EXPECT_TRUE(fs::exists(where / (stem + ext))) << stem << ext;
    }
    return rzk;
  }

  // Rows of a project file, read through an archive and a table of our own.
  std::vector<Row> RowsOfProjectFile(const fs::path& file) {
    const fs::path dir = temp / ("read-" + std::to_string(++made_));
    TZLBArchive archive;
    archive.CheckCRC = true;
    archive.OpenArchive(file);
    std::vector<std::string> names;
    for (int i = 0; i < archive.FileCount(); ++i) names.push_back(archive.GetFileEntry(i).FileName);
    EXPECT_EQ(names, (std::vector<std::string>{"RiskData.dbf", "RiskData.dbt", "RiskData.mdx"}));
    archive.ExtractAll(dir);
    archive.CloseArchive();
    Table table;
    table.SetPath(dir / "RiskData.dbf");
    table.SetIndexName(fld::kIndex);
    table.Open();
    return ReadRows(table);
  }

  std::vector<Row> Rows() { return ReadRows(form->DataTable); }

  // The project's working directories (the libraries' one of the run left aside).
  std::vector<fs::path> WorkingDirs() const {
    std::vector<fs::path> dirs;
    for (const auto& entry : fs::directory_iterator(tempDir)) {
      // Library working copies, this run's or a child run's, are not project directories.
      if (fs::exists(entry.path() / "UserLib.dbf") || fs::exists(entry.path() / "RiskLib.dbf"))
        continue;
      if (entry.path().filename().string().rfind("RZK", 0) == 0) dirs.push_back(entry.path());
    }
    return dirs;
  }

  // Adds a node through the window's own command, which marks the project changed.
  void AddNode(const std::string& text) {
    form->AddNodeSpeedButtonClick();
    form->TextEdit.text = text;
    form->RiskSourceEditChange();
    form->StoreBitBtnClick();
  }

  const std::string& M(int n) const { return form->MessagesBox.Get(n); }

  TempDir temp;
  fs::path tempDir = temp / "tmp";
  fs::path programDir = temp / "prog";
  fs::path userDir = temp / "user" / "Software" / "Tumbek" / "Orvenda";
  fs::path files = temp / "files";
  FakeTreeControl tree;
  ScriptedDialogs dialogs;
  RecordingProgress progress;
  MemorySettingsStore store;
  std::unique_ptr<MainForm> form;

 private:
  int made_ = 0;
};

}  // namespace orvenda::test
