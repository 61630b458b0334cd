#include "base/ini_file.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "base/cp1250.h"
#include "base/error.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Read(const IniFile& ini, std::string_view section, std::string_view key) {
  return ini.ReadString(section, key).value_or("<missing>");
}

TEST(IniFile, ReadsWhatAnEditorProduces) {
  const IniFile ini = IniFile::Parse(
      "orphan=before any section\n"
      "\r\n"
      "; a comment=not a key\r\n"
      "  [ Translations ]  \r\n"
      "   spaced  =  value with blanks  \t\r\n"
      "plain=x\n"
      "no equals sign here\n"
      " = empty key\n"
      "Dup=first\n"
      "DUP=second\n"
      "quoted=\"  kept blanks  \"\n"
      "single='x'\n"
      "half=\"x\n"
      "empty=\n"
      "inner=a=b\n"
      "[other]\n"
      "plain=other section\n"
      "[translations]\n"
      "late=second section of the same name\n"
      "[no closing bracket\n"
      "k=v");

  EXPECT_EQ(ini.KeyNames("TRANSLATIONS"),
            (std::vector<std::string>{"spaced", "plain", "Dup", "DUP", "quoted", "single", "half",
                                      "empty", "inner"}));
  EXPECT_EQ(Read(ini, "translations", "SPACED"), "value with blanks");
  EXPECT_EQ(Read(ini, "Translations", "dup"), "first");
  EXPECT_EQ(Read(ini, "Translations", "quoted"), "  kept blanks  ");
  EXPECT_EQ(Read(ini, "Translations", "single"), "x");
  EXPECT_EQ(Read(ini, "Translations", "half"), "\"x");
  EXPECT_EQ(Read(ini, "Translations", "empty"), "");
  EXPECT_EQ(Read(ini, "Translations", "inner"), "a=b");
  EXPECT_EQ(Read(ini, "Translations", "late"), "<missing>");
  EXPECT_EQ(Read(ini, "Translations", "orphan"), "<missing>");
  EXPECT_EQ(Read(ini, "Translations", "; a comment"), "<missing>");
  EXPECT_EQ(Read(ini, "other", "plain"), "other section");
  EXPECT_EQ(Read(ini, "no closing bracket", "k"), "v");
  EXPECT_FALSE(ini.ReadString("missing", "plain").has_value());
  EXPECT_TRUE(ini.KeyNames("missing").empty());

  const IniFile czech = IniFile::Parse(W("[Překlady]\r\nŽluťoučký kůň=ano\r\n"));
  EXPECT_EQ(Read(czech, W("PŘEKLADY"), W("žLUŤOUČKÝ KŮŇ")), "ano");
}

TEST(IniFile, BufferLimitsOfKeyNamesAndValues) {
  // Each name with its zero, plus the zero closing the list: "abc" "de" need 4 + 3 + 1 = 8.
  const IniFile ini = IniFile::Parse("[s]\nabc=1\nde=2\nf=3\nlong=0123456789\n");
  EXPECT_EQ(ini.KeyNames("s", 8), (std::vector<std::string>{"abc", "de"}));
  EXPECT_EQ(ini.KeyNames("s", 10), (std::vector<std::string>{"abc", "de", "f"}));
  // "long" would need 5 more bytes than the 10 used: it is not seen, and neither is anything
  // after it, even where a shorter name would still fit.
  const IniFile more = IniFile::Parse("[s]\nabc=1\nde=2\nlonger=3\ng=4\n");
  EXPECT_EQ(more.KeyNames("s", 11), (std::vector<std::string>{"abc", "de"}));
  EXPECT_EQ(more.KeyNames("s", 4), (std::vector<std::string>{}));
  EXPECT_EQ(more.KeyNames("s", 5), (std::vector<std::string>{"abc"}));

  EXPECT_EQ(ini.ReadString("s", "long", 11), "0123456789");
  EXPECT_EQ(ini.ReadString("s", "long", 10), "012345678");
  EXPECT_EQ(ini.ReadString("s", "long", 1), "");
}

TEST(IniFile, WriteChangesOnlyItsLine) {
  const std::string original =
      "; made by hand\r\n"
      "[Other]\r\n"
      "Key=stays\r\n"
      "\r\n"
      "[Translations]\r\n"
      "first = one ; not a comment\r\n"
      "  KEY   =   old value\n"
      "#hash=is a key\r\n"
      "last=x\r\n"
      "\r\n"
      "\r\n"
      "[Tail]\r\n"
      "t=1";
  IniFile ini = IniFile::Parse(original);
  ini.WriteString("translations", "Key", "new");
  ini.WriteString("Translations", "Added", "a");
  ini.WriteString("Tail", "t2", "2");
  ini.WriteString("Brand New", "n", "v");
  EXPECT_EQ(ini.Serialize(),
            "; made by hand\r\n"
            "[Other]\r\n"
            "Key=stays\r\n"
            "\r\n"
            "[Translations]\r\n"
            "first = one ; not a comment\r\n"
            "Key=new\n"
            "#hash=is a key\r\n"
            "last=x\r\n"
            "Added=a\r\n"
            "\r\n"
            "\r\n"
            "[Tail]\r\n"
            "t=1\r\n"
            "t2=2\r\n"
            "[Brand New]\r\n"
            "n=v\r\n");
  const IniFile again = IniFile::Parse(ini.Serialize());
  EXPECT_EQ(Read(again, "Translations", "key"), "new");
  EXPECT_EQ(Read(again, "Translations", "added"), "a");
  EXPECT_EQ(Read(again, "Other", "key"), "stays");
  EXPECT_EQ(Read(again, "Translations", "first"), "one ; not a comment");
  // The key is written in the caller's spelling; an added key is found by a later write.
  ini.WriteString("Translations", "ADDED", "b");
  EXPECT_EQ(IniFile::Parse(ini.Serialize()).KeyNames("Translations"),
            (std::vector<std::string>{"first", "Key", "#hash", "last", "ADDED"}));

  // New lines take the file's line ends; a last line without one gets it first.
  IniFile lf = IniFile::Parse("[s]\na=1");
  lf.WriteString("s", "b", "2");
  EXPECT_EQ(lf.Serialize(), "[s]\na=1\nb=2\n");
  IniFile empty;
  empty.WriteString("Translations", "k", "v");
  EXPECT_EQ(empty.Serialize(), "[Translations]\r\nk=v\r\n");
}

