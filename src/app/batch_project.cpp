#include "app/batch_project.h"

#include "documents/project_file.h"

namespace orvenda {

BatchProject::BatchProject(const std::filesystem::path& file, const std::filesystem::path& tempDir,
                           const Messages& messages, Progress& progress) {
  CheckProjectFile(file, messages);
  workDir_ = MakeWorkingDirectory(tempDir);
  try {
    mark_ = WorkingDirectoryMark::Mark(workDir_);
    LoadProjectFile(file, workDir_, progress, messages);
    OpenWorkingTable(data_, workDir_, file);
  } catch (...) {
    data_.Close();
    RemoveWorkingDirectory(workDir_);
    throw;
  }
}

BatchProject::~BatchProject() {
  try {
    data_.Close();
  } catch (...) {
    // Only read, so nothing is lost; the directory goes anyway.
  }
  RemoveWorkingDirectory(workDir_);
}

}  // namespace orvenda
