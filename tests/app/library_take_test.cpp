// Taking ticked library items into the project, the update command and the text import, driven
// through the main form and the library window's core form.
#include <gtest/gtest.h>

#include "app/main_form_fixture.h"
#include "app/select_tree_form.h"
#include "library/library_cipher.h"
#include "library/update_file.h"

namespace orvenda::test {
namespace {

namespace fs = std::filesystem;

Row LibRisk(int32_t index, int32_t upLink, std::string text, std::string ident = "", int32_t p = 0,
            int32_t n = 0, int32_t h = 0) {
  Row r = Risk(index, upLink, std::move(text), p, n, h);
  r.ident = EncryptLibraryText(ident);
  r.opatreni = EncryptLibraryText(ident.empty() ? "" : ident + " opatreni");
  r.source = "src " + std::to_string(index);
  return r;
}

class LibraryTakeTest : public MainFormTest {
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
  FakeTreeControl& TreeOf(int which) { return which == kBuiltInLibrary ? builtIn : user; }
  // Opens the window through "Přidat z knihovny"; `inside` runs while it is shown.
  SelectTreeForm::ModalResult Take(int which, const std::vector<int32_t>& ticks,
                                   std::function<void()> inside = nullptr) {
    SelectTreeForm::ModalResult result = SelectTreeForm::ModalResult::None;
    library->ShowModal = [&] {
      library->FormShow();
      library->ActiveLibrary = which;
      library->PageControl1Change();
      for (int32_t index : ticks) TreeOf(which).SetChecked(TreeOf(which).FindByData(index), true);
      if (inside) {
        inside();
      } else {
        library->OKBitBtnClick();
      }
    };
    form->AddFromLibSpeedButtonClick();
    result = library->modalResult;
    return result;
  }
  bool Ticked(int which, int32_t index) {
    return TreeOf(which).Checked(TreeOf(which).FindByData(index));
  }

  FakeTreeControl builtIn, user;
  std::unique_ptr<SelectTreeForm> library;
};

TEST_F(LibraryTakeTest, TickedNodesBeforeRisksUnTickedNodesFlattenedFieldsMapped) {
  Row a = Node(1, 0, "A");
  a.comment = "node comment";
  Fill(kBuiltInLibrary,
       {LibRisk(7, 0, "F", W("Řez"), 0, 7, 3), a, Node(2, 1, "B"), LibRisk(3, 2, "C", "c"),
        Node(4, 0, "D"), LibRisk(5, 4, "E", "e"), Node(6, 0, "Empty"), Node(8, 6, "Not ticked")});
  Load({Node(1, 0, "Target"), Node(2, 0, "Other")});
  Select(1);

  EXPECT_EQ(Take(kBuiltInLibrary, {7, 1, 3, 5, 6}), SelectTreeForm::ModalResult::Ok);
  // Under the target in library order: A (with C, whose node B was not ticked), E in place of
  // its unticked node D, the empty node; the ticked top-level risk F last.
  EXPECT_EQ(tree.ChildCaptions(Item(1)), (std::vector<std::string>{"A", "E", "Empty", "F"}));
  const TreeControl::Item copyOfA = tree.Children(Item(1))[0];
  EXPECT_EQ(tree.ChildCaptions(copyOfA), (std::vector<std::string>{"C"}));
  EXPECT_TRUE(tree.Children(tree.Children(Item(1))[2]).empty());
  EXPECT_EQ(Indexes(Rows()), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));

  const Row nodeA = RowOf(3);
  EXPECT_EQ(nodeA.upLink, 1);
  EXPECT_EQ(nodeA.comment, "");
  const Row f = RowOf(7);
  EXPECT_EQ(f.upLink, 1);
  EXPECT_EQ(f.ident, W("Řez"));
  EXPECT_EQ(f.opatreni, W("Řez opatreni"));
  EXPECT_EQ(f.source, "src 7");
  EXPECT_EQ(f.comment, "");
  EXPECT_EQ(std::vector<int32_t>({f.p, f.n, f.h}), std::vector<int32_t>({1, 5, 1}));
  EXPECT_EQ(RowOf(4).upLink, 3);  // C under the copy of A