TEST(IniFile, ValuesThatNeedQuotesReadBackUnchanged) {
  IniFile ini;
  const std::vector<std::string> values = {
      " leading", "trailing\t", "\"quoted\"", "'single'", "\"", "a \"b\" c", "", "~~", W("Česky")};
  for (size_t i = 0; i < values.size(); ++i) {
    ini.WriteString("s", "k" + std::to_string(i), values[i]);
  }
  const IniFile again = IniFile::Parse(ini.Serialize());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(Read(again, "s", "k" + std::to_string(i)), values[i]) << i;
  }
  EXPECT_NE(ini.Serialize().find("k6=\r\n"), std::string::npos);
}

TEST(IniFile, RefusesWhatWouldNotReadBack) {
  IniFile ini;
  for (const std::string key : {"", "a=b", "a\nb", " a", "a ", ";a", "[a"}) {
    EXPECT_THROW(ini.WriteString("s", key, "v"), std::invalid_argument) << key;
  }
  EXPECT_THROW(ini.WriteString("s", "k", "two\r\nlines"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("s", "k", "cr\r"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("a]b", "k", "v"), std::invalid_argument);
  EXPECT_EQ(ini.Serialize(), "");
}

TEST(IniFile, Utf8FileWithByteOrderMarkStaysUtf8) {
  const std::string original =
      "\xEF\xBB\xBF[Translations]\r\n; \xE6\x97\xA5 is no windows-1250 letter\r\n" +
      std::string("a=") + "P\xC5\x99\xC3\xADli\xC5\xA1\r\n";
  IniFile ini = IniFile::Parse(original);
  EXPECT_EQ(Read(ini, "Translations", "A"), W("Příliš"));
  ini.WriteString("Translations", "b", W("Žluť"));
  EXPECT_EQ(ini.Serialize(), original + "b=\xC5\xBDlu\xC5\xA5\r\n");
}

TEST(IniFile, LoadAndSaveThroughATemporaryFile) {
  TempDir dir;
  const fs::path file = dir / "Language.lng";
  EXPECT_EQ(IniFile::Load(file).Serialize(), "");
  EXPECT_EQ(IniFile::LoadForUpdate(file).Serialize(), "");

  WriteFileBytes(file, "[s]\r\nk=\xE8\r\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  IniFile ini = IniFile::LoadForUpdate(file);
  ini.WriteString("s", "m", "\x9A");
  ini.Save(file);
  EXPECT_EQ(ReadFileBytes(file), "[s]\r\nk=\xE8\r\nm=\x9A\r\n");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  // Saving through a link replaces the file it names and keeps the link.
  const fs::path link = dir / "link.lng";
  fs::create_symlink(file, link);
  ini.WriteString("s", "k", "via link");
  ini.Save(link);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(IniFile::Load(file), "s", "k"), "via link");
}

TEST(IniFile, UnwritableOrUnreadableFilesFail) {
  TempDir dir;
  const fs::path blocker = dir / "plain-file";
  WriteFileBytes(blocker, "x");
  const fs::path impossible = blocker / "Language.lng";
  IniFile ini;
  ini.WriteString("s", "k", "v");
  try {
    ini.Save(impossible);
    FAIL() << "saved under a plain file";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + impossible.string());
  }

  // A directory where the file should be: reading finds nothing, an update refuses.
  const fs::path directory = dir / "Language.lng";
  fs::create_directory(directory);
  EXPECT_EQ(IniFile::Load(directory).Serialize(), "");
  EXPECT_THROW(IniFile::LoadForUpdate(directory), Error);
  EXPECT_THROW(ini.Save(directory), Error);

  // A read-only file stays as it is (the super-user may write it anyway).
  const fs::path file = dir / "ro.lng";
  WriteFileBytes(file, "[s]\r\nk=v\r\n");
  fs::permissions(file, fs::perms::owner_read);
  if (std::FILE* probe = std::fopen(file.c_str(), "ab")) {
    std::fclose(probe);
  } else {
    EXPECT_THROW(ini.Save(file), Error);
    EXPECT_EQ(ReadFileBytes(file), "[s]\r\nk=v\r\n");
  }
}

}  // namespace
}  // namespace orvenda
