#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <iostream>
#include <set>
#include <sstream>

#include "app/build_library_command.h"
#include "app/convert_command.h"
#include "app/find_command.h"
#include "app/import_html_command.h"
#include "app/library_commands.h"
#include "app/list_library_command.h"
#include "app/report_command.h"
#include "app/table_commands.h"
#include "app/version_text.h"
#include "app/web_export_command.h"
#include "base/cp1250.h"
#include "base/error.h"
#include "base/language_file.h"
#include "documents/earlier_runs.h"
#include "library/libraries.h"

namespace orvenda {
namespace fs = std::filesystem;

namespace {

// "orvenda --report PROJECT --output PAGE.htm [--sorted] [--hide-column N]...", read off the
// group: the command's option and the required ones bare, the others in brackets.
// A command's options, in the order declared (a group copies the help flags, which are not its).
std::vector<const CLI::Option*> OptionsOf(const CLI::App& group) {
  return group.get_options([&group](const CLI::Option* option) {
    return option != group.get_help_ptr() && option != group.get_help_all_ptr();
  });
}

std::string Synopsis(const CLI::App& group) {
  std::string text = "orvenda";
  for (const CLI::Option* option : OptionsOf(group)) {
    std::string part = option->get_name();
    if (!option->get_type_name().empty()) part += ' ' + option->get_type_name();
    const bool bare = option->get_name() == group.get_group() || option->get_required();
    if (!bare) part = '[' + part + ']';
    if (option->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll) part += "...";
    text += ' ' + part;
  }
  return text;
}

// The help lists each command as its synopsis, its help and its options.
class HelpFormatter : public CLI::Formatter {
 public:
  HelpFormatter() { column_width(34); }

