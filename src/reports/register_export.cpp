#include "reports/register_export.h"

#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"
#include "model/project_table.h"
#include "model/risk.h"
#include "model/risk_register.h"
#include "reports/branch_walk.h"
#include "reports/report_page.h"

#if defined(__ELF__)
#include <dlfcn.h>
#include <xlsxwriter/third_party/zip.h>

// libxlsxwriter has minizip deflate every part of the workbook at zlib's default level; for a
// big register (130 MB of sheet XML for 100 000 risks) that takes most of the export's time.
// Its calls to minizip come here first (an executable's definition wins over the shared
// library's) and go on with the fastest level: the workbook is about a third larger and is
// written three times as fast. Where this does not take, the export is only slower.
extern "C" int zipOpenNewFileInZip4_64(zipFile file, const char* filename,
                                       const zip_fileinfo* zipfi, const void* extrafield_local,
                                       uInt size_extrafield_local, const void* extrafield_global,
                                       uInt size_extrafield_global, const char* comment, int method,
                                       int level, int raw, int windowBits, int memLevel,
                                       int strategy, const char* password, uLong crcForCrypting,
                                       uLong versionMadeBy, uLong flagBase, int zip64) {
  using Open = decltype(&zipOpenNewFileInZip4_64);
  static const Open next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
  if (next == nullptr) return ZIP_INTERNALERROR;
  if (method == Z_DEFLATED && level == Z_DEFAULT_COMPRESSION) level = Z_BEST_SPEED;
  return next(file, filename, zipfi, extrafield_local, size_extrafield_local, extrafield_global,
              size_extrafield_global, comment, method, level, raw, windowBits, memLevel, strategy,
              password, crcForCrypting, versionMadeBy, flagBase, zip64);
}
#endif

namespace orvenda {
namespace fs = std::filesystem;

namespace {

constexpr int kColumns = kRegisterColumnCount;
constexpr int Col(RegisterColumn column) { return static_cast<int>(column); }
// A level of each band, 1 to 5.
constexpr std::array<int32_t, 5> kBandLevels = {1, 4, 11, 51, 101};

std::string PathText(const fs::path& path) { return Utf8ToCp1250(path.string()); }

// One risk of the register, texts still windows-1250.
struct RegisterRecord {
  int32_t index = 0;
  std::string_view path, text, source, ident, opatreni, comment;
  std::optional<int32_t> p, n, h;
  int32_t level = 0;
};

// Reads the risks of a branch into a sink, the record valid during the call only.
template <typename Sink>
class RegisterWalk : public BranchVisitor {
 public:
  RegisterWalk(Table& project, Sink& sink) : project_(project), sink_(sink) {
    index_ = project.FieldNumber(fld::kIndex);
    text_ = project.FieldNumber(fld::kText);
    source_ = project.FieldNumber(fld::kSource);
    ident_ = project.FieldNumber(fld::kIdent);
    opatreni_ = project.FieldNumber(fld::kOpatreni);
    comment_ = project.FieldNumber(fld::kComment);
    p_ = project.FieldNumber(fld::kPravdep);
    n_ = project.FieldNumber(fld::kNasledky);
    h_ = project.FieldNumber(fld::kHodnocen);
  }

  void Object(const std::string&) override {}

  void Risk(const std::string& pathText) override {
    RegisterRecord record;
    record.index = project_.GetInt(index_);
    record.path = pathText;
    record.text = project_.TextView(text_);
    record.source = project_.TextView(source_);
    record.ident = project_.TextView(ident_);
    record.opatreni = project_.TextView(opatreni_);
    record.comment = project_.TextView(comment_);
    record.p = Rating(p_);
    record.n = Rating(n_);
    record.h = Rating(h_);
    record.level = RiskLevel(record.p.value_or(0), record.n.value_or(0), record.h.value_or(0));
    sink_.Add(record);
  }

 private:
  // An empty field (a risk not rated) has no value; its text is empty exactly then.
  std::optional<int32_t> Rating(int field) const {
    if (project_.TextView(field).empty()) return std::nullopt;
    return project_.GetInt(field);
  }

