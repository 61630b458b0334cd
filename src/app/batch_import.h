#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace orvenda {

class MainForm;

// A batch command that adds to a project as one of the window's imports does.
struct BatchImport {
  std::filesystem::path output;   // ".RSK" appended unless the name ends in it; must not exist
  std::filesystem::path project;  // the project added to; empty: a new, empty one
  std::optional<int32_t> select;  // the item selected before the import, by its Index
  // Files the output must not be, whatever they are called.
  std::vector<std::filesystem::path> inputs;
};

// Checks the project file and the output, then runs `read` (which reads and checks the input),
// all before anything is made on disk. Then opens the project into a working directory of this
// run, selects `select`, runs `import` on the form and saves the result as the output. The
// output's lock is held throughout, so that a second run for it waits and then finds it there.
void RunBatchImport(const BatchImport& batch, const std::filesystem::path& tempDir,
                    const std::function<void(MainForm&)>& read,
                    const std::function<void(MainForm&)>& import);

}  // namespace orvenda
