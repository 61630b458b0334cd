#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/messages.h"
#include "base/settings_store.h"

namespace orvenda {

// How the report page is printed: paper, orientation, the four margins and the page header
// and footer in the browser's codes (&w title, &u address, &p page, &P pages, &b section
// break, &d date, &t time, && an ampersand).
struct PrintSetup {
  double paperWidthMm = 210.0;  // A4
  double paperHeightMm = 297.0;
  bool portrait = true;
  double marginLeftMm = 10.0076;
  double marginRightMm = 10.0076;
  double marginTopMm = 10.0076;
  double marginBottomMm = 10.0076;
  std::string header = "&w";
  std::string footer = Msg(333);  // "&u&b&bStrana &p z &P", windows-1250

  bool operator==(const PrintSetup&) const = default;
};

// The preview's designed options (A4 portrait, 0.394 inch margins, title at the top, address
// and "Strana p z P" at the bottom).
inline PrintSetup DesignedPrintSetup() { return PrintSetup(); }

// The page-setup values kept in the browser's key (the six strings that SavePageSetup keeps):
// margins in inches as the browser writes them, header and footer as they are. Values that
// are missing or unreadable keep those of `base`; paper and orientation are not stored there.
PrintSetup ReadPageSetup(const SettingsStore& store, PrintSetup base);
void WritePageSetup(SettingsStore& store, const PrintSetup& setup);

// A header or footer line: the text before the first &b is left-aligned, the text between the
// first and second centred, the rest right-aligned.
struct PageLine {
  std::string left, centre, right;
  bool operator==(const PageLine&) const = default;
};
struct PageCodeValues {
  std::string title;    // &w
  std::string address;  // &u
  int page = 1;         // &p
  int pages = 1;        // &P
  std::string date;     // &d, &D
  std::string time;     // &t, &T
};
PageLine ExpandPageCodes(std::string_view codes, const PageCodeValues& values);

// The page address as the browser shows it: "file://" and the absolute path.
std::string PageAddress(const std::filesystem::path& page);

// The browser that shows and prints the report page (the platform's part of the preview).
class ReportBrowser {
 public:
  virtual ~ReportBrowser() = default;
  // Shows the page at `page` (loaded anew every time).
  virtual void Navigate(const std::filesystem::path& page) = 0;
  // The print dialog, then the page printed with `setup`; false when the user cancelled.
  virtual bool Print(const PrintSetup& setup) = 0;
  // The page-setup dialog starting from `setup`: the user's choice, or nullopt on cancel.
  virtual std::optional<PrintSetup> ShowPageSetup(const PrintSetup& setup) = 0;
};

}  // namespace orvenda
