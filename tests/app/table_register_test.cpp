// The main form's risk register as a table: export of the project or a branch, and the import
// of a CSV register through the add and store commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "app/main_form_fixture.h"
#include "reports/register_export.h"

namespace orvenda::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kHeader = "Posuzovaný objekt;Nebezpečí;P;N;H\r\n";

Row RatedRisk(int32_t index, int32_t upLink, const std::string& text, int p, int n, int h,
              const std::string& ident = "", const std::string& opatreni = "",
              const std::string& comment = "", const std::string& source = "") {
  Row r = Risk(index, upLink, W(text), p, n, h);
  r.ident = W(ident);
  r.opatreni = W(opatreni);
  r.comment = W(comment);
  r.source = W(source);
  return r;
}

// The captions from the top level down to the record's parent.
std::string ParentPath(const std::vector<Row>& rows, int32_t upLink) {
  std::map<int32_t, const Row*> byIndex;
  for (const Row& r : rows) byIndex[r.index] = &r;
  std::string path;
  while (upLink != 0) {
    const Row* parent = byIndex.at(upLink);
    path = path.empty() ? parent->text : parent->text + " / " + path;
    upLink = parent->upLink;
  }
  return path;
}

// What a risk is apart from its Index: where it hangs, its texts and ratings.
std::vector<std::string> RiskContents(const std::vector<Row>& rows) {
  std::vector<std::string> contents;
  for (const Row& r : rows) {
    if (r.type != kRiskType) continue;
    contents.push_back(ParentPath(rows, r.upLink) + "|" + r.text + "|" + r.source + "|" + r.ident +
                       "|" + r.opatreni + "|" + r.comment + "|" + std::to_string(r.p) +
                       std::to_string(r.n) + std::to_string(r.h));
  }
  std::sort(contents.begin(), contents.end());
  return contents;
}

// The CSV without its first column (Index values differ between projects).
std::string WithoutNumbers(const std::string& csv) {
  std::string out;
  size_t at = 0;
  while (at < csv.size()) {
    size_t end = csv.find("\r\n", at);
    if (end == std::string::npos) end = csv.size();
    const std::string line = csv.substr(at, end - at);
    // Quoted memos may hold CR LF: a line that has no separator before a quote continues one.
    const size_t separator = line.find(';');
    out += (separator == std::string::npos || line.find('"') < separator)
               ? line
               : line.substr(separator + 1);
    out += "\n";
    at = end + 2;
  }
  return out;
}

class TableRegisterTest : public MainFormTest {
 protected:
  // A second main form on an empty project of its own.
  struct Other {
    explicit Other(const fs::path& dir) {
      fs::create_directories(dir / "work");
      fs::create_directories(dir / "tmp");
      form = std::make_unique<MainForm>(tree, dialogs, progress, store,
                                        MainFormDirs{dir, dir / "tmp", dir / "user"});
      form->DataTable.SetPath(dir / "work" / "RiskData.dbf");
      CreateProjectTable(form->DataTable);
      form->BuildTree();
      form->ShowSelected();
    }
    FakeTreeControl tree;
    ScriptedDialogs dialogs;
    RecordingProgress progress;
    MemorySettingsStore store;
    std::unique_ptr<MainForm> form;
  };

  void LoadWorks() {
    Load({Node(1, 0, W("Závod")), Node(2, 1, "Hala"), Node(3, 2, "Lisovna"), Node(4, 1, "Sklad"),
          RatedRisk(5, 3, "Pád \"břemene\"", 3, 4, 2, "Uvolnění;\r\nbřemene", "Kontrola",
                    "Pozor, \"vázání\"", "Jeřáb"),
          RatedRisk(6, 1, "Hluk", 2, 2, 2, "", "", "", "Kompresor"),
          RatedRisk(7, 4, "Zakopnutí", 1, 3, 1), RatedRisk(8, 0, "Nahoře", 5, 5, 5),
          RatedRisk(9, 2, "Průvan", 1, 1, 4, "a\r\n\r\nb")});
  }

  fs::path WriteCsv(const std::string& name, const std::string& bytes) {
    WriteFileBytes(temp / name, bytes);
    return temp / name;
  }
};

TEST_F(TableRegisterTest, CsvRoundTripGivesTheSameNodesAndRisks) {
  LoadWorks();
  const fs::path csv = temp / "rizika.csv";
  form->ExportTableFile(csv, 0);
  EXPECT_FALSE(form->Modified) << "exporting changes nothing";

  Other other(temp / "other");
  other.form->ImportTableFile(csv);
  const std::vector<Row> original = Rows();
  const std::vector<Row> imported = ReadRows(other.form->DataTable);
  EXPECT_EQ(RiskContents(imported), RiskContents(original));
  ASSERT_EQ(imported.size(), original.size()) << "every node has a risk below it";
  std::vector<std::string> originalNodes, importedNodes;
  for (const Row& r : original) {
    if (r.type == kNodeType) originalNodes.push_back(ParentPath(original, r.upLink) + "/" + r.text);
  }
  for (const Row& r : imported) {
    if (r.type == kNodeType) importedNodes.push_back(ParentPath(imported, r.upLink) + "/" + r.text);
  }
  std::sort(originalNodes.begin(), originalNodes.end());
  std::sort(importedNodes.begin(), importedNodes.end());
  EXPECT_EQ(importedNodes, originalNodes);
  EXPECT_TRUE(other.form->Modified);
  EXPECT_EQ(other.form->StatusBar1.Panels[0], " *");
  EXPECT_EQ(other.tree.FindByData(MaxIndex(other.form->DataTable)) != nullptr, true)
      << "the tree shows what the table holds";

  // The imported project's register is the original's, row for row, but for the numbers.
  other.form->ExportTableFile(temp / "znovu.csv", 0);
  EXPECT_EQ(WithoutNumbers(ReadFileBytes(temp / "znovu.csv")), WithoutNumbers(ReadFileBytes(csv)));
}

