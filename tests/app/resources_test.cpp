// The program's resources as the linked backend reads them: the six drop-down lists of the main
// window hold exactly the selection lists that decoding and check files index, in every language.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/res/resource.h"
#include "app/version.h"
#include "device/selection_lists.h"
#include "platform/ui_resources.h"

namespace {

using Lists = std::map<int, std::vector<std::u16string>>;

Lists ListsOfMainWindow(ui::LANGID language) {
    Lists lists;
    for (const auto& [control, text] : ui::res::DropDownEntries(IDD_MAIN, language))
        lists[control].push_back(text);
    return lists;
}

struct LanguageCase {
    ui::LANGID language;
    device::Language lists;
};

class MainWindowLists : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(MainWindowLists, EqualTheSelectionLists) {
    const device::SelectionLists& expected = device::SelectionListsFor(GetParam().lists);
    const Lists expectedLists{
        {IDC_RFREQ, expected.rFreq}, {IDC_WFREQ, expected.wFreq}, {IDC_IDLE, expected.idle},
        {IDC_SLEEP, expected.sleep}, {IDC_BLINK, expected.blink}, {IDC_EFS, device::EfsEntries()},
    };
    EXPECT_EQ(ListsOfMainWindow(GetParam().language), expectedLists);
}

INSTANTIATE_TEST_SUITE_P(
    AllLanguages, MainWindowLists,
    ::testing::Values(LanguageCase{ui::kLangEnglish, device::Language::English},
                      LanguageCase{ui::kLangSimplifiedChinese, device::Language::SimplifiedChinese},
                      LanguageCase{ui::kLangTraditionalChinese,
                                   device::Language::TraditionalChinese}));

TEST(VersionHeader, TextSpellsTheNumbers) {
    const std::string numbers =
        std::to_string(TAVRIN_VERSION_MAJOR) + "." + std::to_string(TAVRIN_VERSION_MINOR) + "." +
        std::to_string(TAVRIN_VERSION_PATCH) + "." + std::to_string(TAVRIN_VERSION_BUILD);
    EXPECT_EQ(numbers, TAVRIN_VERSION_TEXT);
}

}  // namespace