  std::string make_usage(const CLI::App*, std::string) const override {
    return "usage: orvenda [PROJECT]           the window, with the project opened\n"
           "       orvenda --COMMAND ...       a batch command below, without a window\n";
  }
  std::string make_expanded(const CLI::App* group) const override {
    std::ostringstream out;
    out << '\n' << Synopsis(*group) << '\n';
    out << "  " << group->get_description() << '\n';
    for (const CLI::Option* option : OptionsOf(*group)) out << make_option(option, false);
    return out.str();
  }
  std::string make_option_opts(const CLI::Option* option) const override {
    return option->get_type_name().empty() ? std::string() : ' ' + option->get_type_name();
  }
};

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The arguments not taken, in the order of the line (the parser's list is in no fixed order,
// and its message joins it backwards).
std::vector<std::string> InLineOrder(std::vector<std::string> extras,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> ordered;
  for (const std::string& arg : args) {
    const auto found = std::find(extras.begin(), extras.end(), arg);
    if (found == extras.end()) continue;
    ordered.push_back(arg);
    extras.erase(found);
  }
  ordered.insert(ordered.end(), extras.begin(), extras.end());
  return ordered;
}

class Parser {
 public:
  Parser(const std::vector<BatchCommand>& commands, std::ostream& out, std::ostream& err)
      : commands_(commands), out_(out), err_(err) {
    app_.formatter(std::make_shared<HelpFormatter>());
    app_.description(
        "Orvenda records and evaluates workplace risks. Each batch command runs one command of "
        "the program on files and exits: 0 on success, 1 when the work fails, 2 on a wrong "
        "command line.");
    app_.set_help_flag("--help", "print this help and exit");
    app_.set_help_all_flag("--help-all", "the same");
    app_.set_version_flag("--version", VersionText(), "print the version and exit");
    app_.add_option_function<std::string>(
            "--language",
            [this](const std::string& text) {
              language_ = PathValue("--language", text);
              std::error_code ec;
              if (!fs::is_regular_file(*language_, ec)) {
                throw CLI::ValidationError("--language", "no such file: " + text);
              }
            },
            "the language file for this run, in place of Language.lng")
        ->type_name("FILE");
    for (const BatchCommand& command : commands_) {
      CLI::App* group = app_.add_option_group(command.name, command.help);
      groups_.push_back(group);
      results_.push_back(command.declare(*group));
    }
  }

  CommandLine Parse(const std::vector<std::string>& args) {
    // Options of different commands share names (--output), so only the named command's group
    // takes part.
    std::vector<size_t> named;
    for (const std::string& arg : args) {
      if (arg == "--") break;
      const std::string option = arg.substr(0, arg.find('='));
      for (size_t i = 0; i < commands_.size(); ++i) {
        if (commands_[i].name == option &&
            std::find(named.begin(), named.end(), i) == named.end()) {
          named.push_back(i);
        }
      }
    }
    if (named.size() > 1) {
      err_ << "orvenda: " << commands_[named[0]].name << " and " << commands_[named[1]].name
           << " cannot be given together\n";
      return Failed(std::nullopt);
    }
    const std::optional<size_t> selected =
        named.empty() ? std::nullopt : std::optional<size_t>(named[0]);
    for (size_t i = 0; i < groups_.size(); ++i) groups_[i]->disabled(selected != i);

    try {
      std::vector<std::string> reversed(args.rbegin(), args.rend());
      app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      out_ << app_.help();
      return CommandLine{0, std::nullopt, std::nullopt};
    } catch (const CLI::CallForAllHelp&) {
      out_ << app_.help("", CLI::AppFormatMode::All);
      return CommandLine{0, std::nullopt, std::nullopt};
    } catch (const CLI::CallForVersion& version) {
      out_ << version.what() << '\n';
      return CommandLine{0, std::nullopt, std::nullopt};
    } catch (const CLI::ParseError& error) {
      // A misspelt option also leaves a required one missing; the misspelling is the news.
      const std::vector<std::string> extras = InLineOrder(app_.remaining(), args);
      err_ << "orvenda: "
           << (extras.empty()
                   ? std::string(error.what())
                   : std::string(CLI::ExtrasError({extras.rbegin(), extras.rend()}).what()))
           << '\n';
      for (const std::string& extra : extras) Hint(extra, selected);
      return Failed(selected);
    }
    if (!selected) {
      err_ << "orvenda: no batch command given\n";
      return Failed(selected);
    }
    return CommandLine{std::nullopt, results_[*selected](), language_};
  }

 private:
  CommandLine Failed(std::optional<size_t> selected) {
    if (!selected && commands_.size() == 1) selected = 0;
    if (selected) err_ << "usage: " << Synopsis(*groups_[*selected]) << '\n';
    err_ << "orvenda --help lists the commands and their options.\n";
    return CommandLine{2, std::nullopt, std::nullopt};
  }

  // For an option not taken: the commands it belongs to, or the nearest name it may be a
  // misspelling of.
  void Hint(const std::string& extra, std::optional<size_t> selected) {
    if (!extra.starts_with("--") || extra == "--") return;
    const std::string name = extra.substr(0, extra.find('='));
    std::string owners;
    for (size_t i = 0; i < groups_.size(); ++i) {
      if (i != selected && groups_[i]->get_option_no_throw(name) != nullptr) {
        owners += (owners.empty() ? "" : ", ") + commands_[i].name;
      }
    }
    if (!owners.empty()) {
      err_ << "orvenda: " << name << " is an option of " << owners << '\n';
      return;
    }
    std::vector<std::string> known = {"--help", "--help-all", "--version", "--language"};
    for (size_t i = 0; i < groups_.size(); ++i) {
      if (selected && i != selected) continue;
      if (!selected) {
        known.push_back(commands_[i].name);
        continue;
      }
      for (const CLI::Option* option : OptionsOf(*groups_[i])) known.push_back(option->get_name());
    }
    std::string nearest;
    size_t best = std::max<size_t>(3, name.size() / 3);
    for (const std::string& candidate : known) {
      const size_t distance = EditDistance(name, candidate);
      if (distance < best) {
        best = distance;
        nearest = candidate;
      }
    }
    if (!nearest.empty()) err_ << "orvenda: " << name << ": did you mean " << nearest << "?\n";
  }

  const std::vector<BatchCommand>& commands_;
  std::ostream& out_;
  std::ostream& err_;
  CLI::App app_{"", "orvenda"};
  std::vector<CLI::App*> groups_;
  std::vector<std::function<ParsedCommand()>> results_;
  std::optional<fs::path> language_;
};

// Runs the parsed command, with the messages of --language when it names a file.
int RunParsed(const CommandLine& line, const BatchContext& context) {
  if (!line.language) {
    const Messages::InForce inForce(context.messages);
    return line.command->run(context);
  }
  const Messages messages = MessagesOf(*line.language);
  const Messages::InForce inForce(messages);
  const BatchContext translated{context.out,     context.err,        messages,
                                context.tempDir, context.programDir, context.userDir};
  return line.command->run(translated);
}

fs::path ExecutableDir(const char* argv0) {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::absolute(argv0, ec).parent_path() : exe.parent_path();
}

}  // namespace

std::vector<BatchCommand> CoreBatchCommands() {
  return {
      ReportCommand(),        ConvertCommand(),     WebExportCommand(),       FlatExportCommand(),
      ImportHtmlCommand(),    ListLibraryCommand(), BuildLibraryCommand(),    ExportBranchCommand(),
      UpdateLibraryCommand(), ImportTextCommand(),  TakeFromLibraryCommand(), ExportTableCommand(),
      ImportTableCommand(),   FindCommand()};
}

CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<BatchCommand>& commands, std::ostream& out,
                             std::ostream& err) {
  // A project file given to the window (a desktop's "open with").
  if (args.empty() || !args[0].starts_with("--")) return CommandLine{};
  return Parser(commands, out, err).Parse(args);
}

std::optional<int> RunCommandLine(const std::vector<std::string>& args,
                                  const std::vector<BatchCommand>& commands,
                                  const BatchContext& context) {
  const CommandLine line = ParseCommandLine(args, commands, context.out, context.err);
  if (line.status) return line.status;
  if (line.command) {
    // What killed runs left that nobody needs goes first; a failure there is no reason to
    // fail the command.
    std::error_code ec;
    const std::filesystem::path tempDir = BatchTempDir(context, ec);
    if (!ec) {
      try {
        RemoveDeadRunLeftovers(tempDir);
      } catch (const std::exception&) {
      }
    }
    return RunParsed(line, context);
  }
  return std::nullopt;
}

std::optional<int> RunCommandLine(int argc, char** argv,
                                  const std::vector<BatchCommand>& commands) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || !args[0].starts_with("--")) return std::nullopt;
  const fs::path programDir = ExecutableDir(argv[0]);
  const fs::path userDir = DefaultUserDataDir();
  // The texts of the window: a batch command writes its pages and messages in the same language.
  const Messages messages = MessagesOf(FindLanguageFile(programDir, userDir));
  const BatchContext context{std::cout, std::cerr, messages, fs::path(), programDir, userDir};
  return RunCommandLine(args, commands, context);
}

