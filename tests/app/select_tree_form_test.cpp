#include "app/select_tree_form.h"

#include <cstring>

#include "app/main_form_fixture.h"
#include "library/library_cipher.h"

namespace orvenda::test {
namespace {

namespace fs = std::filesystem;

// The dBase header's count of physical records (deleted ones included until a pack).
uint32_t PhysicalRecords(const fs::path& dbf) {
  const std::string bytes = ReadFileBytes(dbf);
  uint32_t count = 0;
  std::memcpy(&count, bytes.data() + 4, 4);
  return count;
}

// A library risk as stored: Ident and Opatreni enciphered.
Row LibRisk(int32_t index, int32_t upLink, std::string text, std::string ident = "",
            std::string opatreni = "", int32_t p = 0, int32_t n = 0) {
  Row r = Risk(index, upLink, std::move(text), p, n);
  r.ident = EncryptLibraryText(ident);
  r.opatreni = EncryptLibraryText(opatreni);
  return r;
}

class SelectTreeFormTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    form->AdminMarker = temp / "Admin.set";
    form->OpenLibraries();
    library = std::make_unique<SelectTreeForm>(*form, builtIn, user);
    form->selectTreeForm = library.get();
  }
  void TearDown() override {
    library.reset();
    form->CloseLibraries();
  }

  void Fill(int which, const std::vector<Row>& rows) {
    for (const Row& r : rows) AppendRow(form->Libs.TableOf(which), r);
  }
  // Shows the window in `mode` on the page of `which` and rebuilds its trees from the tables.
  void Show(LibraryMode mode, int which) {
    library->LoadedMode = LibraryMode::None;
    Reshow(mode, which);
  }
  void Reshow(LibraryMode mode, int which) {
    library->ActiveLibrary = which;
    library->Execute(mode);
  }
  FakeTreeControl& TreeOf(int which) { return which == kBuiltInLibrary ? builtIn : user; }
  void SelectIn(int which, int32_t index) {
    TreeControl::Item item = TreeOf(which).FindByData(index);
    ASSERT_NE(item, nullptr) << index;
    TreeOf(which).Select(item);
  }
  std::vector<Row> LibRows(int which) { return ReadRows(form->Libs.TableOf(which)); }
  Row LibRow(int which, int32_t index) {
    for (const Row& r : LibRows(which)) {
      if (r.index == index) return r;
    }
    ADD_FAILURE() << "no record " << index;
    return {};
  }
  void Find(const std::string& text, bool wholeWord = false, bool down = true) {
    library->FindDialog1.FindText = text;
    library->FindDialog1.WholeWord = wholeWord;
    library->FindDialog1.Down = down;
    library->FindDialog1Find();
  }
  std::vector<Row> ClipboardRows() {
    form->ClipboardTable.Open();
    std::vector<Row> rows = ReadRows(form->ClipboardTable);
    form->ClipboardTable.Close();
    return rows;
  }
  int32_t SelectedIndex(int which) {
    const TreeControl::Item item = TreeOf(which).Selected();
    return item ? TreeOf(which).Data(item) : 0;
  }

  FakeTreeControl builtIn, user;
  std::unique_ptr<SelectTreeForm> library;
};

TEST_F(SelectTreeFormTest, EditabilityFollowsPageModeAndAdministrator) {
  Fill(kBuiltInLibrary, {Node(1, 0, "Stroje"), LibRisk(2, 1, "Pila", W("Řez"), "Kryt")});
  Show(LibraryMode::Edit, kBuiltInLibrary);
  EXPECT_FALSE(library->Editable);
  EXPECT_TRUE(library->RiskMemo.readOnly);
  EXPECT_FALSE(library->EditButtonPanel.visible);
  EXPECT_FALSE(library->AddNodeSpeedButton.visible);
  EXPECT_FALSE(library->SaveLibSpeedButton.visible);
  EXPECT_TRUE(library->Copy1.visible);
  SelectIn(kBuiltInLibrary, 2);
  EXPECT_EQ(library->RiskMemo.text, W("Řez"));
  EXPECT_FALSE(library->BuildInTreeNTDragOver(builtIn.FindByData(1)));
  library->AddNodeSpeedButtonClick();
  EXPECT_EQ(LibRows(kBuiltInLibrary).size(), 2u);
  library->Copy1Click();  // a read-only library still copies
  EXPECT_EQ(Indexes(ClipboardRows()), (std::vector<int32_t>{1}));

  library->ActiveLibrary = kUserLibrary;
  library->PageControl1Change();
  EXPECT_TRUE(library->Editable);
  EXPECT_FALSE(library->RiskMemo.readOnly);
  EXPECT_TRUE(library->EditButtonPanel.visible && library->DragEnabled);
  EXPECT_EQ(library->ActivePage, LibraryPage::NoneTabSheet);

  WriteFileBytes(temp / "Admin.set", "");
  Show(LibraryMode::Edit, kBuiltInLibrary);
  EXPECT_TRUE(library->Editable);
  EXPECT_TRUE(library->SaveLibSpeedButton.visible && library->Export1.visible);

  Show(LibraryMode::Selection, kUserLibrary);
  EXPECT_FALSE(library->Editable);
  EXPECT_TRUE(library->OKPanel.visible);
  EXPECT_TRUE(builtIn.CheckBoxes() && user.CheckBoxes());
  EXPECT_FALSE(library->Insert1.visible || library->Delete1.visible);
}

