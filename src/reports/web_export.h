#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/messages.h"
#include "model/table.h"
#include "reports/report_page.h"

namespace orvenda {

// The framed web site of a project: "index.htm" (frame set), "tree.htm" (the outline with its
// script), "content.htm" (start page) and one page per record in the subfolder "data".
// Every page is windows-1250 with CR LF line ends; fixed texts are read from `messages` as
// they are written.

// Outline entry text: "" becomes "&nbsp;", every blank "&nbsp;", nothing else changes.
std::string NbspText(std::string_view text);

// "00000042.htm" for Index 42: the last eight characters of "00000000" + the decimal Index.
std::string WebPageName(int32_t index);

// The pages of one record, from the current record of `project`.
std::string WebNodePage(const Table& project, const Messages& messages);
std::string WebRiskPage(const Table& project, const Messages& messages);

// The three fixed pages.
void WriteWebIndexPage(PageFile& page, const Messages& messages);
void WriteWebContentPage(PageFile& page, const Messages& messages);
// "tree.htm" up to and including "<body ...>", and its end.
void WriteWebTreeHead(PageFile& page, const Messages& messages);
void WriteWebTreeEnd(PageFile& page);

// Writes the outline below `parent` into `tree` and the page of every record in it into
// `dataDir`, child nodes before risks at each level. Leaves the filter off.
void WriteOutlineLevel(PageFile& tree, Table& project, const Messages& messages,
                       const std::filesystem::path& dataDir, int32_t parent);

// The whole site into `folder` (which must exist). The site is built in a hidden folder
// inside `folder` and replaces the old one (the three pages and "data" with every page in it)
// only when complete: a failed write throws orvenda::Error naming the file, and the old site
// stays as it was.
void ExportWebSite(Table& project, const Messages& messages, const std::filesystem::path& folder);

}  // namespace orvenda