  Table& project_;
  Sink& sink_;
  int index_, text_, source_, ident_, opatreni_, comment_, p_, n_, h_;
};

// Appends the decimal digits of a number.
void AppendNumber(std::string& out, int32_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

// --- CSV ---------------------------------------------------------------------------------------

// Appends a windows-1250 text as one UTF-8 CSV field: quoted as CsvField quotes, with its line
// breaks as CR LF whatever the table held. The register's texts are its bulk, so the bytes that
// need quoting are found by a table, not by searching for each of them.
void AppendCsvText(std::string& line, std::string_view cp1250, char separator) {
  static const std::array<bool, 256> special = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {'"', '\r', '\n'}) table[c] = true;
    return table;
  }();
  bool quoted = false;
  for (const char c : cp1250) {
    if (special[static_cast<unsigned char>(c)] || c == separator) {
      quoted = true;
      break;
    }
  }
  if (!quoted) {
    AppendUtf8(line, cp1250);
    return;
  }
  line += '"';
  size_t run = 0;  // start of the text not yet appended
  for (size_t i = 0; i < cp1250.size(); ++i) {
    const char c = cp1250[i];
    if (!special[static_cast<unsigned char>(c)]) continue;
    AppendUtf8(line, cp1250.substr(run, i - run));
    if (c == '"') {
      line += "\"\"";
    } else {
      line += "\r\n";
      if (c == '\r' && i + 1 < cp1250.size() && cp1250[i + 1] == '\n') ++i;
    }
    run = i + 1;
  }
  AppendUtf8(line, cp1250.substr(run));
  line += '"';
}

class CsvRegister {
 public:
  static constexpr char kSeparator = ';';

  CsvRegister(const fs::path& output, const Messages& messages) : page_(output, /*durable=*/true) {
    std::string header = "\xEF\xBB\xBF";  // the byte-order mark: office programs then read UTF-8
    for (int c = 0; c < kColumns; ++c) {
      if (c > 0) header += kSeparator;
      header += CsvField(
          Cp1250ToUtf8(RegisterColumnTitle(messages, static_cast<RegisterColumn>(c))), kSeparator);
    }
    page_.WriteLine(header);
    // Six category texts serve every row: the five bands and "not rated".
    for (int band = 0; band <= 5; ++band) {
      AppendCsvText(categories_[band],
                    RegisterCategory(messages, band == 0 ? 0 : kBandLevels[band - 1]), kSeparator);
    }
  }

  void Add(const RegisterRecord& r) {
    line_.clear();
    auto text = [&](std::string_view cp1250) {
      AppendCsvText(line_, cp1250, kSeparator);
      line_ += kSeparator;
    };
    auto number = [&](std::optional<int32_t> value) {
      if (value) AppendNumber(line_, *value);
      line_ += kSeparator;
    };
    number(r.index);
    text(r.path);
    text(r.text);
    text(r.source);
    text(r.ident);
    number(r.p);
    number(r.n);
    number(r.h);
    number(r.level);
    line_ += categories_[RatedBand(r.level)];
    line_ += kSeparator;
    text(r.opatreni);
    AppendCsvText(line_, r.comment, kSeparator);
    page_.WriteLine(line_);
  }

  void Commit() { page_.Commit(); }