TEST_F(SelectTreeFormTest, AddStoreAndCancelWriteTheLibraryTableInItsForm) {
  Fill(kUserLibrary, {Node(1, 0, "A"), LibRisk(2, 1, "r")});
  Fill(kBuiltInLibrary, {Node(1, 0, "A"), Node(2, 1, "B")});
  WriteFileBytes(temp / "Admin.set", "");
  Show(LibraryMode::Edit, kUserLibrary);

  // A node added with a risk selected is its sibling, and first in the user library.
  SelectIn(kUserLibrary, 2);
  library->AddNodeSpeedButtonClick();
  EXPECT_EQ(LibRow(kUserLibrary, 3).upLink, 1);
  EXPECT_EQ(user.ChildData(user.FindByData(1)), (std::vector<int32_t>{3, 2}));
  EXPECT_EQ(focusSeen, "");  // the main form's focus is not touched
  EXPECT_EQ(library->ActivePage, LibraryPage::UzelTabSheet);
  library->TextEdit.text = W("Nový uzel");
  library->RiskSourceEditChange();
  EXPECT_TRUE(library->EditState);
  EXPECT_FALSE(library->PageControl1.enabled || library->CloseBitBtn.enabled);
  library->StoreBitBtnClick();
  EXPECT_FALSE(library->EditState);
  EXPECT_EQ(LibRow(kUserLibrary, 3).text, W("Nový uzel"));
  EXPECT_EQ(user.Caption(user.FindByData(3)), W("Nový uzel"));

  library->AddRiskSpeedButtonClick();  // under the new node, last
  const int32_t risk = SelectedIndex(kUserLibrary);
  EXPECT_EQ(LibRow(kUserLibrary, risk).upLink, 3);
  EXPECT_EQ(library->ExistenceSpinEdit.value, 0);
  library->DescrEdit.text = W("Pád z výšky");
  library->RiskMemo.text = W("Pád z výšky");
  library->OpatreniMemo.text = "";
  library->ExistenceSpinEdit.value = 9;
  library->NasledkySpinEdit.value = 3;
  library->RiskSourceEditChange();
  library->StoreBitBtnClick();
  Row stored = LibRow(kUserLibrary, risk);
  EXPECT_EQ(stored.ident, "mF0lNhT8g+PD0QI=");
  EXPECT_EQ(stored.opatreni, "");
  EXPECT_EQ(stored.p, 5);
  EXPECT_EQ(stored.n, 3);
  EXPECT_EQ(stored.h, 0);
  EXPECT_EQ(library->RiskMemo.text, W("Pád z výšky"));

  library->RiskMemo.text = "discarded";
  library->RiskSourceEditChange();
  library->CancelBitBtnClick();
  EXPECT_EQ(library->RiskMemo.text, W("Pád z výšky"));
  EXPECT_EQ(LibRow(kUserLibrary, risk).ident, "mF0lNhT8g+PD0QI=");

  // In the built-in library a new node is the last child.
  Show(LibraryMode::Edit, kBuiltInLibrary);
  SelectIn(kBuiltInLibrary, 1);
  library->AddNodeSpeedButtonClick();
  EXPECT_EQ(builtIn.ChildData(builtIn.FindByData(1)), (std::vector<int32_t>{2, 3}));
}

TEST_F(SelectTreeFormTest, TicksSurviveSelectionShowingsUntilAnEditShowing) {
  Fill(kUserLibrary, {Node(1, 0, "A"), LibRisk(2, 1, "r")});
  Show(LibraryMode::Selection, kUserLibrary);
  user.SetChecked(user.FindByData(2), true);
  const int repaints = user.repaints;
  Reshow(LibraryMode::Selection, kUserLibrary);
  EXPECT_TRUE(user.Checked(user.FindByData(2)));
  EXPECT_EQ(user.repaints, repaints);  // not rebuilt
  Reshow(LibraryMode::Edit, kUserLibrary);
  EXPECT_FALSE(user.CheckBoxes());
  Reshow(LibraryMode::Selection, kUserLibrary);
  EXPECT_FALSE(user.Checked(user.FindByData(2)));
}

