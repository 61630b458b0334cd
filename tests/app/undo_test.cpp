// Undo and redo of project edits through the main form: long random runs of the editing
// commands put back exactly, the change mark, the menu, and the page mends that go with them.
#include <gtest/gtest.h>

#include <random>

#include "app/main_form_fixture.h"
#include "app/select_tree_form.h"
#include "library/report_rows.h"
#include "model/risk.h"
#include "model/tree_builder.h"

namespace orvenda::test {
namespace {

namespace fs = std::filesystem;

// A tree as comparable values: caption, data, risk or node, children in order.
struct Shape {
  std::string caption;
  int32_t data = 0;
  bool risk = false;
  std::vector<Shape> children;
  bool operator==(const Shape&) const = default;
};

std::vector<Shape> ShapeOf(const TreeControl& tree, TreeControl::Item parent) {
  std::vector<Shape> shapes;
  for (TreeControl::Item item : tree.Children(parent)) {
    shapes.push_back(Shape{tree.Caption(item), tree.Data(item),
                           tree.Image(item) == TreeControl::kRisk, ShapeOf(tree, item)});
  }
  return shapes;
}

class UndoTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    form->AskDelete = false;
    form->ProjectDir = temp / "work";
  }

  void LoadFresh(const std::vector<Row>& rows) {
    Load(rows);
    form->StartHistory();
  }

  // The tree the table gives when built afresh.
  std::vector<Shape> BuiltShape() {
    FakeTreeControl fresh;
    tMyNodeIndexes lookup;
    orvenda::BuildTree(fresh, form->DataTable, lookup, progress, form->MessagesBox);
    return ShapeOf(fresh, nullptr);
  }

  void ExpectTreeFromTable() { EXPECT_TRUE(ShapeOf(tree, nullptr) == BuiltShape()); }

  // The kept sums of a sample of nodes against a walk of the table.
  void ExpectSums(std::mt19937& random) {
    std::vector<int32_t> nodes;
    for (const Row& r : Rows())
      if (r.type == kNodeType) nodes.push_back(r.index);
    for (int i = 0; i < 8 && !nodes.empty(); ++i) {
      const int32_t node = nodes[random() % nodes.size()];
      const auto kept = form->DataTableSums.Sum(node);
      ASSERT_TRUE(kept.has_value()) << node;
      const RiskSum walked = SumRisks(form->DataTable, node);
      EXPECT_EQ(kept->sum, walked.sum) << node;
      EXPECT_EQ(kept->count, walked.count) << node;
    }
  }

  int32_t Selected() { return form->SelectedIndex(); }

  std::vector<TreeControl::Item> AllItems() {
    std::vector<TreeControl::Item> items = tree.Children(nullptr);
    for (std::size_t at = 0; at < items.size(); ++at)
      for (TreeControl::Item child : tree.Children(items[at])) items.push_back(child);
    return items;
  }
};

// A project of `size` records under a few top nodes, with one branch of `big` records.
std::vector<Row> Generated(std::mt19937& random, int size, int big) {
  std::vector<Row> rows;
  std::vector<int32_t> nodes;
  int32_t next = 1;
  for (int top = 0; top < 3; ++top) {
    nodes.push_back(next);
    rows.push_back(Node(next++, 0, "Top " + std::to_string(top)));
  }
  const int32_t bigRoot = next;
  rows.push_back(Node(next++, 1, "Big"));
  std::vector<int32_t> bigNodes{bigRoot};
  for (int i = 0; i < big; ++i) {
    const int32_t parent = bigNodes[random() % bigNodes.size()];
    if (random() % 5 == 0) {
      bigNodes.push_back(next);
      rows.push_back(Node(next++, parent, "B" + std::to_string(i)));
    } else {
      Row r = Risk(next++, parent, W("Riziko č. ") + std::to_string(i), 1 + random() % 5,
                   1 + random() % 5, 1 + random() % 5);
      r.ident = std::string(random() % 300, 'i');
      rows.push_back(r);
    }
  }
  for (int i = 0; i < size; ++i) {
    const int32_t parent = nodes[random() % nodes.size()];
    if (random() % 4 == 0) {
      nodes.push_back(next);
      Row n = Node(next++, parent, W("Uzel ") + std::to_string(i));
      n.comment = "c" + std::to_string(i);
      rows.push_back(n);
    } else {
      Row r = Risk(next++, parent, "R" + std::to_string(i), 1 + random() % 5, 1 + random() % 5,
                   1 + random() % 5);
      r.opatreni = W("Opatření ") + std::to_string(i);
      rows.push_back(r);
    }
  }
  // Not in Index order in the file, as a project edited for years is.
  std::shuffle(rows.begin(), rows.end(), random);
  return rows;
}