int RunBatchCommand(const BatchCommand& command, const std::vector<std::string>& args,
                    const BatchContext& context) {
  const std::vector<BatchCommand> commands = {command};
  const CommandLine line = Parser(commands, context.out, context.err).Parse(args);
  return line.command ? RunParsed(line, context) : line.status.value_or(2);
}

int RunReportingErrors(std::ostream& err, const std::function<void()>& work) {
  try {
    work();
  } catch (const Error& error) {
    err << "orvenda: " << Cp1250ToUtf8(error.what()) << "\n";
    return 1;
  } catch (const std::exception& error) {
    err << "orvenda: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

int RunInTempDir(const BatchContext& context, const std::function<void(const fs::path&)>& work) {
  std::error_code ec;
  const fs::path tempDir = BatchTempDir(context, ec);
  if (ec) {
    context.err << "orvenda: no temporary directory: " << ec.message() << "\n";
    return 1;
  }
  return RunReportingErrors(context.err, [&] { work(tempDir); });
}

fs::path BatchTempDir(const BatchContext& context, std::error_code& ec) {
  ec.clear();
  return context.tempDir.empty() ? fs::temp_directory_path(ec) : context.tempDir;
}

fs::path ArgumentPath(const std::string& arg) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
}

fs::path PathValue(const std::string& name, const std::string& text) {
  if (text.empty()) throw CLI::ValidationError(name, "needs a file name, not an empty text");
  return ArgumentPath(text);
}

int32_t NumberValue(const std::string& name, const std::string& text, int32_t min) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min) {
    throw CLI::ValidationError(name, "needs a whole number" +
                                         (min > 0 ? " from " + std::to_string(min) : "") +
                                         ", not \"" + text + "\"");
  }
  return value;
}

int LibraryValue(const std::string& name, const std::string& text) {
  if (text == "builtin") return kBuiltInLibrary;
  if (text == "user") return kUserLibrary;
  throw CLI::ValidationError(name, "a library is builtin or user, not \"" + text + "\"");
}

CLI::Option* AddPathOption(CLI::App& group, const std::string& name, fs::path& target,
                           const std::string& valueName, const std::string& help) {
  return group
      .add_option_function<std::string>(
          name, [name, &target](const std::string& text) { target = PathValue(name, text); }, help)
      ->type_name(valueName);
}

CLI::Option* AddPathOption(CLI::App& group, const std::string& name,
                           std::optional<fs::path>& target, const std::string& valueName,
                           const std::string& help) {
  return group
      .add_option_function<std::string>(
          name, [name, &target](const std::string& text) { target = PathValue(name, text); }, help)
      ->type_name(valueName);
}

CLI::Option* AddNumberOption(CLI::App& group, const std::string& name,
                             std::optional<int32_t>& target, const std::string& valueName,
                             const std::string& help, int32_t min) {
  return group
      .add_option_function<std::string>(
          name,
          [name, &target, min](const std::string& text) { target = NumberValue(name, text, min); },
          help)
      ->type_name(valueName);
}

CLI::Option* AddLibraryOption(CLI::App& group, const std::string& name, int& target,
                              const std::string& help) {
  return group
      .add_option_function<std::string>(
          name, [name, &target](const std::string& text) { target = LibraryValue(name, text); },
          help)
      ->type_name("builtin|user");
}

CLI::Option* AddValuesOption(CLI::App& group, const std::string& name, int count,
                             const std::string& valueNames, const std::string& help,
                             std::function<void(const std::vector<std::string>&)> take) {
  return group.add_option_function<std::vector<std::string>>(name, std::move(take), help)
      ->expected(count)
      ->type_name(valueNames);
}

}  // namespace orvenda