 private:
  PageFile page_;
  std::array<std::string, 6> categories_;
  std::string line_;
};

// --- XLSX --------------------------------------------------------------------------------------

constexpr double kMaxWidth = 60;
// What one cell of a workbook holds.
constexpr int kMaxCellCharacters = 32767;

// Cell text into `out`: UTF-8 with line feeds for line breaks (what spreadsheets use inside a
// cell), without the control characters that XML cannot carry. Returns the characters of its
// longest line, the width its column needs.
size_t CellText(std::string_view cp1250, std::string& out) {
  out.clear();
  size_t widest = 0, current = 0;
  size_t run = 0;  // start of the plain text not yet appended
  for (size_t i = 0; i < cp1250.size(); ++i) {
    const auto c = static_cast<unsigned char>(cp1250[i]);
    if (c >= 0x20 || c == '\t') {
      ++current;  // every byte is one character in windows-1250
      continue;
    }
    AppendUtf8(out, cp1250.substr(run, i - run));
    if (c == '\r' || c == '\n') {
      out += '\n';
      widest = std::max(widest, current);
      current = 0;
      if (c == '\r' && i + 1 < cp1250.size() && cp1250[i + 1] == '\n') ++i;
    }
    run = i + 1;
  }
  AppendUtf8(out, cp1250.substr(run));
  return std::max(widest, current);
}

// Characters of the longest line of a UTF-8 text: the width its column needs.
size_t WidestLine(std::string_view utf8) {
  size_t widest = 0, current = 0;
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      widest = std::max(widest, current);
      current = 0;
    } else if ((c & 0xC0) != 0x80) {
      ++current;
    }
  }
  return std::max(widest, current);
}

lxw_color_t ColorValue(const char* hash) {
  return static_cast<lxw_color_t>(std::strtoul(hash + 1, nullptr, 16));
}

std::string ColumnLetter(int column) { return std::string(1, static_cast<char>('A' + column)); }

// A sheet name as a formula names it: in single quotes, inner quotes doubled.
std::string QuotedSheet(const std::string& name) {
  std::string quoted = "'";
  for (const char c : name) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

// A sheet name spreadsheets accept: none of []:*?/\, at most 31 characters, not empty.
std::string SheetName(const std::string& utf8, const std::string& fallback) {
  std::string name;
  size_t characters = 0;
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c & 0xC0) != 0x80 && ++characters > 31) break;
    name += std::strchr("[]:*?/\\", ch) != nullptr ? '_' : ch;
  }
  if (name.empty() || name.front() == '\'' || name.back() == '\'') return fallback;
  return name;
}

// A temporary file beside `target`, made exclusively so that no other file is taken over.
fs::path ReserveTemporary(const fs::path& target) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    fs::path temp = target;
    temp += suffix;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return temp;
    }
    if (errno != EEXIST) break;
  }
  throw Error(Msg(241, {PathText(target), std::strerror(errno)}));
}

class XlsxRegister {
 public:
  XlsxRegister(const fs::path& output, const Messages& messages, const fs::path& projectFile)
      : output_(output), messages_(messages) {
    temp_ = ReserveTemporary(output);
    // Rows go to the file as they are written, so a big project needs little memory.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    workbook_ = workbook_new_opt(temp_.c_str(), &options);
    if (workbook_ == nullptr) Fail("workbook");

    risksName_ =
        SheetName(Cp1250ToUtf8(RegisterMessage(messages, register_msg::kRisksSheet)), "Rizika");
    std::string summaryName =
        SheetName(Cp1250ToUtf8(RegisterMessage(messages, register_msg::kSummarySheet)), "Souhrn");
    if (summaryName == risksName_) summaryName += " 2";
    risks_ = workbook_add_worksheet(workbook_, risksName_.c_str());
    summary_ = workbook_add_worksheet(workbook_, summaryName.c_str());
    if (risks_ == nullptr || summary_ == nullptr) Fail("worksheet");

    header_ = workbook_add_format(workbook_);
    format_set_bold(header_);
    format_set_text_wrap(header_);
    format_set_align(header_, LXW_ALIGN_VERTICAL_TOP);
    text_ = workbook_add_format(workbook_);
    format_set_text_wrap(text_);
    format_set_align(text_, LXW_ALIGN_VERTICAL_TOP);
    number_ = workbook_add_format(workbook_);
    format_set_align(number_, LXW_ALIGN_VERTICAL_TOP);
    for (int band = 0; band <= 5; ++band) {
      const BandColor color = RiskBandColor(band);
      lxw_format* format = workbook_add_format(workbook_);
      format_set_bg_color(format, ColorValue(color.fill));
      format_set_pattern(format, LXW_PATTERN_SOLID);
      if (color.dark) format_set_font_color(format, LXW_COLOR_WHITE);
      format_set_align(format, LXW_ALIGN_VERTICAL_TOP);
      bands_[band] = format;
      categories_[band] =
          Cp1250ToUtf8(RegisterCategory(messages, band == 0 ? 0 : kBandLevels[band - 1]));
    }

    for (int c = 0; c < kColumns; ++c) {
      const std::string title =
          Cp1250ToUtf8(RegisterColumnTitle(messages, static_cast<RegisterColumn>(c)));
      widths_[c] = WidestLine(title);
      Check(worksheet_write_string(risks_, 0, c, title.c_str(), header_), 0, c);
    }

    // The document's properties: what it is, of which project, made by which program.
    title_ = Cp1250ToUtf8(RegisterMessage(messages, 21));
    subject_ = projectFile.filename().string();
    comments_ = Cp1250ToUtf8(RegisterMessage(messages, 24)) + " Orvenda " ORVENDA_VERSION;
    lxw_doc_properties properties{};
    properties.title = title_.data();
    properties.subject = subject_.data();
    properties.comments = comments_.data();
    workbook_set_properties(workbook_, &properties);
    workbook_set_custom_property_string(workbook_, "Generator", "Orvenda " ORVENDA_VERSION);
  }

