#include "base/messages.h"

#include <iterator>

#include "base/cp1250.h"

namespace orvenda {
namespace {

// Items 0..72; 73..89 are their own numbers and 90 is empty.
constexpr const char* kDefaults[] = {
    "Vytvářím strom",
    "Bezvýznamné riziko",
    "Akceptovatelné riziko",
    "Mírné riziko",
    "Nežádoucí riziko",
    "Nepřijatelné riziko",
    "Míra rizika:",
    "Otevírám soubor",
    "Soubor nenalezen.",
    "Opravdu ukončit program?",
    "Konec",
    "Data byla změněna!",
    "Uložit změny?",
    "Uložit",
    "Ukládání:",
    "Opravdu vymazat?",
    "Vymazat",
    "Otevírání knihovny",
    "Aktualizuji data",
    "Aktualizuji knihovnu",
    "Aktualizuji uživatelskou knihovnu",
    "Hodnocení rizik",
    "Název:",
    "Poznámka:",
    "Zpracováno programem",
    "Subsystém:",
    "Popis nebezpečí:",
    "Bezpečnostní opatření:",
    "Pravděpodobnost:",
    "Vznik&nbsp;ohrožení:",
    "Následky&nbsp;ohrožení:",
    "Názor&nbsp;hodnotitele:",
    "Tato stránka požaduje rámy, ale váš prohlížeč je nepodporuje.",
    "Posuzovaný objekt",
    "zpracováno programem",
    "Otevírám knihovny pro editaci",
    "Načítám knihovny rizik",
    "Nebyl nalezen další odpovídající záznam.",
    "Nenalezeno",
    "Přenáším data",
    "Vytvářím zálohu",
    "Pos. objekt",
    "Subsystém",
    "Iden. nebezpečí",
    "P",
    "N",
    "H",
    "R",
    "Opatření",
    "Poznámka",
    "Vysvětlivky:",
    "Pravděpodobnost vzniku a existence rizika",
    "Pravděpodobnost následků - závažnost",
    "Názor hodnotitelů",
    "Míra rizika",
    "Nahodilá",
    "Nepravděpodobná",
    "Pravděpodobná",
    "Velmi pravděpodobná",
    "Trvalá",
    "Poranění bez pracovní neschopnosti",
    "Absenční úraz (s pracovní neschopností)",
    "Vážnější úraz vyžadující hospitalizaci",
    "Těžký úraz a úraz s trvalými následky",
    "Smrtelný úraz",
    "Zanedbatelný vliv na míru nebezpečí a ohrožení",
    "Malý vliv na míru nebezpečí a ohrožení",
    "Větší, nezanedbatelný vliv na míru nebezpečí a ohrožení",
    "Velký a významný vliv na míru nebezpečí a ohrožení",
    "Více významných a nepříznivých vlivů na závažnost a následky ohrožení a nebezpečí",
    "Identifikace nebezpečí",
    "Vyhodnocení závažnosti rizika",
    "Bezpečnostní opatření",
};

// Items from 91 on, added after the list above was fixed. The language file reads the whole
// list as one value of at most 2,047 characters, so these stay short.
constexpr const char* kAppended[] = {
    // The risk register (spreadsheet and CSV): column titles, sheet names, summary labels.
    "Č.",
    "Nebezpečí",
    "Popis nebezpečí",
    "Kategorie",
    "Rizika",
    "Souhrn",
    "nehodnoceno",
    "Počet",
    "Celkem",
    // Its import's refusals: %1 the file, %2 the line, %3 the column, %4 the value or the
    // encoding.
    "%1, řádek %2, sloupec %3: hodnota „%4“ není celé číslo 1 až 5.",
    "%1: v záhlaví chybí sloupec %2.",
    "%1, řádek %2, sloupec %3: text nelze přečíst (%4).",
    "%1, řádek %2, sloupec %3: znak mimo windows-1250.",
    "Nic nebylo přidáno.",
};

static_assert(Messages::kFirstAppended + std::size(kAppended) == Messages::kCount);

}  // namespace

Messages::Messages() : items_(Defaults()) {}

const std::string& Messages::Get(int n) const {
  static const std::string empty;
  return n >= 0 && n < static_cast<int>(items_.size()) ? items_[n] : empty;
}

std::vector<std::string> Messages::Defaults() {
  std::vector<std::string> items;
  items.reserve(kCount);
  for (const char* text : kDefaults) items.push_back(Utf8ToCp1250(text));
  for (int n = static_cast<int>(items.size()); n < kFirstAppended - 1; ++n) {
    items.push_back(std::to_string(n));
  }
  items.emplace_back();
  for (const char* text : kAppended) items.push_back(Utf8ToCp1250(text));
  return items;
}

}  // namespace orvenda
