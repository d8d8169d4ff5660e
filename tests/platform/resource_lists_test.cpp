// Drop-down entries of the test dialog through the linked backend's own reading path, with the
// language fallback of dialogs.
#include <gtest/gtest.h>

#include "platform/ui_resources.h"
#include "tests/platform/res/test_resource.h"

namespace {

using Entries = std::vector<std::pair<int, std::u16string>>;

TEST(ResourceLists, EachLanguageHasItsOwnEntries) {
    EXPECT_EQ(
        ui::res::DropDownEntries(IDD_TEST, ui::kLangEnglish),
        (Entries{
            {IDC_TEST_COMBO, u"Alpha"}, {IDC_TEST_COMBO, u"Beta"}, {IDC_TEST_COMBO, u"Gamma"}}));
    EXPECT_EQ(ui::res::DropDownEntries(IDD_TEST, ui::kLangSimplifiedChinese),
              (Entries{{IDC_TEST_COMBO, u"甲"}, {IDC_TEST_COMBO, u"乙"}, {IDC_TEST_COMBO, u"丙"}}));
}

TEST(ResourceLists, AMissingLanguageFallsBackToEnglish) {
    EXPECT_EQ(ui::res::DropDownEntries(IDD_TEST, ui::kLangTraditionalChinese),
              ui::res::DropDownEntries(IDD_TEST, ui::kLangEnglish));
}

TEST(ResourceLists, ADialogWithoutListsHasNoEntries) {
    EXPECT_TRUE(ui::res::DropDownEntries(IDD_TEST_SMALL, ui::kLangEnglish).empty());
    EXPECT_TRUE(ui::res::DropDownEntries(1, ui::kLangEnglish).empty());
}

}  // namespace