TEST_F(SelectTreeFormTest, DeletingANodeRemovesThreeLevelsAndPacks) {
  Fill(kUserLibrary,
       {Node(1, 0, "top"), Node(2, 1, "l1"), Node(3, 2, "l2"), Node(4, 3, "l3"),
        LibRisk(5, 4, "deep"), LibRisk(6, 2, "mid"), Node(7, 0, "other"), LibRisk(8, 7, "kept")});
  Show(LibraryMode::Edit, kUserLibrary);
  SelectIn(kUserLibrary, 2);
  dialogs.answers = {false};
  library->Delete1Click();
  EXPECT_EQ(LibRows(kUserLibrary).size(), 8u);
  dialogs.answers = {true};
  library->Delete1Click();
  EXPECT_EQ(dialogs.questions.back().text, W("Opravdu vymazat?"));
  EXPECT_EQ(Indexes(LibRows(kUserLibrary)), (std::vector<int32_t>{1, 7, 8}));
  EXPECT_EQ(PhysicalRecords(form->Libs.UserRisksTable.Path()), 3u);
  EXPECT_EQ(user.FindByData(5), nullptr);
  EXPECT_EQ(user.Count(), 3u);
}

TEST_F(SelectTreeFormTest, DragRefusesDescendantsAndDropsOnARiskUnderItsNode) {
  Fill(kUserLibrary, {Node(1, 0, "a"), Node(2, 1, "b"), Node(3, 2, "c"), Node(4, 0, "d"),
                      LibRisk(5, 4, "r"), LibRisk(6, 0, "top risk")});
  Show(LibraryMode::Edit, kUserLibrary);
  SelectIn(kUserLibrary, 1);
  EXPECT_FALSE(library->BuildInTreeNTDragOver(user.FindByData(3)));
  EXPECT_FALSE(library->BuildInTreeNTDragOver(user.FindByData(1)));
  EXPECT_FALSE(library->BuildInTreeNTDragOver(user.FindByData(6)));
  EXPECT_FALSE(library->BuildInTreeNTDragOver(nullptr));
  library->BuildInTreeNTDragDrop(user.FindByData(3));
  EXPECT_EQ(LibRow(kUserLibrary, 1).upLink, 0);

  ASSERT_TRUE(library->BuildInTreeNTDragOver(user.FindByData(5)));
  library->BuildInTreeNTDragDrop(user.FindByData(5));
  EXPECT_EQ(LibRow(kUserLibrary, 1).upLink, 4);
  EXPECT_EQ(LibRow(kUserLibrary, 2).upLink, 1);
  EXPECT_EQ(user.ChildData(user.FindByData(4)), (std::vector<int32_t>{5, 1}));
}

TEST_F(SelectTreeFormTest, FindTriesTheFirstOccurrenceOnlyAndNeverWraps) {
  Fill(kBuiltInLibrary,
       {LibRisk(1, 0, "one", W("Spád a pád")), LibRisk(2, 0, "two", "nic", "pad2 zde"),
        LibRisk(3, 0, "three", W("Pád z výšky"), "", 4, 2)});
  Show(LibraryMode::Edit, kBuiltInLibrary);

  // Record 1 holds "pád" first inside a longer word, so its later whole word is not tried;
  // record 3 matches in another letter case. Searching up, "pad2" counts as the whole word
  // "pad", since digits are separators.
  Find(W("pád"), true);
  EXPECT_EQ(SelectedIndex(kBuiltInLibrary), 3);
  Find("pad", true);
  EXPECT_EQ(dialogs.informations.size(), 1u);
  EXPECT_EQ(dialogs.informations[0].text, W("Nebyl nalezen další odpovídající záznam."));
  EXPECT_EQ(dialogs.informations[0].caption, "Nenalezeno");
  EXPECT_EQ(SelectedIndex(kBuiltInLibrary), 3);
  Find("pad", true, /*down=*/false);
  EXPECT_EQ(SelectedIndex(kBuiltInLibrary), 2);
  EXPECT_EQ(library->RiskMemo.text, "nic");

  // From the last record down: not found, and again from the last record (no wrap).
  SelectIn(kBuiltInLibrary, 3);
  library->LastSearchFound = false;
  Find("one");
  Find("one");
  EXPECT_EQ(dialogs.informations.size(), 3u);
  EXPECT_EQ(SelectedIndex(kBuiltInLibrary), 3);
  Find(" 4 2 ");  // the ratings are part of the record text
  EXPECT_EQ(SelectedIndex(kBuiltInLibrary), 3);

  EXPECT_TRUE(SelectTreeForm::MatchesRecordText(" AB9 ", "AB", true));
  EXPECT_FALSE(SelectTreeForm::MatchesRecordText(" ABÁ ", "AB", true));
}

