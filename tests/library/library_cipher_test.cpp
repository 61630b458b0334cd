#include "library/library_cipher.h"

#include <gtest/gtest.h>

#include "base/cp1250.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

using test::ErrorText;

TEST(LibraryCipher, KnownAnswersAndRoundTrip) {
  EXPECT_EQ(EncryptLibraryText(W("Pád z výšky")), "mF0lNhT8g+PD0QI=");
  EXPECT_EQ(EncryptLibraryText("A"), "iQ==");
  EXPECT_EQ(DecryptLibraryText("mF0lNhT8g+PD0QI="), W("Pád z výšky"));
  EXPECT_EQ(EncryptLibraryText(""), "");
  EXPECT_EQ(DecryptLibraryText(""), "");
  // Equal texts give equal stored values, also after other values went through the cipher.
  const std::string memo = W("Řádek 1\r\nŘádek 2");
  const std::string first = EncryptLibraryText(memo);
  EncryptLibraryText("something else");
  EXPECT_EQ(EncryptLibraryText(memo), first);
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  for (std::size_t n : {1u, 2u, 3u, 4u, 255u, 256u}) {
    const std::string stored = EncryptLibraryText(all.substr(0, n));
    EXPECT_EQ(stored.size() % 4, 0u);
    EXPECT_EQ(DecryptLibraryText(stored), all.substr(0, n)) << n;
  }
}

TEST(LibraryCipher, Base64ReadingRule) {
  EXPECT_EQ(ErrorText([] { DecryptLibraryText("abc"); }), "Base64: Incorrect string format");
  EXPECT_EQ(ErrorText([] { DecryptLibraryText("mF0lNhT8g+PD0QI"); }),
            "Base64: Incorrect string format");
  // Padding only in the last group; a foreign character elsewhere (also "=") reads as 63.
  EXPECT_EQ(LibraryBase64Decode("QUJD"), "ABC");
  EXPECT_EQ(LibraryBase64Decode("QQ=="), "A");
  EXPECT_EQ(LibraryBase64Decode("QUI="), "AB");
  EXPECT_EQ(LibraryBase64Decode("QU*DQQ=="), LibraryBase64Decode("QU/DQQ=="));
  EXPECT_EQ(LibraryBase64Decode("QU=DQQ=="), LibraryBase64Decode("QU/DQQ=="));
  EXPECT_EQ(LibraryBase64Decode("QU\xE9"
                                "DQQ=="),
            LibraryBase64Decode("QU/DQQ=="));
  EXPECT_EQ(LibraryBase64Decode("QU/DQQ==").size(), 4u);
  EXPECT_EQ(LibraryBase64Encode("AB"), "QUI=");
}

}  // namespace
}  // namespace orvenda
