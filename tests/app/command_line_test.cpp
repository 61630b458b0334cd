#include "app/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "app/build_library_command.h"
#include "app/convert_command.h"
#include "app/import_html_command.h"
#include "app/library_commands.h"
#include "app/list_library_command.h"
#include "app/report_command.h"
#include "app/version_text.h"
#include "app/web_export_command.h"
#include "library/libraries.h"

namespace orvenda {
namespace {

using ::testing::HasSubstr;
using ::testing::PrintToString;
using Args = std::vector<std::string>;

struct Parsed {
  CommandLine line;
  std::string out, err;
};

Parsed Parse(const Args& args, const std::vector<BatchCommand>& commands = CoreBatchCommands()) {
  std::ostringstream out, err;
  Parsed parsed{ParseCommandLine(args, commands, out, err), {}, {}};
  parsed.out = out.str();
  parsed.err = err.str();
  return parsed;
}

// A command's expected options, compared with what the parser filled in.
struct Expected {
  std::string command;
  std::function<bool(const std::any&)> matches;
};

template <typename Options>
Expected Is(const std::string& command, const Options& expected) {
  return {command, [expected](const std::any& options) {
            const Options* parsed = std::any_cast<Options>(&options);
            return parsed != nullptr && *parsed == expected;
          }};
}

TEST(CommandLine, TheDocumentedLinesParseToTheirCommandsAndOptions) {
  const auto report = [](const char* project, const char* output) {
    ReportOptions options;
    options.project = project;
    options.output = output;
    return options;
  };
  ReportOptions sortedTree = report("Dilna.RSK", "Dilna.htm");
  sortedTree.sorted = sortedTree.tree = true;
  ReportOptions hidden = report("P.RSK", "X.htm");
  hidden.sorted = true;
  hidden.hiddenColumns = {8, 7};
  ReportOptions everything = report("P.RSK", "X.htm");
  everything.branch = 2;
  everything.objectRow = everything.tree = everything.treeRisks = true;
  everything.hiddenColumns = {0};
  ReportOptions noteHidden = report("Dilna.RSK", "bez-poznamky.htm");
  noteHidden.hiddenColumns = {8};

  const std::vector<std::pair<Args, Expected>> cases = {
      {{"--build-library", "builtin", "data/risk_library.tsv", "--program-dir", "prog"},
       Is("--build-library",
          BuildLibraryOptions{kBuiltInLibrary, "data/risk_library.tsv", "prog"})},
      {{"--build-library", "user", "u.tsv"},
       Is("--build-library", BuildLibraryOptions{kUserLibrary, "u.tsv", std::nullopt})},
      {{"--list-library", "builtin", "--program-dir", "prog"},
       Is("--list-library", ListLibraryOptions{kBuiltInLibrary, "prog"})},
      {{"--list-library", "user"}, Is("--list-library", ListLibraryOptions{kUserLibrary, {}})},
      {{"--take-from-library", "builtin", "--tick", "2,3,4,5,19", "--output", "Dilna.RSK",
        "--program-dir", "prog"},
       Is("--take-from-library",
          TakeFromLibraryOptions{
              kBuiltInLibrary, {2, 3, 4, 5, 19}, "Dilna.RSK", std::nullopt, std::nullopt, "prog"})},
      {{"--take-from-library", "user", "--tick", "7", "--project", "Base.RSK", "--select", "3",
        "--output", "Nove.RSK"},
       Is("--take-from-library",
          TakeFromLibraryOptions{kUserLibrary, {7}, "Nove.RSK", "Base.RSK", 3, std::nullopt})},
      {{"--report", "Dilna.RSK", "--output", "Dilna.htm", "--sorted", "--tree"},
       Is("--report", sortedTree)},
      {{"--report", "P.RSK", "--output", "X.htm", "--sorted", "--hide-column", "8", "--hide-column",
        "7"},
       Is("--report", hidden)},
      // Options in any order, and the --name=value form.
      {{"--hide-column", "8", "--sorted", "--output=X.htm", "--hide-column", "7", "--report",
        "P.RSK"},
       Is("--report", hidden)},
      {{"--report", "P.RSK", "--output", "X.htm", "--branch", "2", "--object-row", "--hide-column",
        "0", "--tree", "--tree-risks"},
       Is("--report", everything)},
      {{"--report", "Dilna.RSK", "--output", "bez-poznamky.htm", "--hide-column", "8"},
       Is("--report", noteHidden)},
      {{"--web-export", "Dilna.RSK", "--output", "web"},
       Is("--web-export", ExportOptions{"Dilna.RSK", "web"})},
      {{"--flat-export", "Dilna.RSK", "--output", "flat.htm"},
       Is("--flat-export", ExportOptions{"Dilna.RSK", "flat.htm"})},
      {{"--import-html", "bez-poznamky.htm", "--output", "Znovu.RSK"},
       Is("--import-html", ImportHtmlOptions{"bez-poznamky.htm", "Znovu.RSK", {}, {}})},
      {{"--import-html", "p.htm", "--output", "N.RSK", "--project", "B.RSK", "--select", "0"},
       Is("--import-html", ImportHtmlOptions{"p.htm", "N.RSK", "B.RSK", 0})},
      {{"--convert", "Stary.RZK", "Novy.RSK"},
       Is("--convert", ConvertOptions{"Stary.RZK", "Novy.RSK"})},
      {{"--export-branch", "builtin", "2", "--output", "Vetev.akt", "--program-dir", "prog"},
       Is("--export-branch", ExportBranchOptions{kBuiltInLibrary, 2, "Vetev.akt", "prog"})},
      {{"--update-library", "Vetev.akt", "--program-dir", "prog"},
       Is("--update-library", UpdateLibraryOptions{"Vetev.akt", "prog"})},
      {{"--import-text", "rizika.txt", "--library", "user", "--program-dir", "prog"},
       Is("--import-text", ImportTextOptions{"rizika.txt", kUserLibrary, {}, "prog"})},
      {{"--import-text", "r.txt", "--select", "4", "--library", "builtin"},
       Is("--import-text", ImportTextOptions{"r.txt", kBuiltInLibrary, 4, {}})},
  };
  // The examples' program directory exists, as --program-dir demands.
  std::error_code ec;
  const bool madeProg = std::filesystem::create_directory("prog", ec);
  struct RemoveProg {
    bool made;
    ~RemoveProg() {
      std::error_code ignored;
      if (made) std::filesystem::remove("prog", ignored);
    }
  } removeProg{madeProg};
  for (const auto& [args, expected] : cases) {
    const Parsed parsed = Parse(args);
    ASSERT_TRUE(parsed.line.command.has_value()) << PrintToString(args) << "\n" << parsed.err;
    EXPECT_FALSE(parsed.line.status);
    EXPECT_EQ(parsed.line.command->name, expected.command) << PrintToString(args);
    EXPECT_TRUE(expected.matches(parsed.line.command->options)) << PrintToString(args);
    EXPECT_EQ(parsed.err, "") << PrintToString(args);
  }
}

TEST(CommandLine, WithoutACommandTheWindowStarts) {
  for (const Args& args : {Args{}, Args{"Projekt.RSK"}, Args{"Projekt.RSK", "--report"}}) {
    const Parsed parsed = Parse(args);
    EXPECT_FALSE(parsed.line.status) << PrintToString(args);
    EXPECT_FALSE(parsed.line.command) << PrintToString(args);
    EXPECT_EQ(parsed.out + parsed.err, "");
  }
}

TEST(CommandLine, HelpListsEveryCommandAndVersionPrintsTheAboutVersion) {
  for (const char* flag : {"--help", "--help-all"}) {
    const Parsed parsed = Parse({flag});
    EXPECT_EQ(parsed.line.status, 0) << flag;
    EXPECT_FALSE(parsed.line.command);
    EXPECT_EQ(parsed.err, "");
    for (const BatchCommand& command : CoreBatchCommands()) {
      EXPECT_THAT(parsed.out, HasSubstr("\norvenda " + command.name)) << flag;
      EXPECT_THAT(parsed.out, HasSubstr(command.help)) << flag;
    }
    EXPECT_THAT(parsed.out,
                HasSubstr("orvenda --report PROJECT --output PAGE.htm [--sorted] [--branch INDEX] "
                          "[--object-row] [--hide-column N]... [--tree] [--tree-risks]\n"));
    EXPECT_THAT(parsed.out, HasSubstr("orvenda --convert OLD NEW.RSK\n"));
    EXPECT_THAT(parsed.out, HasSubstr("--tick INDEX[,INDEX...]"));
  }
  // Help wins over a command's missing options.
  EXPECT_EQ(Parse({"--report", "P.RSK", "--help"}).line.status, 0);

  const Parsed version = Parse({"--version"});
  EXPECT_EQ(version.line.status, 0);
  ASSERT_FALSE(ProgramVersion().empty());
  EXPECT_EQ(version.out, std::string(kProductName) + " " + ProgramVersion() + "\n");
  EXPECT_EQ(version.err, "");
}

TEST(CommandLine, WrongLinesAreRefusedWithStatus2AndSayWhy) {
  const std::vector<std::pair<Args, std::vector<std::string>>> cases = {
      {{"--report", "P.RSK", "--outptu", "X.htm"},
       {"not expected: --outptu X.htm", "did you mean --output?",
        "usage: orvenda --report PROJECT --output PAGE.htm"}},
      {{"--reprot", "P.RSK", "--output", "X.htm"}, {"did you mean --report?"}},
      {{"--report", "P.RSK", "--output"}, {"--output", "PAGE.htm"}},
      {{"--report"}, {"--report"}},
      {{"--report", "P.RSK"}, {"--output is required"}},
      {{"--report", "P.RSK", "--output", "X.htm", "--output", "Y.htm"}, {"--output"}},
      {{"--report", "", "--output", "X.htm"}, {"--report", "empty"}},
      {{"--report", "P.RSK", "--output", "X.htm", "--hide-column", "9"}, {"0 to 8", "\"9\""}},
      {{"--report", "P.RSK", "--output", "X.htm", "--hide-column", "8", "7"}, {"7"}},
      {{"--report", "P.RSK", "--output", "X.htm", "--branch", "010x"}, {"--branch", "010x"}},
      {{"--report", "P.RSK", "--output", "X.htm", "--tick", "2"},
       {"--tick is an option of --take-from-library"}},
      {{"--report", "P.RSK", "--output", "X.htm", "--convert", "A", "B"},
       {"--report and --convert cannot be given together"}},
      {{"--convert", "Stary.RZK"}, {"--convert", "usage: orvenda --convert OLD NEW.RSK"}},
      {{"--convert", "A", "B", "C"}, {"--convert"}},
      {{"--list-library", "both"}, {"builtin or user", "\"both\""}},
      {{"--build-library", "user"}, {"--build-library"}},
      {{"--take-from-library", "builtin", "--tick", "2,,3", "--output", "N.RSK"}, {"--tick"}},
      {{"--take-from-library", "builtin", "--output", "N.RSK"}, {"--tick is required"}},
      {{"--export-branch", "builtin", "0", "--output", "V.akt"}, {"--export-branch", "\"0\""}},
      {{"--import-text", "r.txt"}, {"--library is required"}},
      {{"--import-text", "r.txt", "--library", "user", "--select", "-3"}, {"--select"}},
      {{"--no-such-option"}, {"--no-such-option", "--help"}},
      {{"--output", "X.htm"}, {"--output is an option of --report"}},
      {{"--"}, {"no batch command"}},
  };
  for (const auto& [args, messages] : cases) {
    const Parsed parsed = Parse(args);
    EXPECT_EQ(parsed.line.status, 2) << PrintToString(args);
    EXPECT_FALSE(parsed.line.command) << PrintToString(args);
    EXPECT_EQ(parsed.out, "") << PrintToString(args);
    for (const std::string& message : messages) {
      EXPECT_THAT(parsed.err, HasSubstr(message)) << PrintToString(args);
    }
  }
}

// Another part of the program adds its commands to the same line: they show in the help, take
// their options and keep their exit status.
struct SearchOptions {
  std::string text;
  int library = 0;
};

TEST(CommandLine, AddedCommandsJoinTheHelpAndRun) {
  std::vector<BatchCommand> commands = CoreBatchCommands();
  commands.push_back(MakeBatchCommand<SearchOptions>(
      "--search", "finds a text",
      [](CLI::App& group, SearchOptions& options) {
        AddValuesOption(group, "--search", 1, "TEXT", "the text",
                        [&options](const Args& values) { options.text = values[0]; });
        AddLibraryOption(group, "--in", options.library, "the library searched");
      },
      [](const SearchOptions& options, const BatchContext& context) {
        context.out << "found " << options.text;
        return options.text == "nic" ? 1 : 0;
      }));
  EXPECT_THAT(Parse({"--help"}, commands).out,
              HasSubstr("orvenda --search TEXT [--in builtin|user]"));

  std::ostringstream out, err;
  const Messages messages;
  const BatchContext context{out, err, messages, {}, {}, {}};
  EXPECT_EQ(RunCommandLine({"--search", "Lis"}, commands, context), 0);
  EXPECT_EQ(out.str(), "found Lis");
  EXPECT_EQ(RunCommandLine({"--search", "nic"}, commands, context), 1);
  EXPECT_EQ(RunCommandLine({"--search", "Lis", "--sorted"}, commands, context), 2);
  EXPECT_THAT(err.str(), HasSubstr("--sorted is an option of --report"));
  EXPECT_EQ(RunCommandLine({"Lis.RSK"}, commands, context), std::nullopt);
}

}  // namespace
}  // namespace orvenda
