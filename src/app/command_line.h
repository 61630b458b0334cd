#pragma once

#include <any>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/messages.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace orvenda {

// What a batch command works with besides its options.
struct BatchContext {
  std::ostream& out;
  std::ostream& err;  // messages, UTF-8
  const Messages& messages;
  std::filesystem::path tempDir;     // empty: the system's, looked up when the command runs
  std::filesystem::path programDir;  // the libraries' directory unless --program-dir names one
  std::filesystem::path userDir;     // the per-user directory, read before the program directory
};

// A command as the command line gave it: its options struct and the run of them.
struct ParsedCommand {
  std::string name;  // the option that names it, e.g. "--report"
  std::any options;  // a copy of the command's options struct
  std::function<int(const BatchContext&)> run;
};

// One batch command. `declare` adds the command's option (named `name`, declared first) and
// its other options to the command's option group, with their help texts; it returns what
// gives the parsed command once the line has been parsed into the group.
struct BatchCommand {
  std::string name;
  std::string help;
  std::function<std::function<ParsedCommand()>(CLI::App& group)> declare;
};

// A command made of an options struct, the declaration of its options into it, and the run
// of the filled struct (which returns the exit status: 0, or 1 when the work fails).
template <typename Options>
BatchCommand MakeBatchCommand(std::string name, std::string help,
                              std::function<void(CLI::App& group, Options& options)> declare,
                              std::function<int(const Options&, const BatchContext&)> run) {
  auto declareInto = [name, declare = std::move(declare),
                      run = std::move(run)](CLI::App& group) -> std::function<ParsedCommand()> {
    auto options = std::make_shared<Options>();
    declare(group, *options);
    return [name, options, run] {
      return ParsedCommand{name, *options, [options, run](const BatchContext& context) {
                             return run(*options, context);
                           }};
    };
  };
  return BatchCommand{std::move(name), std::move(help), std::move(declareInto)};
}

// The commands of the core (the Qt-side ones are added by the program's main).
std::vector<BatchCommand> CoreBatchCommands();

// The outcome of parsing a command line.
struct CommandLine {
  std::optional<int> status;             // answered already: help, version or a usage error (2)
  std::optional<ParsedCommand> command;  // the batch command to run
  // --language FILE: the language file of this run instead of the one the window would read.
  std::optional<std::filesystem::path> language;
  // Neither: the window starts (no arguments, or a project file first).
};

// Parses `args` (the arguments after the program name). A line whose first argument does not
// start with "--" starts the window. Help and version go to `out`, usage errors to `err`.
CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<BatchCommand>& commands, std::ostream& out,
                             std::ostream& err);

// Parses and runs: the exit status of the batch command, or nullopt to start the window.
std::optional<int> RunCommandLine(const std::vector<std::string>& args,
                                  const std::vector<BatchCommand>& commands,
                                  const BatchContext& context);

// The program's own: the libraries beside the executable, the numbered messages of the
// language file the window would read (the per-user one, else the program directory's), the
// system's temporary directory, stdout and stderr.
std::optional<int> RunCommandLine(int argc, char** argv, const std::vector<BatchCommand>& commands);

// `args` parsed for `command` alone (they must name it) and run; a usage error gives 2.
int RunBatchCommand(const BatchCommand& command, const std::vector<std::string>& args,
                    const BatchContext& context);

// The temporary directory of a run: the context's, else the system's (`ec` set when there is
// none).
std::filesystem::path BatchTempDir(const BatchContext& context, std::error_code& ec);

// The work of a batch command: 0 when it succeeds, 1 when it throws, with "orvenda: " and the
// error's text (windows-1250 turned into the host's UTF-8) on `err`.
int RunReportingErrors(std::ostream& err, const std::function<void()>& work);
// The same with the run's temporary directory; none is a failure too.
int RunInTempDir(const BatchContext& context,
                 const std::function<void(const std::filesystem::path& tempDir)>& work);

// Building blocks of the declarations. A value that cannot be taken is a usage error.

// Command-line arguments are the host's text (UTF-8 here).
std::filesystem::path ArgumentPath(const std::string& arg);

// An option with one file name (not empty).
CLI::Option* AddPathOption(CLI::App& group, const std::string& name, std::filesystem::path& target,
                           const std::string& valueName, const std::string& help);
CLI::Option* AddPathOption(CLI::App& group, const std::string& name,
                           std::optional<std::filesystem::path>& target,
                           const std::string& valueName, const std::string& help);
// An option with a whole number of at least `min`.
CLI::Option* AddNumberOption(CLI::App& group, const std::string& name,
                             std::optional<int32_t>& target, const std::string& valueName,
                             const std::string& help, int32_t min = INT32_MIN);
// An option naming a library: "builtin" or "user".
CLI::Option* AddLibraryOption(CLI::App& group, const std::string& name, int& target,
                              const std::string& help);
// An option with `count` values handed to `take` together (an option of several values).
CLI::Option* AddValuesOption(CLI::App& group, const std::string& name, int count,
                             const std::string& valueNames, const std::string& help,
                             std::function<void(const std::vector<std::string>&)> take);

// The conversions of those options, for options of their own kind; `name` is the option's,
// for the message.
std::filesystem::path PathValue(const std::string& name, const std::string& text);
int32_t NumberValue(const std::string& name, const std::string& text, int32_t min = INT32_MIN);
int LibraryValue(const std::string& name, const std::string& text);

}  // namespace orvenda