struct State {
  std::vector<Row> rows;
  int32_t selected = 0;       // before the next step
  int32_t selectedAfter = 0;  // right after the step that led here
};

TEST_F(UndoTest, RandomEditsUndoneAndRedoneExactlyWithTreeSumsAndChangeMark) {
  std::mt19937 random(20240611);
  LoadFresh(Generated(random, 400, 2500));
  form->ProjectFileName = temp / "Projekt.RSK";

  // states[i]: the project before step i+1 of the history.
  std::vector<State> states{{Rows(), Selected()}};
  std::size_t savedAt = 0;
  bool saved = true;
  int undosAlong = 0;
  for (int step = 0; step < 160; ++step) {
    std::vector<TreeControl::Item> items = AllItems();
    const auto pick = [&] { return items.empty() ? nullptr : items[random() % items.size()]; };
    int32_t selectedBefore = 0;
    const auto mark = [&] { selectedBefore = Selected(); };
    const std::size_t before = form->History.Position();
    switch (random() % 10) {
      case 0:
        tree.Select(pick());
        mark();
        form->AddNodeSpeedButtonClick();
        break;
      case 1:
        tree.Select(pick());
        mark();
        form->AddRiskSpeedButtonClick();
        break;
      case 2:
      case 3: {
        tree.Select(pick());
        if (form->ActivePage == Page::UzelTabSheet) {
          form->TextEdit.text = "N" + std::to_string(step);
          form->TextCommentMemo.text = std::string(random() % 700, 'k');
        } else if (form->ActivePage == Page::RizikoTabSheet) {
          form->DescrEdit.text = W("Změna ") + std::to_string(step);
          form->NasledkySpinEdit.value = 1 + random() % 5;
          form->RiskMemo.text.clear();
        }
        form->SetEditState(true);
        mark();
        form->StoreBitBtnClick();
        break;
      }
      case 4:
        tree.Select(pick());
        mark();
        form->DeleteSpeedButtonClick();
        break;
      case 5: {
        tree.Select(pick());
        mark();
        if (TreeControl::Item target = pick()) form->TreeNT1DragDrop(target);
        break;
      }
      case 6:
        tree.Select(pick());
        form->Copy1Click();
        tree.Select(pick());
        mark();
        form->Insert1Click();
        break;
      case 7:
        tree.Select(pick());
        mark();
        form->Vyjmout1Click();
        break;
      case 8:
        // Some steps back and forth on the way: a new step then drops what could be redone.
        if (form->History.CanUndo() && random() % 2 == 0) {
          form->Zpet1Click();
          ++undosAlong;
          states.pop_back();
          ASSERT_EQ(Rows(), states.back().rows) << "undo along the way, step " << step;
          EXPECT_EQ(form->Modified, !(saved && form->History.Position() == savedAt));
          continue;
        }
        break;
      case 9:
        if (random() % 3 == 0) {
          form->SaveProject();
          saved = true;
          savedAt = form->History.Position();
          EXPECT_FALSE(form->Modified);
          continue;
        }
        tree.Select(pick());
        break;
    }
    if (form->History.Position() != before) {
      ASSERT_EQ(form->History.Position(), before + 1) << "one action, one step";
      if (saved && savedAt > before) saved = false;
      states.back().selected = selectedBefore;
      states.push_back({Rows(), Selected(), Selected()});
      EXPECT_TRUE(form->Modified);
    } else {
      // Nothing happened to the project: what is on the screen differs from the last state
      // only in the selection.
      ASSERT_EQ(Rows(), states.back().rows) << "step " << step;
      states.back().selected = Selected();
    }
  }
  ASSERT_GT(states.size(), 60u);
  EXPECT_GT(undosAlong, 0);
  const State end = states.back();

  // Undo all: every intermediate state row for row, the tree as the table builds it, the
  // selection as it was before each step, the mark clear exactly at the saved point.
  for (std::size_t at = states.size() - 1; at > 0; --at) {
    ASSERT_TRUE(form->Zpet1.enabled);
    form->Zpet1Click();
    ASSERT_EQ(form->History.Position(), at - 1);
    ASSERT_EQ(Rows(), states[at - 1].rows) << "after undoing to " << at - 1;
    EXPECT_EQ(Selected(), states[at - 1].selected);
    EXPECT_EQ(form->Modified, !(saved && at - 1 == savedAt)) << at - 1;
    EXPECT_EQ(form->StatusBar1.Panels[0].empty(), !form->Modified);
    if (at % 10 == 0) {
      ExpectTreeFromTable();
      ExpectSums(random);
    }
  }
  EXPECT_FALSE(form->History.CanUndo());
  EXPECT_FALSE(form->Zpet1.enabled);
  ExpectTreeFromTable();
  ExpectSums(random);

  // Redo all: each state again, up to the end.
  for (std::size_t at = 1; at < states.size(); ++at) {
    ASSERT_TRUE(form->Znovu1.enabled);
    form->Znovu1Click();
    if (at % 7 == 0) {
      ASSERT_EQ(Rows(), states[at].rows) << "after redoing to " << at;
    }
  }
  EXPECT_EQ(Rows(), end.rows);
  EXPECT_EQ(Selected(), end.selectedAfter);
  ExpectTreeFromTable();
  ExpectSums(random);
  EXPECT_EQ(form->Modified, !(saved && form->History.Position() == savedAt));
}

