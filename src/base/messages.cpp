#include "base/messages.h"

#include <algorithm>
#include <iterator>
#include <mutex>

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
    // Files and locks: %1 a file, %2 the second file or the reason.
    "%1: výstup je týž soubor jako vstup %2; nic nebylo zapsáno.",
    "Nelze vytvořit soubor %1: %2",
    "jiný běh programu",
    "uživatel %1 na počítači %2 (proces %3)",
    "%1: soubor právě upravuje %2; zkuste to později.",
    // Projects, batch commands: %1 a file or an index, %2 a field.
    "Záloha neobsahuje projekt rizik (*.RZK): %1",
    "Soubor není projekt rizik (*.RSK, *.RZK, *.ZLB): %1",
    "Tabulka %1 není tabulka projektu rizik (chybí pole %2).",
    "Soubor %1 už existuje.",
    "V projektu není položka s indexem %1.",
    "Knihovny nejsou otevřené.",
    "Soubor nelze přečíst.",
    "Adresář neexistuje: %1",
    "Položka %1 v knihovně není.",
    // The undo steps' names, in the order of undo_text::Text.
    "Zpět",
    "Znovu",
    "Uložit",
    "Přidat uzel",
    "Přidat riziko",
    "Vymazat",
    "Přesunout",
    "Kopírovat",
    "Vložit",
    "Vyjmout",
    "Najít",
    "Úpravy",
    "Přidat z knihovny",
    "Import HTML",
    "Krok nelze provést: záznamy projektu, kterých se týká, se mezitím změnily.",
    // The tree's show filter: its choices and the status text.
    "vše",
    "od kategorie",
    "nehodnocená rizika",
    "Zobrazeno:",
    // Main window: edits, imports, recovery, opening.
    "Nejprve uložte nebo zrušte rozpracované změny.",
    "stránka neobsahuje žádný řádek rizika ve tvaru sestavy (sloupec Poznámka skrytý).",
    "Import HTML se zastavil na %1. řádku rizika (řádek %2 souboru%3): hodnota „%4“ ve sloupci %5 "
    "není celé číslo. Řádky před ním zůstaly v projektu.",
    "Poslední změna: %1",
    "Program nebyl minule řádně ukončen a zůstal po něm neuložený nový projekt.\n%1\n\nObnovit "
    "projekt? Při odpovědi Ne bude zahozen.",
    "Program nebyl minule řádně ukončen a v projektu „%1“ zůstaly neuložené změny.\nSoubor: "
    "%2\n%3\n\nObnovit změny? Při odpovědi Ne budou zahozeny.",
    "Neuložené změny z minulého běhu programu nelze obnovit, pracovní tabulka je poškozená. "
    "Zůstává na svém místě:",
    "Neuložené změny z minulých běhů programu nelze obnovit, pracovní tabulky jsou poškozené. "
    "Zůstávají na svém místě:",
    "Další neuložená práce z minulých běhů programu zůstává uschována a bude nabídnuta při příštím "
    "spuštění.",
    "Náhled sestavy není k dispozici.",
    "Projekt %1 má právě otevřený %2.\n\nOtevřít ho jen pro čtení? Uložit se pak zeptá na nový "
    "název.",
    "%1: projekt leží ve složce %2, kterou export nahrazuje; nic nebylo zapsáno.",
    "%1: soubor neobsahuje žádné riziko k importu (žádný řádek nezačíná <$$$).",
    // Libraries and imports: %1 a file, %2 the reason or a second file.
    "Tabulka není knihovna rizik (chybí pole %1).",
    "Knihovnu %1 mezitím změnil jiný běh programu; jeho změny zůstávají v ní. Změny tohoto běhu "
    "jsou uloženy v souboru %2.",
    "Knihovnu %1 nelze načíst: %2",
    "Náhradní knihovnu %1 nelze načíst: %2",
    "Poškozený soubor zůstává beze změny; načtena náhradní knihovna %1.",
    "Poškozený soubor zůstává beze změny; program pokračuje s prázdnou knihovnou, která se bude "
    "ukládat do %1.",
    "Knihovnu nelze uložit do %1: %2",
    "Pracovní kopie knihoven zůstávají v %1",
    "Knihovny nejsou otevřeny.",
    "Soubor %1 nelze otevřít: %2",
    "Soubor %1 nelze přečíst.",
    "Import přerušen: řádek %1 nezačíná očekávanou číslicí: „%2“",
    // Update files: %1 the file, the record or the folder, %2 a field, type, node or reason.
    "Soubor %1 není použitelný aktualizační soubor: %2",
    "tabulka nemá pole %1.",
    "záznam bez platného čísla Index.",
    "záznam %1 má neznámý typ %2.",
    "číslo Index %1 se opakuje.",
    "záznam %1 má poškozené pole %2.",
    "chybí kořen větve (záznam s Index 1 a UpLink 0).",
    "záznam %1 odkazuje na neexistující uzel %2.",
    "záznam %1 leží pod rizikem %2.",
    "záznam %1 leží v cyklu odkazů UpLink.",
    "Složku %1 nelze vytvořit: %2",
    // The table engine: %1 a file or table, %2 a detail.
    "Soubor %1 je poškozený: %2.",
    "celočíselné pole nemá 4 bajty",
    "délka záhlaví neodpovídá souboru",
    "délka záznamu je neplatná",
    "odkaz na poznámku je mimo soubor poznámek",
    "odkaz na poznámku má špatnou délku",
    "odkaz na poznámku není číslo",
    "pole přesahují délku záznamu",
    "pole s plovoucí čárkou nemá 8 bajtů",
    "popis polí přesahuje záhlaví",
    "poznámka přesahuje konec souboru poznámek",
    "počet záznamů v záhlaví neodpovídá délce souboru",
    "tabulka nemá žádné pole",
    "velikost bloku poznámek je neplatná",
    "záhlaví souboru poznámek je neúplné",
    "záhlaví tabulky je neúplné",
    "číselné pole je delší než 20 znaků",
    "pole %1 má nulovou délku",
    "Tabulka %1 má nepodporovaný formát (verze %2).",
    "Zápis do souboru",
    "Nelze vytvořit dočasný soubor pro",
    "Čtení souboru",
    "Nelze otevřít tabulku",
    "Nelze otevřít soubor poznámek",
    "Soubor %1 nelze přejmenovat na %2: %3.",
    "Pole číslo %1 v tabulce %2 neexistuje.",
    // The table engine: %1 a table, a file or a value, %2 a field or a table.
    "Tabulka %1 je používána jiným programem.",
    "Soubor poznámek %1 je plný.",
    "Tabulka nemá jméno.",
    "Tabulka %1 musí mít aspoň jedno pole.",
    "Neplatné jméno pole %1 v tabulce %2.",
    "Neplatná délka pole %1 v tabulce %2.",
    "Neplatný index %1 v tabulce %2.",
    "Tabulku %1 nelze přejmenovat, je otevřená.",
    "Tabulku %1 lze zkomprimovat jen po otevření pro výhradní použití.",
    "Neplatný filtr: \"%1\".",
    "Chybí soubor poznámek %1 tabulky %2.",
    "Soubor %1 je poškozený: poznámky se překrývají.",
    "Chybí soubor poznámek tabulky %1.",
    "Tabulka %1 je plná.",
    "Tabulka %1 nemá aktuální záznam.",
    "\"%1\" není platné číslo pro pole %2.",
    "Záznam nepatří do tabulky %1.",
    "Tabulka %1 není otevřená.",
    "Tabulka %1 je jen pro čtení.",
    "Nelze vytvořit adresář schránky v %1",
    "Hodnota %1 se nevejde do pole %2.",
    // The library source of --build-library: %1 a line or field, %2 a detail.
    "řádek %1: %2",
    "pole %1 není platné UTF-8 (bajt %2).",
    "pole %1 obsahuje znak %2, který nelze uložit ve windows-1250.",
    "pole %1 je prázdné.",
    "pole %1 je mimo rozsah: \"%2\".",
    "pole %1 není celé číslo: \"%2\".",
    "pole %1 musí být 0 až 5, ne %2.",
    "pole %1: %2",
    "pole %1 je delší než %2 znaků.",
    "pole %1 končí mezerou.",
    "text končí samotným znakem \"\\\".",
    "neznámá posloupnost \"\\%1\".",
    "hlavička musí být \"%1\".",
    "očekáváno 11 polí oddělených tabulátorem, nalezeno %1.",
    "Index musí být alespoň 1, ne %1.",
    "Type musí být 0 (uzel) nebo 1 (riziko), ne %1.",
    "Index %1 už má záznam na řádku %2.",
    "UpLink %1 neodkazuje na žádný záznam.",
    "UpLink %1 odkazuje na riziko (řádek %2), ne na uzel.",
    "Index %1 je svým vlastním předkem (cyklus v UpLink).",
    // Report pages and the preview: %1 a file or folder, %2 the reason.
    "Soubor nelze vytvořit: %1 (%2)",
    "Chyba při zápisu souboru: %1 (%2)",
    "Soubor už je uzavřen: %1",
    "Soubor nelze přepsat: %1 (%2)",
    "Soubor nelze otevřít: %1 (%2)",
    "Chyba při čtení souboru: %1 (%2)",
    "Nelze vytvořit adresář sestavy: %1 (%2)",
    "Nelze vytvořit adresář sestavy v %1",
    "Vytvářím sestavu",
    "Tisk není k dispozici.",
    "Vzhled stránky není k dispozici.",
    "Soubor %1 již existuje. Chcete jej nahradit?",
    "Dialog pro uložení není k dispozici.",
    "Stránka sestavy ještě nebyla vytvořena.",
    "Uložení PDF není k dispozici.",
    "Vzhled sestavy není k dispozici.",
    // Page setup, the library's find dialog, the help window.
    "Vzhled stránky",
    "Papír",
    "Vlastní (%1 × %2 mm)",
    "Velikost:",
    "Orientace",
    "Na výšku",
    "Na šířku",
    "Okraje (mm)",
    "Levý:",
    "Pravý:",
    "Horní:",
    "Dolní:",
    "Záhlaví a zápatí",
    "&w název stránky, &u adresa, &p strana, &P počet stran, &d datum, &t čas, &b další část řádku "
    "(na střed, vpravo)",
    "Záhlaví:",
    "Zápatí:",
    "Storno",
    "Najít &co:",
    "Pouze &celá slova",
    "&Rozlišovat malá a velká",
    "Směr",
    "&Nahoru",
    "&Dolů",
    "Najít &další",
    "Nápověda",
    "Zavřít",
    "Soubor nápovědy %1 nebyl nalezen.",
    "Zpět",
    // The undo step of the table import.
    "Import z tabulky",
    // The register's files, the preview and printing: %1 a file or record, %2 a line or column.
    "Záznam %1: text ve sloupci %2 je delší než %3 znaků, které pojme buňka tabulky.",
    "Soubor %1 nemá příponu tabulky: použijte .xlsx nebo .csv.",
    "Tabulku nelze zapsat přes soubor projektu %1.",
    "%1, řádek %2: uvozovky nejsou uzavřeny.",
    "%1, řádek %2: řádek má %3 polí, záhlaví %4.",
    "%1: sloupec %2 je v záhlaví dvakrát.",
    "Připravuji náhled",
    "Stránku sestavy nelze načíst: %1 (%2)",
    "Tisk nelze zahájit: tiskárna nebo soubor není dostupný.",
    "Tisk se nezdařil.",
    // The preview's save filters.
    "Soubory HTML|*.HTM; *.HTML",
    "Soubory PDF|*.PDF",
    // The report for the client: its texts and its dialog.
    "Objednatel:",
    "Posuzovaný objekt:",
    "Hodnotitel:",
    "Datum:",
    "Soubor projektu:",
    "Počet posuzovaných rizik:",
    "Zpracoval:",
    "Převzal:",
    "Shrnutí",
    "Počet rizik podle kategorií",
    "Matice rizik",
    "Počet rizik v poli podle P a N; barva pole podle nejvyšší kategorie jeho rizik.",
    "Rizika bez hodnocení P nebo N nejsou v matici:",
    "Registr rizik",
    "č.",
    "V rozsahu sestavy nejsou žádná rizika.",
    "Rizika mimo objekty",
    "P, N nebo H nevyplněno (R = 0)",
    "Strana",
    "Zapisuji sestavu",
    "z",
    "Položka s indexem %1 je riziko, ne uzel; sestava se dělá za uzel.",
    "Zpráva pro klienta",
    "názvy uzlů nejvyšší úrovně",
    "Celý projekt",
    "Vybraná větev",
    "Rozsah:",
    "Podle stromu",
    "Podle míry rizika od nejvyšší",
    "Pořadí:",
    "Poznámky",
    "Vysvětlivky",
    "Uložit PDF...",
    "Uložit ODT...",
    "Tisk...",
    // The printed report's footer: the address, then page p of P at the right.
    "&u&b&bStrana &p z &P",
    // 334: the preview's status while the rest of a long page is laid out.
    "Rozloženo %1 z %2 řádků sestavy...",
    // 335 to 338: the find bar under a tree.
    "Další",
    "Předchozí",
    "Jen celá slova",
    "Rozlišovat diakritiku",
};

}  // namespace

