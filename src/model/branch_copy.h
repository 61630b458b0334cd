#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/progress.h"
#include "model/table.h"
#include "model/tree_control.h"

namespace orvenda {

// How Ident and Opatreni travel in a branch copy: unchanged, into the library's enciphered
// form, or out of it.
enum class ConversionKind : int { None = 0, Encipher = 1, Decipher = 2 };

// The library cipher, supplied by the library code: converts one stored text by the kind
// (never called with None).
using TextConversion = std::function<std::string(ConversionKind kind, const std::string& text)>;

// Copies the record `sourceIndex` of `source` with its whole subtree into `dest` under the
// parent `destParent` (0: top level). New records take MaxIndex(dest) + 1 each: the top record
// first, then at every level the child nodes (each followed by its subtree) before the child
// risks. Empty or zero ratings become 1. With a tree, matching items are added: the top one
// under the first item whose data is `destParent` (top level when none).
// Returns the new top record's Index, or 0 when `sourceIndex` is not in `source`.
// `convert` must be given for a kind other than None.
int32_t CopyBranch(Table& source, int32_t sourceIndex, ConversionKind kind, TreeControl* tree,
                   int32_t destParent, Table& dest, Progress& progress,
                   const TextConversion& convert = {});

// The part of CopyBranch below the top: copies the children of `sourceIndex` (and their
// subtrees) under the existing record `destIndex` of `dest`; tree items go under the first
// item whose data is `destIndex`.
void CopyChildren(Table& source, int32_t sourceIndex, ConversionKind kind, TreeControl* tree,
                  int32_t destIndex, Table& dest, Progress& progress,
                  const TextConversion& convert = {});

}  // namespace orvenda