TEST_F(UndoTest, SaveKeepsHistoryPackedTableStillUndoesAndMarkFollowsSavedPoint) {
  LoadFresh({Node(1, 0, "A"), Risk(2, 1, "r", 2, 2, 2), Node(3, 0, "B"), Risk(4, 3, "s", 5, 5, 5)});
  form->ProjectFileName = temp / "Projekt.RSK";
  const std::vector<Row> start = Rows();
  Select(3);
  form->DeleteSpeedButtonClick();  // leaves deleted records for the save to pack
  const std::vector<Row> afterDelete = Rows();
  EXPECT_EQ(form->Zpet1.text, W("Zpět: Vymazat 'B'"));
  form->SaveProject();
  EXPECT_FALSE(form->Modified);

  form->Zpet1Click();
  EXPECT_EQ(Rows(), start);
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(form->StatusBar1.Panels[0], " *");
  EXPECT_EQ(Selected(), 3);
  EXPECT_EQ(form->Znovu1.text, W("Znovu: Vymazat 'B'"));
  form->Znovu1Click();
  EXPECT_EQ(Rows(), afterDelete);
  EXPECT_FALSE(form->Modified);
  EXPECT_TRUE(form->StatusBar1.Panels[0].empty());

  // Save as starts afresh; so do New and Open.
  form->Zpet1Click();
  form->StartHistory();
  EXPECT_FALSE(form->History.CanUndo());
  EXPECT_FALSE(form->History.CanRedo());
  EXPECT_EQ(form->Zpet1.text, W("Zpět"));
}

TEST_F(UndoTest, UndoWaitsWhileAnEditIsOpenAndStoresAreStepsOfTheirOwn) {
  LoadFresh({Node(1, 0, "A")});
  Select(1);
  form->AddRiskSpeedButtonClick();
  const int32_t risk = Selected();
  form->DescrEdit.text = W("Nové");
  form->RiskSourceEditChange();  // the page's change handler opens the edit
  ASSERT_TRUE(form->EditState);
  EXPECT_FALSE(form->Zpet1.enabled);
  form->Zpet1Click();
  EXPECT_EQ(form->History.Position(), 1u);
  EXPECT_EQ(Rows().size(), 2u);
  form->StoreBitBtnClick();
  EXPECT_TRUE(form->Zpet1.enabled);
  EXPECT_EQ(form->Zpet1.text, W("Zpět: Uložit 'Nové'"));
  EXPECT_EQ(form->History.Position(), 2u);
  form->Zpet1Click();
  EXPECT_EQ(RowOf(risk).text, "");
  EXPECT_EQ(form->Zpet1.text, W("Zpět: Přidat riziko"));
  form->Zpet1Click();
  EXPECT_EQ(Rows(), (std::vector<Row>{Node(1, 0, "A")}));
  EXPECT_EQ(Selected(), 1);
  EXPECT_EQ(form->ActivePage, Page::UzelTabSheet);
  EXPECT_EQ(form->TextEdit.text, "A");
}

