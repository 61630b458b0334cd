#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "app/command_line.h"

namespace orvenda {

// The batch find:
//   orvenda --find PROJECT.RSK TEXT [--category N] [--whole-words] [--diacritics]
// prints every record whose texts hold TEXT, as the main window's find bar finds them, in
// tree order, one a line: Index, the captions of the nodes above it joined by " / ", and its
// caption, separated by tabs (UTF-8). With a category only risks of that category and above
// are printed (1..5); category 0 prints only the unrated risks.
struct FindOptions {
  std::filesystem::path project;
  std::string text;  // UTF-8
  std::optional<int> category;
  bool wholeWords = false;
  bool diacritics = false;
  std::filesystem::path tempDir;  // for the working copy; empty: the system's

  bool operator==(const FindOptions&) const = default;
};

// 0 on success (also when nothing is found), 1 on failure with the error on `err`, 2 for a
// category outside 0..5.
int RunFind(const FindOptions& options, std::ostream& out, std::ostream& err);

void DeclareFindOptions(CLI::App& group, FindOptions& options);
BatchCommand FindCommand();

}  // namespace orvenda
