#pragma once

#include <filesystem>
#include <optional>

#include "shell/messages.h"
#include "shell/progress.h"

namespace orvenda {

// Project files on disk. The working project table is "RiskData.dbf" with "RiskData.dbt" and
// "RiskData.mdx" in a working directory; a project file "*.RSK" is an archive of those three.
// Older forms: "*.RZK" with ".RZT" and ".RZX" beside it (loose table files), and "*.ZLB" (an
// archive holding one such old project).

enum class ProjectFileKind { Rsk, Rzk, Zlb };

// The kind by the file's extension, compared without regard to case; nullopt for any other.
std::optional<ProjectFileKind> ProjectFileKindOf(const std::filesystem::path& file);

// Puts the project of `file` into `dir` as RiskData.dbf/.dbt/.mdx, replacing files of those
// names. Returns true for the older forms (the opened project then counts as changed).
// Failures throw orvenda::Error with the user's text ("Soubor nenalezen." for a missing file,
// the archive's own texts for a damaged one). Progress shows message 7 on a 0..100 scale.
bool LoadProjectFile(const std::filesystem::path& file, const std::filesystem::path& dir,
                     Progress& progress, const Messages& messages);

// Packs RiskData.dbf/.dbt/.mdx of `dir` into the project file `file`. The old file is replaced
// only when the new one is complete; on failure it stays as it was and the error is thrown.
// Progress shows message 14 and the file's base name on a 0..100 scale.
void SaveProjectFile(const std::filesystem::path& dir, const std::filesystem::path& file,
                     Progress& progress, const Messages& messages);

}  // namespace orvenda