const int Messages::kCount = Messages::kFirstAppended + static_cast<int>(std::size(kAppended));

Messages::Messages() : items_(Defaults()) {}

void Messages::SetFromList(const std::vector<std::string>& entries) {
  const size_t original = kFirstAppended;
  if (items_.size() < original) items_.resize(original);
  for (size_t n = 0; n < std::max(original, entries.size()); ++n) {
    if (n < entries.size()) {
      if (n >= items_.size()) items_.resize(n + 1);
      items_[n] = entries[n];
    } else if (n < original) {
      items_[n].clear();
    }
  }
}

void Messages::Set(int n, std::string text) {
  if (n < 0) return;
  if (static_cast<size_t>(n) >= items_.size()) items_.resize(n + 1);
  items_[n] = std::move(text);
}

namespace {

const Messages& CzechMessages() {
  static const Messages czech;
  return czech;
}

// The lists put in force, the newest last; a scope may end out of order.
std::mutex inForceMutex;
std::vector<const Messages*>& InForceLists() {
  static std::vector<const Messages*> lists;
  return lists;
}

}  // namespace

const Messages& Messages::Current() {
  const std::lock_guard lock(inForceMutex);
  const auto& lists = InForceLists();
  return lists.empty() ? CzechMessages() : *lists.back();
}

Messages::InForce::InForce(const Messages& messages) : messages_(&messages) {
  const std::lock_guard lock(inForceMutex);
  InForceLists().push_back(messages_);
}

Messages::InForce::~InForce() {
  const std::lock_guard lock(inForceMutex);
  auto& lists = InForceLists();
  const auto at = std::find(lists.rbegin(), lists.rend(), messages_);
  if (at != lists.rend()) lists.erase(std::next(at).base());
}

std::string FillArgs(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(text.size() + 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const size_t index = static_cast<size_t>(text[i + 1] - '1');
      if (index < args.size()) {
        out += *(args.begin() + index);
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string Msg(int n) { return Messages::Current().Get(n); }

std::string Msg(int n, std::initializer_list<std::string_view> args) {
  return FillArgs(Messages::Current().Get(n), args);
}

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