TEST_F(TableRegisterTest, ImportGoesUnderTheSelectionReusingNodesByCaption) {
  Load({Node(1, 0, "Base"), Node(2, 1, "X"), Risk(3, 2, "r", 1, 1, 1)});
  const fs::path csv =
      WriteCsv("a.csv", std::string(kHeader) + "A / B;first;1;2;3\r\n;second;2;2;2\r\n");
  Select(2);
  form->ImportTableFile(csv);
  // Under the selected node X: A, B under A, the risk under B; the risk without a path under X.
  EXPECT_EQ(RowOf(4), Node(4, 2, "A"));
  EXPECT_EQ(RowOf(5), Node(5, 4, "B"));
  EXPECT_EQ(RowOf(6), Risk(6, 5, "first", 1, 2, 3));
  EXPECT_EQ(RowOf(7), Risk(7, 2, "second", 2, 2, 2));
  EXPECT_TRUE(form->Modified);

  // With a risk selected: beside it, under its node, finding the A and B made before.
  Select(3);
  form->ImportTableFile(csv);
  EXPECT_EQ(Rows().size(), 9u);
  EXPECT_EQ(RowOf(8), Risk(8, 5, "first", 1, 2, 3));
  EXPECT_EQ(RowOf(9), Risk(9, 2, "second", 2, 2, 2));

  // Nothing selected: at the top level, where no A exists yet.
  tree.Select(nullptr);
  form->ImportTableFile(csv);
  EXPECT_EQ(RowOf(10), Node(10, 0, "A"));
  EXPECT_EQ(RowOf(12).upLink, 11);
  EXPECT_EQ(RowOf(13).upLink, 0);
}

TEST_F(TableRegisterTest, RefusedImportLeavesTheProjectUnchanged) {
  LoadWorks();
  const std::vector<Row> before = Rows();
  const size_t items = tree.Children(nullptr).size();
  Select(2);
  const std::vector<std::pair<std::string, std::string>> refused = {
      {std::string(kHeader) + "A / New;ok;1;1;1\r\nA / New;bad;1;6;1\r\n", "řádek 3, sloupec N"},
      {"Posuzovaný objekt;P;N;H\r\nA;1;1;1\r\n", "chybí sloupec Nebezpečí"},
      {W(kHeader) + "A;ok;1;1;1\r\nA;b\x90;1;1;1\r\n", "řádek 3, sloupec Nebezpečí"},
      {std::string(kHeader) + "A;ok;1;1;1\r\nA;\"open;1;1;1\r\n", "řádek 3"},
  };
  for (const auto& [bytes, where] : refused) {
    SCOPED_TRACE(where);
    const fs::path csv = WriteCsv("bad.csv", bytes);
    EXPECT_THAT(Cp1250ToUtf8(ErrorText([&] { form->ImportTableFile(csv); })),
                AllOf(HasSubstr(where), HasSubstr("Nic nebylo přidáno")));
    EXPECT_EQ(Rows(), before);
    EXPECT_FALSE(form->Modified);
    EXPECT_EQ(tree.Children(nullptr).size(), items);
    EXPECT_EQ(tree.Children(Item(2)).size(), 2u);
  }
}

TEST_F(TableRegisterTest, UnratedRisksComeBackUnrated) {
  Load({Node(1, 0, "Hala"), RatedRisk(2, 1, "rated", 2, 3, 4), RatedRisk(3, 1, "unrated", 0, 0, 0),
        RatedRisk(4, 1, "half", 5, 0, 0, "", "", "note"), RatedRisk(5, 0, "top", 0, 0, 0)});
  const fs::path csv = temp / "rizika.csv";
  form->ExportTableFile(csv, 0);
  EXPECT_THAT(ReadFileBytes(csv), HasSubstr(";unrated;;;;;;0;nehodnoceno;"));

  Other other(temp / "other");
  other.form->ImportTableFile(csv);
  EXPECT_EQ(RiskContents(ReadRows(other.form->DataTable)), RiskContents(Rows()));
  // Empty, not 0 and not clamped to 1: the second export is the first but for the numbers.
  other.form->ExportTableFile(temp / "znovu.csv", 0);
  EXPECT_EQ(WithoutNumbers(ReadFileBytes(temp / "znovu.csv")), WithoutNumbers(ReadFileBytes(csv)));
}