TEST_F(SelectTreeFormTest, CopyBuiltInPasteUserEnciphersRenumbersAndRatesOne) {
  Fill(kBuiltInLibrary, {Node(1, 0, "Stroje"), LibRisk(2, 1, "Pila", W("Řez"), "Kryt", 0, 3),
                         LibRisk(3, 1, "Lis", "", "", 2, 0)});
  Fill(kUserLibrary, {Node(1, 0, "Moje")});
  Show(LibraryMode::Edit, kBuiltInLibrary);
  SelectIn(kBuiltInLibrary, 1);
  library->Copy1Click();
  std::vector<Row> clip = ClipboardRows();
  ASSERT_EQ(clip.size(), 3u);
  EXPECT_EQ(clip[1].ident, W("Řez"));  // plain in the clipboard

  library->ActiveLibrary = kUserLibrary;
  library->PageControl1Change();
  SelectIn(kUserLibrary, 1);
  library->PopupMenu1Popup(user, user.FindByData(1));
  EXPECT_TRUE(library->Insert1.enabled);
  library->Insert1Click();
  const std::vector<Row> rows = LibRows(kUserLibrary);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1].index, 2);
  EXPECT_EQ(rows[1].upLink, 1);
  EXPECT_EQ(rows[2].ident, EncryptLibraryText(W("Řez")));
  EXPECT_EQ(rows[2].opatreni, EncryptLibraryText("Kryt"));
  EXPECT_EQ(rows[2].p, 1);
  EXPECT_EQ(rows[3].ident, "");
  EXPECT_EQ(rows[3].n, 1);
  EXPECT_EQ(user.ChildCaptions(user.FindByData(2)), (std::vector<std::string>{"Pila", "Lis"}));

  // The same clipboard pastes into the project as plain text.
  form->Insert1Click();
  EXPECT_EQ(RowOf(2).ident, W("Řez"));
}

TEST_F(SelectTreeFormTest, DamagedStoredTextStopsTheCommandWithTheBase64Message) {
  Row bad = Risk(1, 0, "bad");
  bad.ident = "abc";
  Fill(kUserLibrary, {bad});
  Show(LibraryMode::Edit, kUserLibrary);
  EXPECT_EQ(ErrorText([&] { SelectIn(kUserLibrary, 1); }), "Base64: Incorrect string format");
  EXPECT_FALSE(library->Loading);
  EXPECT_EQ(ErrorText([&] { library->Copy1Click(); }), "Base64: Incorrect string format");
}

// Start-up and exit through the main form: what is typed into the user library is there after a
// restart; a damaged built-in library is reported once and the program still starts.
TEST_F(MainFormTest, LibrariesOpenAtFirstShowAndTheUserLibrarySurvivesARestart) {
  WriteFileBytes(temp / "RiskLib.LIB", "damaged");
  form->FormShow();
  form->AskExit = false;
  ASSERT_EQ(dialogs.warnings.size(), 1u);
  EXPECT_NE(dialogs.warnings[0].find("RiskLib.LIB"), std::string::npos);
  FakeTreeControl builtIn, user;
  {
    SelectTreeForm library(*form, builtIn, user);
    form->selectTreeForm = &library;
    library.ActiveLibrary = kUserLibrary;
    library.ShowModal = [&] {
      library.FormShow();
      library.AddNodeSpeedButtonClick();
      library.TextEdit.text = W("Dílna");
      library.RiskSourceEditChange();
      library.StoreBitBtnClick();
      library.AddRiskSpeedButtonClick();
      library.CloseBitBtnClick();
    };
    form->Knihovnyrizik1Click();
    form->selectTreeForm = nullptr;
  }
  EXPECT_EQ(form->Libs.ArchiveTarget(kBuiltInLibrary), temp / "RiskLib-new.LIB");
  ASSERT_TRUE(form->FormCloseQuery());
  form->FormClose();
  EXPECT_EQ(ReadFileBytes(temp / "RiskLib.LIB"), "damaged");
  form.reset();

  form = MakeForm();
  form->FormShow();
  SelectTreeForm library(*form, builtIn, user);
  library.ActiveLibrary = kUserLibrary;
  library.Execute(LibraryMode::Edit);
  EXPECT_EQ(Cp1250ToUtf8(user.Dump()), "Dílna [0] #1\n   [2] #2\n");
  form->FormClose();
}

}  // namespace
}  // namespace orvenda::test
