#include "app/web_export_command.h"

#include <sstream>

#include "archive/zlb_archive.h"
#include "main_form_fixture.h"
#include "reports/web_export.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::Node;
using test::ReadFileBytes;
using test::Risk;
using ::testing::HasSubstr;

class WebExportMenuTest : public test::MainFormTest {};

TEST_F(WebExportMenuTest, SwitchExportTogglesTheEntryAndItsSeparatorFromTheirState) {
  form->SetUpDocumentControls();
  ASSERT_EQ(form->FindControl("Export1"), &form->WebExport.Export1);
  ASSERT_EQ(form->FindControl("N6"), &form->WebExport.N6);
  EXPECT_FALSE(form->WebExport.Export1.visible);
  EXPECT_FALSE(form->WebExport.N6.visible);
  form->Switchexport1Click();
  EXPECT_TRUE(form->WebExport.Export1.visible);
  EXPECT_TRUE(form->WebExport.N6.visible);
  form->Switchexport1Click();
  EXPECT_FALSE(form->WebExport.Export1.visible);
  EXPECT_FALSE(form->WebExport.N6.visible);
  // Each from its own state.
  form->WebExport.N6.visible = true;
  form->Switchexport1Click();
  EXPECT_TRUE(form->WebExport.Export1.visible);
  EXPECT_FALSE(form->WebExport.N6.visible);
}

TEST_F(WebExportMenuTest, ExportWritesTheSiteIntoTheChosenFolderWithTodaysMessages) {
  Load({Node(1, 0, "Hala"), Risk(2, 1, "Hluk", 2, 3, 4)});
  const fs::path folder = temp / "site";
  fs::create_directory(folder);
  dialogs.saveAnswers = {std::nullopt, folder / "jiny.htm"};
  form->Export1Click();  // cancelled
  EXPECT_TRUE(fs::is_empty(folder));

  form->MessagesBox.Replace([] {
    auto items = Messages::Defaults();
    items[21] = "Risk assessment";
    return items;
  }());
  form->Export1Click();
  ASSERT_EQ(dialogs.saveRequests.size(), 2u);
  const auto& request = dialogs.saveRequests.back();
  EXPECT_EQ(request.title, W("Vyberte složku pro export"));
  EXPECT_EQ(request.fileName, "index.htm");
  EXPECT_EQ(request.filter, "Hlavni dokument|index.htm");
  EXPECT_FALSE(fs::exists(folder / "jiny.htm"));
  EXPECT_TRUE(fs::is_regular_file(folder / "index.htm"));
  EXPECT_THAT(ReadFileBytes(folder / "content.htm"), HasSubstr(">Risk assessment</h1>"));
  EXPECT_THAT(ReadFileBytes(folder / "tree.htm"), HasSubstr("data/00000002.htm"));
  EXPECT_TRUE(fs::is_regular_file(folder / "data" / "00000001.htm"));
  EXPECT_TRUE(fs::is_regular_file(folder / "data" / "00000002.htm"));
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(progress.busyDepth, 0);
  EXPECT_GE(progress.busyCalls, 1);

  // The flat export writes the chosen file itself; the dialog starts in the last folder.
  dialogs.saveAnswers = {folder / "plochy.htm"};
  form->ExportnaWEB1Click();
  EXPECT_EQ(dialogs.saveRequests.back().dir, folder);
  EXPECT_THAT(ReadFileBytes(folder / "plochy.htm"),
              HasSubstr("\r\n<ul>\r\n  <li><b>Hala</b><small> (1) </small></li>\r\n\r\n</ul>\r\n"));
}

// --- Batch commands --------------------------------------------------------------------------

class WebExportCommandTest : public ::testing::Test {
 protected:
  // A project file "Projekt.RSK" with a node, a child node and a risk.
  fs::path MakeRsk() {
    const fs::path source = files / "rsk";
    fs::create_directory(source);
    Table table;
    table.SetPath(source / "RiskData.dbf");
    CreateProjectTable(table);
    test::AppendRow(table, Node(1, 0, W("Dílna")));
    test::AppendRow(table, Node(2, 1, "Lis"));
    test::AppendRow(table, Risk(3, 2, W("Úder"), 5, 5, 4));
    table.Close();
    TZLBArchive archive;
    archive.CreateArchive(files / "Projekt.RSK");
    archive.AddFiles({source / "RiskData.dbf", source / "RiskData.dbt", source / "RiskData.mdx"});
    archive.CloseArchive();
    return files / "Projekt.RSK";
  }

  int Run(const BatchCommand& command, std::vector<std::string> args) {
    std::ostringstream out, err;
    const int result =
        RunBatchCommand(command, args, BatchContext{out, err, messages, temp.path(), {}, {}});
    errors = err.str();
    return result;
  }

  test::TempDir files;
  test::TempDir temp;
  Messages messages;
  std::string errors;
};

TEST_F(WebExportCommandTest, WritesWhatTheWindowCommandsWriteAndFailsClearly) {
  const fs::path rsk = MakeRsk();
  const fs::path site = files / "new" / "site";  // made when missing
  ASSERT_EQ(Run(WebExportCommand(), {"--web-export", rsk.string(), "--output", site.string()}), 0)
      << errors;
  EXPECT_EQ(errors, "");
  for (const char* page : {"index.htm", "tree.htm", "content.htm", "data/00000003.htm"}) {
    EXPECT_TRUE(fs::is_regular_file(site / page)) << page;
  }
  const fs::path flat = files / "flat.htm";
  ASSERT_EQ(Run(FlatExportCommand(), {"--output", flat.string(), "--flat-export", rsk.string()}), 0)
      << errors;
  EXPECT_THAT(ReadFileBytes(flat), HasSubstr(W("<li><b>Lis</b><small> (1) </small></li>")));
  EXPECT_TRUE(fs::is_empty(temp.path()));  // no working directory left behind

  EXPECT_EQ(Run(WebExportCommand(),
                {"--web-export", (files / "chybi.RSK").string(), "--output", site.string()}),
            1);
  EXPECT_THAT(errors, HasSubstr("Soubor nenalezen."));
  // The output cannot be a folder: a file holds its name.
  EXPECT_EQ(Run(WebExportCommand(), {"--web-export", rsk.string(), "--output", flat.string()}), 1);
  EXPECT_THAT(errors, HasSubstr((flat / "index.htm").string()));
  EXPECT_EQ(Run(FlatExportCommand(), {"--flat-export", rsk.string()}), 2);
  EXPECT_THAT(errors, HasSubstr("usage: orvenda --flat-export PROJECT --output FILE.htm"));
  EXPECT_EQ(Run(WebExportCommand(), {"--web-export", rsk.string(), "--sorted"}), 2);
}

}  // namespace
}  // namespace orvenda