  ~XlsxRegister() {
    if (workbook_ != nullptr) {
      // Not committed: nothing more is written, the output stays as it was.
      lxw_workbook_free(std::exchange(workbook_, nullptr));
    }
    if (!temp_.empty()) {
      std::error_code ec;
      fs::remove(temp_, ec);
    }
  }

  XlsxRegister(const XlsxRegister&) = delete;
  XlsxRegister& operator=(const XlsxRegister&) = delete;

  void Add(const RegisterRecord& r) {
    const lxw_row_t row = ++rows_;
    currentIndex_ = r.index;
    auto text = [&](RegisterColumn column, std::string_view cp1250) {
      const int c = Col(column);
      widths_[c] = std::max(widths_[c], CellText(cp1250, cell_));
      if (!cell_.empty()) {
        Check(worksheet_write_string(risks_, row, c, cell_.c_str(), text_), row, c);
      }
    };
    auto number = [&](RegisterColumn column, std::optional<int32_t> value) {
      const int c = Col(column);
      if (!value) return;
      digits_.clear();
      AppendNumber(digits_, *value);
      widths_[c] = std::max(widths_[c], digits_.size());
      Check(worksheet_write_number(risks_, row, c, *value, number_), row, c);
    };
    number(RegisterColumn::Number, r.index);
    text(RegisterColumn::Object, r.path);
    text(RegisterColumn::Hazard, r.text);
    text(RegisterColumn::Subsystem, r.source);
    text(RegisterColumn::Description, r.ident);
    number(RegisterColumn::P, r.p);
    number(RegisterColumn::N, r.n);
    number(RegisterColumn::H, r.h);
    number(RegisterColumn::R, r.level);
    const int band = RatedBand(r.level);
    const std::string& category = categories_[band];
    const int c = Col(RegisterColumn::Category);
    widths_[c] = std::max(widths_[c], WidestLine(category));
    Check(worksheet_write_string(risks_, row, c, category.c_str(), bands_[band]), row, c);
    text(RegisterColumn::Measures, r.opatreni);
    text(RegisterColumn::Note, r.comment);

    ++bandCounts_[band];
    const int32_t p = r.p.value_or(0), n = r.n.value_or(0);
    if (p >= 1 && p <= 5 && n >= 1 && n <= 5) {
      Cell& cell = matrix_[p - 1][n - 1];
      ++cell.count;
      // Unrated (0) is the lowest; then the bands in their order.
      cell.highest = std::max(cell.highest, band);
    }
  }

