#pragma once

#include <filesystem>

#include "base/messages.h"
#include "base/progress.h"
#include "documents/working_directory.h"
#include "model/table.h"

namespace orvenda {

// A project file opened by a batch command that only reads it: loaded as Open loads it (.RSK,
// .RZK, .ZLB) into a working directory of its own, which goes again with this object. The
// file is checked before anything is made on disk; the directory carries the run lock, so that
// a later start removes it when this run is killed.
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
  WorkingDirectoryMark mark_;
  Table data_;
};

}  // namespace orvenda
