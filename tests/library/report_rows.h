#pragma once

#include <string>
#include <vector>

namespace orvenda::test {

// A risk row as the report writes it: each line ends in one CR, the row in CR CR LF.
inline std::string ReportRow(const std::vector<std::string>& cells) {
  std::string row = "  <tr>\r";
  for (const std::string& cell : cells) {
    row +=
        "    <td width=\"8%\" valign=\"top\"><font size=\"1\">\r" + cell + "\r    </font></td>\r";
  }
  return row + "  </tr>\r\r\n";
}

// An eight-cell row; R (cell 7) holds a value no rating gives.
inline std::string RiskRow(const std::string& path, const std::string& source,
                           const std::string& p = "3", const std::string& n = "3",
                           const std::string& h = "3") {
  return ReportRow({path, source, "ident " + source, p, n, h, "999", "opatreni " + source});
}

inline std::string ReportPage(const std::string& rows,
                              const std::string& charset = "windows-1250") {
  return "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
         charset + "\">\r\n</head>\r\n<body>\r\n<table border=\"1\" width=\"100%\">\r\n" +
         "  <tr>\r\n    <td width=\"8%\" rowspan=\"2\"><font size=\"1\">Objekt</font></td>\r\n" +
         "  </tr>\r\n" + rows + "</table>\r\n</body>\r\n</html>\r\n";
}

}  // namespace orvenda::test
