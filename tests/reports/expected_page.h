#pragma once

// Page pieces written out by hand, in UTF-8, for comparing whole pages.
#include <string>
#include <vector>

namespace orvenda::test {

inline std::vector<std::string> ExpectedHead() {
  return {
      "<html>",
      "<head>",
      "<meta http-equiv=\"Content-Language\" content=\"cs\">",
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">",
      "<meta name=\"GENERATOR\" content=\"Orvenda\">",
      "<title>Orvenda</title>",
      "</head>",
      "<body>",
      "<table border=\"1\" width=\"100%\" cellspacing=\"0\">",
  };
}

// Both header rows of the layout the preview starts with.
inline std::vector<std::string> ExpectedDefaultHeader() {
  return {
      "  <tr>",
      "    <td width=\"8%\" rowspan=\"2\"><font size=\"1\">Posuzovaný objekt</font></td>",
      "    <td width=\"8%\" rowspan=\"2\"><font size=\"1\">Subsystém</font></td>",
      "    <td width=\"38%\" rowspan=\"2\"><font size=\"1\">Identifikace nebezpečí</font></td>",
      "    <td width=\"8%\" colspan=\"4\"><font size=\"1\">Vyhodnocení závažnosti "
      "rizika</font></td>",
      "    <td width=\"28%\" rowspan=\"2\"><font size=\"1\">Bezpečnostní opatření</font></td>",
      "    <td width=\"12%\" rowspan=\"2\"><font size=\"1\">Poznámka</font></td>",
      "  </tr>",
      "  <tr>",
      "    <td width=\"2%\"><font size=\"1\">P</font></td>",
      "    <td width=\"2%\"><font size=\"1\">N</font></td>",
      "    <td width=\"2%\"><font size=\"1\">H</font></td>",
      "    <td width=\"2%\"><font size=\"1\">R</font></td>",
      "  </tr>",
  };
}

inline std::vector<std::string> ExpectedLegend() {
  return {
      "</table>",
      "<table border=\"0\" width=\"100%\" cellspacing=\"1\">",
      "  <tr>",
      "    <td width=\"20%\" valign=\"top\"><font size=\"1\">Vysvětlivky:</font></td>",
      "    <td width=\"80%\" valign=\"top\"><font size=\"1\">",
      "<b>P</b> - Pravděpodobnost vzniku a existence rizika",
      "<ol>",
      "<li>Nahodilá</li>",
      "<li>Nepravděpodobná</li>",
      "<li>Pravděpodobná</li>",
      "<li>Velmi pravděpodobná</li>",
      "<li>Trvalá</li>",
      "</ol>",
      "<b>N</b> - Pravděpodobnost následků - závažnost",
      "<ol>",
      "<li>Poranění bez pracovní neschopnosti</li>",
      "<li>Absenční úraz (s pracovní neschopností)</li>",
      "<li>Vážnější úraz vyžadující hospitalizaci</li>",
      "<li>Těžký úraz a úraz s trvalými následky</li>",
      "<li>Smrtelný úraz</li>",
      "</ol>",
      "<b>H</b> - Názor hodnotitelů",
      "<ol>",
      "<li>Zanedbatelný vliv na míru nebezpečí a ohrožení</li>",
      "<li>Malý vliv na míru nebezpečí a ohrožení</li>",
      "<li>Větší, nezanedbatelný vliv na míru nebezpečí a ohrožení</li>",
      "<li>Velký a významný vliv na míru nebezpečí a ohrožení</li>",
      "<li>Více významných a nepříznivých vlivů na závažnost a následky ohrožení a nebezpečí</li>",
      "</ol>",
      "<b>R</b> - Míra rizika",
      "<ul>",
      "<li>0 - 3: Bezvýznamné riziko</li>",
      "<li>4 - 10: Akceptovatelné riziko</li>",
      "<li>11 - 50: Mírné riziko</li>",
      "<li>51 - 100: Nežádoucí riziko</li>",
      "<li>101 - 125: Nepřijatelné riziko</li>",
      "</ul>",
      " </font></td></tr>",
      "</table>",
      "</body>",
      "</html>",
  };
}

inline std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace orvenda::test
