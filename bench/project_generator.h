#pragma once

#include <cstdint>
#include <filesystem>

#include "model/table.h"

namespace orvenda::bench {

struct GeneratedProject {
  int nodes = 0;
  int risks = 0;
  int32_t topNode = 0;  // Index of the one top-level node; every other record lies below it
};

// Appends `nodes` nodes and `risks` risks to an open table of tree records (see
// CreateProjectTable), as a user would build a large project: one assessed object at the top,
// workplaces and subsystems below it up to five levels deep (ten children a node), and the
// risks spread at random over the nodes. Index values run from MaxIndex + 1 up, nodes first.
// Czech texts in windows-1250 of realistic lengths: Text about 40 characters, Source about
// 30, memos of 100 to 400 characters; ratings 1..5. The same seed gives the same project.
GeneratedProject GenerateProject(Table& table, int nodes, int risks, unsigned seed);

// The working table of the big project the benchmarks share (10 000 nodes, 90 000 risks, seed
// 42), written closed into `dir`.
void WriteBigProject(const std::filesystem::path& dir);

}  // namespace orvenda::bench