  void Commit() {
    for (int c = 0; c < kColumns; ++c) {
      const double width = std::min(kMaxWidth, static_cast<double>(widths_[c]) + 2);
      worksheet_set_column(risks_, c, c, width, nullptr);
    }
    worksheet_freeze_panes(risks_, 1, 0);
    worksheet_autofilter(risks_, 0, 0, rows_, kColumns - 1);
    PageSetup(risks_);
    worksheet_repeat_rows(risks_, 0, 0);
    WriteSummary();

    const lxw_error closed = workbook_close(std::exchange(workbook_, nullptr));
    if (closed != LXW_NO_ERROR) {
      throw Error(Msg(242, {PathText(output_), lxw_strerror(closed)}));
    }
    // On disk before it takes the output's name.
    const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (!synced) {
      throw Error(Msg(242, {PathText(output_), std::strerror(error)}));
    }
    std::error_code ec;
    fs::rename(temp_, output_, ec);
    if (ec) {
      throw Error(Msg(244, {PathText(output_), ec.message()}));
    }
    temp_.clear();
  }

 private:
  struct Cell {
    int count = 0;
    int highest = -1;
  };

  static void PageSetup(lxw_worksheet* sheet) {
    worksheet_set_landscape(sheet);
    worksheet_set_paper(sheet, 9);  // A4
    worksheet_fit_to_pages(sheet, 1, 0);
  }

  void WriteSummary() {
    auto columnRange = [&](RegisterColumn column) {
      const std::string letter = ColumnLetter(Col(column));
      return QuotedSheet(risksName_) + "!$" + letter + "$2:$" + letter + "$" +
             std::to_string(std::max<lxw_row_t>(rows_ + 1, 2));
    };
    const std::string range = columnRange(RegisterColumn::R);
    auto utf8 = [&](int n) { return Cp1250ToUtf8(RegisterMessage(messages_, n)); };

    size_t labelWidth = 0;
    auto label = [&](lxw_row_t row, lxw_col_t col, const std::string& text, lxw_format* format) {
      labelWidth = std::max(labelWidth, WidestLine(text));
      Check(worksheet_write_string(summary_, row, col, text.c_str(), format), row, col);
    };

    // Risks per category: the five bands, then the unrated ones, then all.
    label(0, 0, utf8(kRegisterColumnMessages[Col(RegisterColumn::Category)]), header_);
    label(0, 1, utf8(register_msg::kCount), header_);
    static constexpr std::array<std::array<int, 2>, 5> kBounds = {
        {{1, 3}, {4, 10}, {11, 50}, {51, 100}, {101, 125}}};
    int total = 0;
    for (int band = 1; band <= 6; ++band) {
      const lxw_row_t row = band;
      const int shown = band == 6 ? 0 : band;  // unrated after the bands
      label(row, 0, utf8(shown == 0 ? register_msg::kUnrated : shown), bands_[shown]);
      std::string formula;
      if (shown == 0) {
        formula = "=COUNTIFS(" + range + ",\"<1\")+COUNTIFS(" + range + ",\">125\")";
      } else {
        formula = "=COUNTIFS(" + range + ",\">=" + std::to_string(kBounds[shown - 1][0]) + "\"," +
                  range + ",\"<=" + std::to_string(kBounds[shown - 1][1]) + "\")";
      }
      total += bandCounts_[shown];
      Check(worksheet_write_formula_num(summary_, row, 1, formula.c_str(), number_,
                                        bandCounts_[shown]),
            row, 1);
    }
    label(7, 0, utf8(register_msg::kTotal), header_);
    Check(worksheet_write_formula_num(summary_, 7, 1, "=SUM(B2:B7)", header_, total), 7, 1);

    // The P × N matrix: P down, N across, each cell the number of its risks, coloured by the
    // highest category among them.
    const lxw_row_t top = 9;
    const std::string corner = utf8(44) + " \\ " + utf8(45);
    label(top, 0, corner, header_);
    for (int n = 1; n <= 5; ++n) {
      Check(worksheet_write_number(summary_, top, n, n, header_), top, n);
    }
    const std::string pRange = columnRange(RegisterColumn::P);
    const std::string nRange = columnRange(RegisterColumn::N);
    for (int p = 1; p <= 5; ++p) {
      const lxw_row_t row = top + p;
      Check(worksheet_write_number(summary_, row, 0, p, header_), row, 0);
      for (int n = 1; n <= 5; ++n) {
        const Cell& cell = matrix_[p - 1][n - 1];
        const std::string formula = "=COUNTIFS(" + pRange + "," + std::to_string(p) + "," + nRange +
                                    "," + std::to_string(n) + ")";
        lxw_format* format = cell.count > 0 ? bands_[cell.highest] : number_;
        Check(worksheet_write_formula_num(summary_, row, n, formula.c_str(), format, cell.count),
              row, n);
      }
    }
    worksheet_set_column(summary_, 0, 0, std::min(kMaxWidth, labelWidth + 2.0), nullptr);
    worksheet_set_column(summary_, 1, 5, 10, nullptr);
    PageSetup(summary_);
  }