TEST_F(UndoTest, UndoKeepsExpandedNodesAndAChangeOutsideAnyStepClearsTheHistory) {
  LoadFresh({Node(1, 0, "A"), Node(2, 1, "B"), Risk(3, 2, "r"), Node(4, 0, "C")});
  tree.Expand(Item(1), false);
  tree.Expand(Item(2), false);
  Select(4);
  form->DeleteSpeedButtonClick();
  form->Zpet1Click();
  EXPECT_TRUE(tree.IsExpanded(Item(1)));
  EXPECT_TRUE(tree.IsExpanded(Item(2)));
  EXPECT_FALSE(tree.IsExpanded(Item(4)));
  EXPECT_EQ(tree.Image(Item(1)), TreeControl::kExpandedNode);

  // A write that no action recorded: the steps could put back wrong rows, so they go.
  AppendRow(form->DataTable, Risk(9, 1, "outside"));
  EXPECT_THROW(form->Znovu1Click(), Error);
  EXPECT_FALSE(form->History.CanRedo());
  EXPECT_FALSE(form->History.CanUndo());
  EXPECT_EQ(RowOf(4).text, "C");
}

TEST_F(UndoTest, CutIsOneStepAndPastesBack) {
  LoadFresh({Node(1, 0, "A"), Risk(2, 1, "r", 1, 2, 3), Node(3, 0, "B")});
  const std::vector<Row> start = Rows();
  Select(1);
  form->Vyjmout1Click();
  EXPECT_EQ(Rows(), (std::vector<Row>{Node(3, 0, "B")}));
  EXPECT_EQ(form->History.Position(), 1u);
  EXPECT_EQ(form->Zpet1.text, W("Zpět: Vyjmout 'A'"));
  Select(3);
  form->Vlozit1Click();
  const std::vector<Row> pasted = Rows();
  ASSERT_EQ(pasted.size(), 3u);
  EXPECT_EQ(pasted[1].text, "A");
  EXPECT_EQ(pasted[1].upLink, 3);
  form->Zpet1Click();
  form->Zpet1Click();
  EXPECT_EQ(Rows(), start);
}

TEST_F(UndoTest, RiskLevelFollowsTheRatingsAsTypedAndANewRiskShowsItsShownRatings) {
  LoadFresh({Node(1, 0, "A"), Risk(2, 1, "r", 2, 3, 4)});
  Select(2);
  EXPECT_EQ(form->StatusBar1.Panels[1], RiskStatusText(form->MessagesBox, 24));
  form->NasledkySpinEdit.value = 5;
  form->RiskSourceEditChange();
  EXPECT_EQ(form->StatusBar1.Panels[1], RiskStatusText(form->MessagesBox, 40));
  form->CancelBitBtnClick();
  EXPECT_EQ(form->StatusBar1.Panels[1], RiskStatusText(form->MessagesBox, 24));

  Select(1);
  form->AddRiskSpeedButtonClick();
  // Empty ratings show as 1 on the page: the level is that of 1 × 1 × 1.
  EXPECT_EQ(form->ExistenceSpinEdit.value, 1);
  EXPECT_EQ(form->StatusBar1.Panels[1], RiskStatusText(form->MessagesBox, 1));
}

TEST_F(UndoTest, F2FocusesThePagesFirstField) {
  LoadFresh({Node(1, 0, "A"), Risk(2, 1, "r")});
  Select(1);
  form->EditSelectedClick();
  EXPECT_EQ(focusSeen, "TextEdit");
  Select(2);
  form->EditSelectedClick();
  EXPECT_EQ(focusSeen, "RiskSourceEdit");
}

class UndoLibraryTest : public UndoTest {
 protected:
  void SetUp() override {
    UndoTest::SetUp();
    form->AdminMarker = temp / "Admin.set";
    form->OpenLibraries();
    library = std::make_unique<SelectTreeForm>(*form, builtIn, user);
    form->selectTreeForm = library.get();
  }
  void TearDown() override {
    library.reset();
    form->CloseLibraries();
  }
  FakeTreeControl builtIn, user;
  std::unique_ptr<SelectTreeForm> library;
};