  for (int32_t index : {1, 3, 5, 6, 7}) EXPECT_FALSE(Ticked(kBuiltInLibrary, index)) << index;
  EXPECT_TRUE(form->Modified);
  EXPECT_FALSE(form->TreeUpdating);
  EXPECT_EQ(builtIn.updateDepth, 0);
  EXPECT_EQ(tree.updateDepth, 0);
  EXPECT_NE(std::find(progress.calls.begin(), progress.calls.end(),
                      "show " + form->MessagesBox.Get(39) + " 8"),
            progress.calls.end());
  EXPECT_FALSE(progress.Shown());
}

TEST_F(LibraryTakeTest, PlacementByProjectSelectionAndOtherPageTicksKept) {
  Fill(kBuiltInLibrary, {Node(1, 0, "Lib node"), LibRisk(2, 0, "Lib risk")});
  Fill(kUserLibrary, {LibRisk(1, 0, "User risk"), LibRisk(2, 0, "User other")});
  Load({Node(1, 0, "Top"), Risk(2, 1, "Selected risk")});

  // Nothing ticked: OK adds nothing and still closes with OK.
  EXPECT_EQ(Take(kUserLibrary, {}), SelectTreeForm::ModalResult::Ok);
  EXPECT_EQ(Rows().size(), 2u);

  // A risk selected: the copies go beside it; the built-in ticks stay for the next showing.
  Select(2);
  Take(kUserLibrary, {1}, [&] {
    builtIn.SetChecked(builtIn.FindByData(2), true);
    library->OKBitBtnClick();
  });
  EXPECT_EQ(tree.ChildCaptions(Item(1)), (std::vector<std::string>{"Selected risk", "User risk"}));
  EXPECT_TRUE(Ticked(kBuiltInLibrary, 2));
  EXPECT_EQ(Rows().size(), 3u);

  // Nothing selected: the copies are top-level items.
  tree.Select(nullptr);
  Take(kBuiltInLibrary, {1});
  EXPECT_EQ(tree.ChildCaptions(nullptr),
            (std::vector<std::string>{"Top", "Lib node", "Lib risk"}));  // tick kept from before
  EXPECT_FALSE(Ticked(kBuiltInLibrary, 2));
}

TEST_F(LibraryTakeTest, UndecipherableTextStopsTheCopyAndRestoresTheWindows) {
  Row bad = LibRisk(2, 0, "Bad");
  bad.ident = "abc";  // not a multiple of four
  Fill(kBuiltInLibrary, {LibRisk(1, 0, "Good", "g"), bad, LibRisk(3, 0, "After", "a")});
  std::string error;
  Take(kBuiltInLibrary, {1, 2, 3}, [&] { error = ErrorText([&] { library->OKBitBtnClick(); }); });
  EXPECT_EQ(error, kBase64FormatError);
  EXPECT_EQ(tree.ChildCaptions(nullptr), (std::vector<std::string>{"Good"}));
  EXPECT_EQ(Rows().size(), 1u);
  EXPECT_FALSE(Ticked(kBuiltInLibrary, 1));
  EXPECT_TRUE(Ticked(kBuiltInLibrary, 2) && Ticked(kBuiltInLibrary, 3));
  EXPECT_FALSE(progress.Shown());
  EXPECT_EQ(builtIn.updateDepth, 0);
  EXPECT_EQ(tree.updateDepth, 0);
}

TEST_F(LibraryTakeTest, UpdateExtendsTheShownTreeAndRewritesTheArchiveOnlyWhenValid) {
  Fill(kBuiltInLibrary, {Node(1, 0, "Base"), LibRisk(2, 1, "Old", "o")});
  library->Execute(LibraryMode::Edit);
  WriteUpdateFile(form->Libs.BuildInRisksTable, 1, temp / "base.akt", tempDir, progress,
                  form->MessagesBox);
  const std::string before = ReadFileBytes(form->Libs.ArchiveTarget(kBuiltInLibrary));

  // A foreign file is refused with nothing changed.
  WriteFileBytes(temp / "foreign.akt", "garbage");
  dialogs.openAnswers.push_back(temp / "foreign.akt");
  EXPECT_NE(ErrorText([&] { form->Aktu1Click(); }), "");
  EXPECT_EQ(ReadFileBytes(form->Libs.ArchiveTarget(kBuiltInLibrary)), before);
  EXPECT_EQ(ReadRows(form->Libs.BuildInRisksTable).size(), 2u);
  EXPECT_EQ(dialogs.openRequests.back().filter, W("Aktualizační soubory|*.akt"));

  dialogs.openAnswers.push_back(temp / "base.akt");
  form->Aktu1Click();
  EXPECT_EQ(ReadRows(form->Libs.BuildInRisksTable).size(), 4u);
  EXPECT_EQ(builtIn.ChildCaptions(builtIn.FindByData(1)),
            (std::vector<std::string>{"Old", "Base"}));
  EXPECT_EQ(builtIn.ChildCaptions(builtIn.FindByData(3)), (std::vector<std::string>{"Old"}));
  EXPECT_NE(ReadFileBytes(form->Libs.ArchiveTarget(kBuiltInLibrary)), before);
  EXPECT_FALSE(library->TreeChangesSuppressed);
}

TEST_F(LibraryTakeTest, TextImportAddsSiblingRisksAndDropsTheUnfinishedOne) {
  WriteFileBytes(temp / "Admin.set", "");
  Fill(kUserLibrary, {Node(1, 0, "Node"), LibRisk(2, 1, "Existing", "e", 2, 3)});
  library->ActiveLibrary = kUserLibrary;
  library->Execute(LibraryMode::Edit);
  user.Select(user.FindByData(2));  // the page shows the existing risk: its fields carry over
  WriteFileBytes(temp / "import.txt",
                 "head\r\n<$$$1\r\nS1\r\n<$$$2\r\nline a\r\nline b\r\n<$$$1\r\nS2\r\n<$$$3\r\n"
                 "4\r\n<$$$1\r\nS3\r\n<$$$3\r\nbad\r\n<*-*-*-*>\r\n");
  dialogs.openAnswers.push_back(temp / "import.txt");
  const std::string error = ErrorText([&] { library->ImportFileButtonClick(); });
  EXPECT_NE(error.find("bad"), std::string::npos) << error;
  EXPECT_FALSE(library->ImportRunning);
  EXPECT_EQ(user.ChildCaptions(user.FindByData(1)), (std::vector<std::string>{"Existing", "", ""}));
  form->Libs.UserRisksTable.SetIndexName("");
  std::vector<Row> rows = ReadRows(form->Libs.UserRisksTable);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[2].source, "S1");
  EXPECT_EQ(DecryptLibraryText(rows[2].ident), "line a\r\nline b");
  EXPECT_EQ(DecryptLibraryText(rows[2].opatreni), "e opatreni");
  EXPECT_EQ(std::vector<int32_t>({rows[2].p, rows[2].n}), std::vector<int32_t>({2, 3}));
  EXPECT_EQ(rows[3].source, "S2");
  EXPECT_EQ(rows[3].upLink, 1);
  EXPECT_EQ(rows[3].text, "");
  EXPECT_EQ(std::vector<int32_t>({rows[3].p, rows[3].n}), std::vector<int32_t>({4, 3}));
}

}  // namespace
}  // namespace orvenda::test
