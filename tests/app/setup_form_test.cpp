// The Options dialog's form.
#include "app/setup_form.h"

#include <gtest/gtest.h>

#include "base/cp1250.h"

namespace orvenda {
namespace {

TEST(SetupForm, ShowsTheCurrentValuesAndReturnsTheBoxesAfterOk) {
  SetupForm form;
  EXPECT_EQ(form.Caption, W("Nastavení"));
  EXPECT_EQ(form.AskExitCheckBox.text, W("Potvrdit ukončení programu"));
  Settings seen{};
  form.ShowModal = [&] {
    seen = {form.AskDeleteCheckBox.checked, form.AskExitCheckBox.checked,
            form.CountAverageCheckBox.checked};
    form.AskDeleteCheckBox.checked = true;
    form.CountAverageCheckBox.checked = false;
    form.OKBitBtnClick();
  };
  const auto chosen = form.Execute(Settings{false, true, true});
  EXPECT_EQ(seen, (Settings{false, true, true}));
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, (Settings{true, true, false}));
}

TEST(SetupForm, StornoOrClosingTheWindowGivesNothing) {
  SetupForm form;
  form.ShowModal = [&] {
    form.AskExitCheckBox.checked = false;
    form.StornoBitBtnClick();
  };
  EXPECT_FALSE(form.Execute(Settings{}).has_value());

  // A second showing starts afresh: closing without a button after an earlier OK is Storno.
  form.ShowModal = [&] { form.OKBitBtnClick(); };
  EXPECT_TRUE(form.Execute(Settings{}).has_value());
  form.ShowModal = [&] { form.AskExitCheckBox.checked = false; };
  EXPECT_FALSE(form.Execute(Settings{}).has_value());
}

TEST(SetupForm, ListsItsControlsByName) {
  SetupForm form;
  std::vector<std::string_view> names;
  for (const auto& [name, control] : form.Controls()) names.push_back(name);
  EXPECT_EQ(names,
            (std::vector<std::string_view>{"AskDeleteCheckBox", "AskExitCheckBox",
                                           "CountAverageCheckBox", "OKBitBtn", "StornoBitBtn"}));
  EXPECT_EQ(form.Controls()[1].second, &form.AskExitCheckBox);
}

}  // namespace
}  // namespace orvenda
