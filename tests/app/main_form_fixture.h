#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "model/project_table.h"
#include "support/fake_tree_control.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace orvenda::test {

// One record of a table of tree records, for building and checking tables.
struct Row {
  int32_t index = 0;
  int32_t type = 0;
  int32_t upLink = 0;
  std::string text;
  int32_t p = 0, n = 0, h = 0;
  std::string comment, source, ident, opatreni;
};

inline bool operator==(const Row& a, const Row& b) {
  return a.index == b.index && a.type == b.type && a.upLink == b.upLink && a.text == b.text &&
         a.p == b.p && a.n == b.n && a.h == b.h && a.comment == b.comment && a.source == b.source &&
         a.ident == b.ident && a.opatreni == b.opatreni;
}

inline std::ostream& operator<<(std::ostream& out, const Row& r) {
  return out << "{#" << r.index << " type " << r.type << " up " << r.upLink << " '" << r.text
             << "' " << r.p << "/" << r.n << "/" << r.h << "}";
}

inline Row Node(int32_t index, int32_t upLink, std::string text) {
  Row r;
  r.index = index;
  r.type = kNodeType;
  r.upLink = upLink;
  r.text = std::move(text);
  return r;
}

inline Row Risk(int32_t index, int32_t upLink, std::string text, int32_t p = 0, int32_t n = 0,
                int32_t h = 0) {
  Row r;
  r.index = index;
  r.type = kRiskType;
  r.upLink = upLink;
  r.text = std::move(text);
  r.p = p;
  r.n = n;
  r.h = h;
  return r;
}

inline void AppendRow(Table& table, const Row& r) {
  table.Append();
  table.Edit();
  table.SetInt(fld::kIndex, r.index);
  table.SetInt(fld::kType, r.type);
  table.SetInt(fld::kUpLink, r.upLink);
  table.SetText(fld::kText, r.text);
  table.SetText(fld::kComment, r.comment);
  table.SetText(fld::kSource, r.source);
  table.SetText(fld::kIdent, r.ident);
  table.SetText(fld::kOpatreni, r.opatreni);
  if (r.p != 0) table.SetInt(fld::kPravdep, r.p);
  if (r.n != 0) table.SetInt(fld::kNasledky, r.n);
  if (r.h != 0) table.SetInt(fld::kHodnocen, r.h);
  table.Post();
}

// Every record in the table's order, filter off.
inline std::vector<Row> ReadRows(Table& table) {
  ClearFilter(table);
  std::vector<Row> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    Row r;
    r.index = table.GetInt(fld::kIndex);
    r.type = table.GetInt(fld::kType);
    r.upLink = table.GetInt(fld::kUpLink);
    r.text = table.GetText(fld::kText);
    r.p = table.GetInt(fld::kPravdep);
    r.n = table.GetInt(fld::kNasledky);
    r.h = table.GetInt(fld::kHodnocen);
    r.comment = table.GetText(fld::kComment);
    r.source = table.GetText(fld::kSource);
    r.ident = table.GetText(fld::kIdent);
    r.opatreni = table.GetText(fld::kOpatreni);
    rows.push_back(r);
  }
  return rows;
}

inline std::vector<int32_t> Indexes(const std::vector<Row>& rows) {
  std::vector<int32_t> out;
  for (const Row& r : rows) out.push_back(r.index);
  return out;
}

// A main form on a fresh temporary directory, started as the window starts it: working table
// created empty, clipboard prepared, tree built, nothing selected, no changes.
class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tempDir = temp / "tmp";
    std::filesystem::create_directories(tempDir);
    std::filesystem::create_directories(temp / "work");
    form = MakeForm();
    focusSeen.clear();
  }

  std::unique_ptr<MainForm> MakeForm() {
    auto made = std::make_unique<MainForm>(tree, dialogs, progress, store,
                                           MainFormDirs{temp.path(), tempDir, temp / "user"});
    made->OnStateChanged = [this, raw = made.get()] {
      ++stateChanges;
      if (!raw->FocusControl.empty()) focusSeen = raw->FocusControl;
    };
    made->DataTable.SetPath(temp / "work" / "RiskData.dbf");
    CreateProjectTable(made->DataTable);
    made->PrepareClipboard();
    made->BuildTree();
    made->ShowSelected();
    made->Modified = false;
    made->StatusBar1.Panels[0].clear();
    return made;
  }

  // Writes the records straight into the working table and rebuilds the tree, as opening a
  // project file does; the project counts as unchanged.
  void Load(const std::vector<Row>& rows) {
    for (const Row& r : rows) AppendRow(form->DataTable, r);
    form->BuildTree();
    form->ShowSelected();
    form->Modified = false;
    form->StatusBar1.Panels[0].clear();
  }

  TreeControl::Item Item(int32_t index) const { return tree.FindByData(index); }

  void Select(int32_t index) {
    TreeControl::Item item = Item(index);
    ASSERT_NE(item, nullptr) << "no item for " << index;
    tree.Select(item);
  }

  std::vector<Row> Rows() { return ReadRows(form->DataTable); }

  Row RowOf(int32_t index) {
    for (const Row& r : Rows()) {
      if (r.index == index) return r;
    }
    ADD_FAILURE() << "no record " << index;
    return {};
  }

  TempDir temp;
  std::filesystem::path tempDir;
  FakeTreeControl tree;
  ScriptedDialogs dialogs;
  RecordingProgress progress;
  MemorySettingsStore store;
  std::unique_ptr<MainForm> form;
  int stateChanges = 0;
  std::string focusSeen;
};

}  // namespace orvenda::test