TEST_F(UndoLibraryTest, TakeIsOneStepAndThePageShowsTheHighlightedItem) {
  Table& lib = form->Libs.TableOf(kBuiltInLibrary);
  AppendRow(lib, Node(1, 0, "L"));
  for (int32_t i = 2; i < 40; ++i) AppendRow(lib, Risk(i, 1, "lib " + std::to_string(i), 2, 2));
  LoadFresh({Node(1, 0, "Target"), Risk(2, 1, "old", 1, 1, 1)});
  const std::vector<Row> start = Rows();
  Select(1);
  library->ShowModal = [&] {
    library->FormShow();
    library->ActiveLibrary = kBuiltInLibrary;
    library->PageControl1Change();
    builtIn.SetChecked(builtIn.FindByData(1), true);
    for (int32_t i = 2; i < 40; ++i) builtIn.SetChecked(builtIn.FindByData(i), true);
    library->OKBitBtnClick();
  };
  form->AddFromLibSpeedButtonClick();
  ASSERT_EQ(Rows().size(), start.size() + 39);
  EXPECT_EQ(form->History.Position(), 1u);
  EXPECT_EQ(form->Zpet1.text, W("Zpět: Přidat z knihovny"));

  // The tree highlights the target; the page shows it, so a store goes to it.
  ASSERT_EQ(Selected(), 1);
  EXPECT_EQ(form->ActivePage, Page::UzelTabSheet);
  EXPECT_EQ(form->TextEdit.text, "Target");
  form->TextEdit.text = "Target 2";
  form->SetEditState(true);
  form->StoreBitBtnClick();
  EXPECT_EQ(RowOf(1).text, "Target 2");

  form->Zpet1Click();
  form->Zpet1Click();
  EXPECT_EQ(Rows(), start);
  ExpectTreeFromTable();
  form->Znovu1Click();
  EXPECT_EQ(Rows().size(), start.size() + 39);
}

TEST_F(UndoTest, HtmlImportIsOneStepAndLeavesThePageOnTheHighlightedItem) {
  LoadFresh({Node(1, 0, "A")});
  const std::vector<Row> start = Rows();
  Select(1);
  form->ImportHtmlText(ReportPage(RiskRow("A / B", "S1", "2", "3", "1") + RiskRow("C", "S2")));
  ASSERT_EQ(Rows().size(), start.size() + 4);  // B under A, its risk; C and its risk
  EXPECT_EQ(form->History.Position(), 1u);
  EXPECT_EQ(form->Zpet1.text, W("Zpět: Import HTML"));
  ASSERT_NE(Selected(), 0);
  EXPECT_EQ(form->ActivePage, Page::RizikoTabSheet);
  EXPECT_EQ(form->RiskSourceEdit.text, RowOf(Selected()).source);
  form->Zpet1Click();
  EXPECT_EQ(Rows(), start);
}

// The recorder tells rows apart that share every integer, and cancels what an action both put
// in and took out.
TEST(RowRecorderTest, RowsOfTheSameNumbersAreToldApartByTheirTexts) {
  struct Quiet : RowObserver {
    void Reset(const Table&) override {}
    void Added(const RowValues&) override {}
    void Removed(const RowValues&) override {}
  } next;
  TempDir temp;
  Table table;
  table.SetPath(temp / "RiskData.dbf");
  CreateProjectTable(table);
  RowRecorder recorder(table, next);
  const auto add = [&](const char* text) {
    table.Append();
    table.SetInt(fld::kIndex, 7);
    table.SetText(fld::kText, text);
    table.Post();
    return table.CurrentImage();
  };
  const auto go = [&](const char* text) {
    for (table.First(); !table.Eof(); table.Next()) {
      if (table.GetText(fld::kText) == text) return;
    }
    FAIL() << text;
  };

  recorder.Start();
  const RowImage a = add("a");
  add("b");
  go("b");
  table.Delete();  // added and taken away again: in neither
  go("a");
  table.Edit();
  table.Post();  // stored unchanged
  RowChanges first = recorder.Stop();
  EXPECT_TRUE(first.before.empty());
  ASSERT_EQ(first.after.size(), 1u);
  EXPECT_EQ(first.after[0], a);

  recorder.Start();
  const RowImage b = add("b");
  go("a");
  table.Edit();
  table.SetText(fld::kText, "c");
  table.Post();
  const RowImage c = table.CurrentImage();
  RowChanges second = recorder.Stop();
  ASSERT_EQ(second.before.size(), 1u);
  EXPECT_EQ(second.before[0], a);
  // In the order the action put them in.
  ASSERT_EQ(second.after.size(), 2u);
  EXPECT_EQ(second.after[0], b);
  EXPECT_EQ(second.after[1], c);
}

}  // namespace
}  // namespace orvenda::test
