#pragma once

#include <filesystem>

#include "base/messages.h"
#include "base/progress.h"
#include "model/table.h"

namespace orvenda {

// A project file opened by a batch command that only reads it: loaded as Open loads it (.RSK,
// .RZK, .ZLB) into a working directory of its own, which goes again with this object. The
// file is checked before anything is made on disk.
class BatchProject {
 public:
  BatchProject(const std::filesystem::path& file, const std::filesystem::path& tempDir,
               const Messages& messages, Progress& progress);
  ~BatchProject();
  BatchProject(const BatchProject&) = delete;
  BatchProject& operator=(const BatchProject&) = delete;

  Table& Data() { return data_; }

 private:
  std::filesystem::path workDir_;
  Table data_;
};

}  // namespace orvenda