  void Check(lxw_error error, lxw_row_t, lxw_col_t col) {
    if (error == LXW_NO_ERROR) return;
    if (error == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED) {
      throw Error(Msg(286, {std::to_string(currentIndex_),
                            RegisterColumnTitle(messages_, static_cast<RegisterColumn>(col)),
                            std::to_string(kMaxCellCharacters)}));
    }
    throw Error(Msg(242, {PathText(output_), lxw_strerror(error)}));
  }

  [[noreturn]] void Fail(const char* what) { throw Error(Msg(241, {PathText(output_), what})); }

  fs::path output_;
  fs::path temp_;
  const Messages& messages_;
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* risks_ = nullptr;
  lxw_worksheet* summary_ = nullptr;
  lxw_format* header_ = nullptr;
  lxw_format* text_ = nullptr;
  lxw_format* number_ = nullptr;
  std::array<lxw_format*, 6> bands_{};
  std::array<std::string, 6> categories_;  // UTF-8, by band
  std::string digits_;
  std::string risksName_;
  std::string title_, subject_, comments_;
  std::array<size_t, kColumns> widths_{};
  std::string cell_;  // the text of the cell being written
  lxw_row_t rows_ = 0;
  int32_t currentIndex_ = 0;
  std::array<int, 6> bandCounts_{};
  std::array<std::array<Cell, 5>, 5> matrix_{};
};

bool SameFile(const fs::path& a, const fs::path& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

template <typename Writer>
void WriteWith(Writer& writer, Table& project, int32_t root) {
  RegisterWalk<Writer> walk(project, writer);
  WalkBranch(project, root, walk);
  writer.Commit();
}

}  // namespace

std::optional<RegisterFormat> RegisterFormatOf(const fs::path& file) {
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".xlsx") return RegisterFormat::Xlsx;
  if (extension == ".csv") return RegisterFormat::Csv;
  return std::nullopt;
}

std::string CsvField(std::string_view text, char separator) {
  if (text.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos) {
    return std::string(text);
  }
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

void CheckRegisterOutput(const fs::path& output, const fs::path& projectFile) {
  if (!RegisterFormatOf(output)) {
    throw Error(Msg(287, {PathText(output)}));
  }
  // Only the project's own files are refused: what else the output replaces is the user's
  // choice, made in the save dialog.
  if (SameFile(output, projectFile)) {
    throw Error(Msg(288, {PathText(output)}));
  }
}

void WriteRegister(Table& project, const fs::path& output, std::optional<int32_t> branch,
                   const Messages& messages, const fs::path& projectFile) {
  CheckRegisterOutput(output, projectFile);
  if (SameFile(output, project.Path())) {
    throw Error(Msg(288, {PathText(output)}));
  }
  const auto format = RegisterFormatOf(output);
  const int32_t root = branch.value_or(0);
  if (*format == RegisterFormat::Csv) {
    CsvRegister writer(output, messages);
    WriteWith(writer, project, root);
  } else {
    XlsxRegister writer(output, messages, projectFile);
    WriteWith(writer, project, root);
  }
}

}  // namespace orvenda
