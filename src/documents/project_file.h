#pragma once

#include <filesystem>
#include <optional>

#include "base/messages.h"
#include "base/progress.h"
#include "model/table.h"

namespace orvenda {

// Project files on disk. The working project table is "RiskData.dbf" with "RiskData.dbt" and
// "RiskData.mdx" in a working directory; a project file "*.RSK" is an archive of those three.
// Older forms: "*.RZK" with ".RZT" and ".RZX" beside it (loose table files), and "*.ZLB" (an
// archive holding one such old project).

enum class ProjectFileKind { Rsk, Rzk, Zlb };

inline constexpr const char* kWorkingTableName = "RiskData.dbf";
inline constexpr const char* kWorkingTableFiles[3] = {"RiskData.dbf", "RiskData.dbt",
                                                      "RiskData.mdx"};

// The kind by the file's extension, compared without regard to case; nullopt for any other.
std::optional<ProjectFileKind> ProjectFileKindOf(const std::filesystem::path& file);

// Throws the error that LoadProjectFile gives before it touches anything: "Soubor nenalezen."
// (message 8) after the file's name for a missing file, another text for an extension it does
// not know.
void CheckProjectFile(const std::filesystem::path& file, const Messages& messages);

// Puts the project of `file` into `dir` as RiskData.dbf/.dbt/.mdx, replacing files of those
// names. Returns true for the older forms (the opened project then counts as changed).
// Failures throw orvenda::Error with the user's text after the file's name ("Soubor
// nenalezen." for a missing file, the archive's own texts for a damaged one; the working copy's
// files named as the project's). Progress shows message 7 on a 0..100 scale.
bool LoadProjectFile(const std::filesystem::path& file, const std::filesystem::path& dir,
                     Progress& progress, const Messages& messages);

// Points `table` at RiskData.dbf in `dir` with the index "Index" current and opens it. A table
// that lacks the fields of the project schema is closed again and refused.
void OpenWorkingTable(Table& table, const std::filesystem::path& dir);
// The same for the working copy of the project `file`: an error names the project's file, not
// the working copy's.
void OpenWorkingTable(Table& table, const std::filesystem::path& dir,
                      const std::filesystem::path& file);
// An error text about the working copy in `dir` as the user knows it: the working folder
// becomes "FILE: ", and a text naming no file at all gets "FILE: " in front.
std::string InProjectTerms(std::string text, const std::filesystem::path& dir,
                           const std::filesystem::path& file);

// The name a project is saved under: ".RSK" appended unless the name ends in it, letter case
// aside.
std::filesystem::path WithProjectExtension(const std::filesystem::path& file);

// Packs RiskData.dbf/.dbt/.mdx of `dir` into the project file `file`. The old file is replaced
// only when the new one is complete; on failure it stays as it was and the error is thrown.
// Progress shows message 14 and the file's base name on a 0..100 scale.
void SaveProjectFile(const std::filesystem::path& dir, const std::filesystem::path& file,
                     Progress& progress, const Messages& messages);

}  // namespace orvenda
