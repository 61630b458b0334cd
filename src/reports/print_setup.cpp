#include "reports/print_setup.h"

#include <charconv>
#include <cstdio>

#include "base/cp1250.h"
#include "base/settings.h"

namespace orvenda {
namespace {

constexpr double kMmPerInch = 25.4;

// Margins are inches with a decimal point whatever the locale; a value that is not a
// sensible margin (negative, over a foot) is not taken.
std::optional<double> ParseInches(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  if (!(value >= 0.0 && value <= 12.0)) return std::nullopt;
  return value;
}

std::string FormatInches(double mm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", mm / kMmPerInch);
  std::string result = text;
  // snprintf follows the C locale, which Qt may have set to the user's (decimal comma).
  for (char& c : result) {
    if (c == ',') c = '.';
  }
  return result;
}

}  // namespace

PrintSetup ReadPageSetup(const SettingsStore& store, PrintSetup base) {
  if (!store.KeyExists(kPageSetupKey)) return base;
  const auto read = [&](const char* name) { return store.ReadString(kPageSetupKey, name); };
  if (auto header = read("header"); header && !header->empty()) base.header = *header;
  if (auto footer = read("footer"); footer && !footer->empty()) base.footer = *footer;
  const std::pair<const char*, double*> margins[] = {{"margin_top", &base.marginTopMm},
                                                     {"margin_left", &base.marginLeftMm},
                                                     {"margin_bottom", &base.marginBottomMm},
                                                     {"margin_right", &base.marginRightMm}};
  for (const auto& [name, field] : margins) {
    if (const auto text = read(name)) {
      if (const auto inches = ParseInches(*text)) *field = *inches * kMmPerInch;
    }
  }
  return base;
}

void WritePageSetup(SettingsStore& store, const PrintSetup& setup) {
  store.WriteString(kPageSetupKey, "header", setup.header);
  store.WriteString(kPageSetupKey, "footer", setup.footer);
  store.WriteString(kPageSetupKey, "margin_top", FormatInches(setup.marginTopMm));
  store.WriteString(kPageSetupKey, "margin_left", FormatInches(setup.marginLeftMm));
  store.WriteString(kPageSetupKey, "margin_bottom", FormatInches(setup.marginBottomMm));
  store.WriteString(kPageSetupKey, "margin_right", FormatInches(setup.marginRightMm));
}

PageLine ExpandPageCodes(std::string_view codes, const PageCodeValues& values) {
  PageLine line;
  std::string* parts[] = {&line.left, &line.centre, &line.right};
  int section = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    std::string& out = *parts[section];
    if (codes[i] != '&' || i + 1 == codes.size()) {
      out += codes[i];
      continue;
    }
    switch (codes[++i]) {
      case 'w':
        out += values.title;
        break;
      case 'u':
        out += values.address;
        break;
      case 'p':
        out += std::to_string(values.page);
        break;
      case 'P':
        out += std::to_string(values.pages);
        break;
      case 'd':
      case 'D':
        out += values.date;
        break;
      case 't':
      case 'T':
        out += values.time;
        break;
      case '&':
        out += '&';
        break;
      case 'b':
        if (section < 2) ++section;
        break;
      default:  // an unknown code shows as it stands
        out += '&';
        out += codes[i];
    }
  }
  return line;
}

std::string PageAddress(const std::filesystem::path& page) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(page, ec);
  if (ec) absolute = page;
  return "file://" + Utf8ToCp1250(absolute.generic_string());
}

}  // namespace orvenda