TEST_F(TableRegisterTest, ImportIsOneStepOfTheHistoryAndTheTreeShowsEveryRecord) {
  LoadWorks();
  form->StartHistory();
  const std::vector<Row> before = Rows();
  const fs::path csv =
      WriteCsv("a.csv", std::string(kHeader) + "Nový / Pod;first;1;2;3\r\nHala;second;2;2;2\r\n" +
                            "Nový / Pod;third;;;\r\nNový;fourth;5;5;5\r\n");
  Select(1);
  form->ImportTableFile(csv);
  const std::vector<Row> after = Rows();
  ASSERT_EQ(after.size(), before.size() + 6) << "two nodes and four risks";
  EXPECT_EQ(RowOf(10), Node(10, 1, W("Nový")));
  EXPECT_EQ(RowOf(11), Node(11, 10, "Pod"));
  EXPECT_EQ(RowOf(12), Risk(12, 11, "first", 1, 2, 3));
  EXPECT_EQ(RowOf(13), Risk(13, 2, "second", 2, 2, 2)) << "the existing Hala is reused";
  EXPECT_EQ(RowOf(14), Risk(14, 11, "third", 0, 0, 0));
  EXPECT_EQ(RowOf(15), Risk(15, 10, "fourth", 5, 5, 5));
  EXPECT_EQ(tree.Data(tree.Selected()), 15) << "the last risk is selected";
  EXPECT_EQ(form->DescrEdit.text, "fourth") << "and shown";

  // Each record has its item, under its parent's, captioned with its text.
  auto expectTree = [&](const std::vector<Row>& rows) {
    for (const Row& r : rows) {
      SCOPED_TRACE(r.index);
      const TreeControl::Item item = Item(r.index);
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(tree.Caption(item), r.text);
      const TreeControl::Item parent = tree.Parent(item);
      EXPECT_EQ(parent == nullptr ? 0 : tree.Data(parent), r.upLink);
    }
  };
  expectTree(after);

  // One undo takes the whole import back; redo brings it again.
  ASSERT_TRUE(form->History.CanUndo());
  form->Zpet1Click();
  EXPECT_EQ(Rows(), before);
  EXPECT_EQ(Item(10), nullptr);
  EXPECT_EQ(Item(15), nullptr);
  EXPECT_FALSE(form->History.CanUndo());
  form->Znovu1Click();
  EXPECT_EQ(Rows(), after);
  expectTree(after);

  // What the import wrote is in the table's files, not only in memory.
  form->DataTable.Close();
  form->DataTable.Open();
  EXPECT_EQ(Rows(), after);
}

TEST_F(TableRegisterTest, MenuHandlersAskForTheFile) {
  LoadWorks();
  const fs::path csv = WriteCsv("in.csv", std::string(kHeader) + "Nový;r;1;1;1\r\n");

  // Import: cancelled, then chosen; the folder is offered again.
  dialogs.openAnswers = {std::nullopt, csv};
  form->ImportTable1Click();
  EXPECT_EQ(Rows().size(), 9u);
  form->ImportTable1Click();
  EXPECT_EQ(Rows().size(), 11u);
  ASSERT_EQ(dialogs.openRequests.size(), 2u);
  EXPECT_EQ(dialogs.openRequests[0].filter, "Tabulky CSV|*.csv");
  EXPECT_EQ(form->TableFiles.ImportDialog.InitialDir, temp.path());

  // Not while an edit is open: storing the rows would throw it away.
  Select(5);
  form->DescrEdit.text = "changed";
  form->RiskSourceEditChange();
  form->ImportTable1Click();
  EXPECT_EQ(dialogs.openRequests.size(), 2u);
  EXPECT_EQ(dialogs.warnings.size(), 1u);
  form->CancelBitBtnClick();

  // Export of the whole project; a name without an extension becomes a workbook.
  dialogs.saveAnswers = {temp / "vse", temp / "vetev.csv", std::nullopt};
  form->ExportTable1Click();
  EXPECT_TRUE(fs::exists(temp / "vse.xlsx"));
  // The branch of a selected risk is its node's.
  Select(5);
  form->ExportTableBranch1Click();
  const std::string branch = ReadFileBytes(temp / "vetev.csv");
  EXPECT_THAT(branch, HasSubstr("\r\n5;Závod / Hala / Lisovna;"));
  EXPECT_EQ(branch.find("Hluk"), std::string::npos);
  form->ExportTableBranch1Click();  // cancelled: nothing happens
  EXPECT_EQ(dialogs.saveRequests.size(), 3u);

  // The project file is never overwritten by a table, whatever name leads to it.
  WriteFileBytes(temp / "Dilna.RSK", "project");
  form->ProjectFileName = temp / "Dilna.RSK";
  fs::create_symlink(temp / "Dilna.RSK", temp / "Dilna.csv");
  dialogs.saveAnswers = {temp / "Dilna.csv"};
  EXPECT_THAT(ErrorText([&] { form->ExportTable1Click(); }), HasSubstr("soubor projektu"));
  EXPECT_EQ(ReadFileBytes(temp / "Dilna.RSK"), "project");
}

}  // namespace
}  // namespace orvenda::test
