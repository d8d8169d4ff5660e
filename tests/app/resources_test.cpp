// The program's resources as the linked backend reads them: the six drop-down lists of the main
// window, and the selection lists that decoding and check files index, hold the entries of each
// language. Both are made from one source, so the entries are written out here.
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

using Entries = std::vector<std::u16string>;

struct LanguageCase {
    ui::LANGID language;
    device::Language lists;
    Entries freq, onOff, blink;  // the clocks, Idle and Sleep, Blink
};

// Every list in every language, the decoding's lists included, holds the entries of its language.
class MainWindowLists : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(MainWindowLists, EqualTheSelectionLists) {
    const LanguageCase& c = GetParam();
    const Entries efs = {u"0MB",  u"8MB",  u"16MB", u"24MB", u"32MB",  u"40MB", u"48MB",
                         u"56MB", u"64MB", u"80MB", u"96MB", u"112MB", u"128MB"};
    const Lists expectedLists{
        {IDC_RFREQ, c.freq},  {IDC_WFREQ, c.freq},  {IDC_IDLE, c.onOff},
        {IDC_SLEEP, c.onOff}, {IDC_BLINK, c.blink}, {IDC_EFS, efs},
    };
    EXPECT_EQ(ListsOfMainWindow(c.language), expectedLists);
    const device::SelectionLists& decoding = device::SelectionListsFor(c.lists);
    EXPECT_EQ(decoding.rFreq, c.freq);
    EXPECT_EQ(decoding.wFreq, c.freq);
    EXPECT_EQ(decoding.idle, c.onOff);
    EXPECT_EQ(decoding.sleep, c.onOff);
    EXPECT_EQ(decoding.blink, c.blink);
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, MainWindowLists,
                         ::testing::Values(LanguageCase{ui::kLangEnglish,
                                                        device::Language::English,
                                                        {u"20MHZ", u"30MHZ", u"40MHZ", u"15MHz"},
                                                        {u"ON", u"OFF"},
                                                        {u"Always", u"Quick", u"Slow"}},
                                           LanguageCase{ui::kLangSimplifiedChinese,
                                                        device::Language::SimplifiedChinese,
                                                        {u"20MHZ", u"26MHZ", u"40MHZ"},
                                                        {u"常亮", u"熄灭"},
                                                        {u"常亮", u"快闪", u"慢闪"}},
                                           LanguageCase{ui::kLangTraditionalChinese,
                                                        device::Language::TraditionalChinese,
                                                        {u"20MHZ", u"30MHZ", u"40MHZ"},
                                                        {u"常亮", u"熄滅"},
                                                        {u"常亮", u"快閃", u"慢閃"}}));

TEST(VersionHeader, TextSpellsTheNumbers) {
    const std::string numbers =
        std::to_string(TAVRIN_VERSION_MAJOR) + "." + std::to_string(TAVRIN_VERSION_MINOR) + "." +
        std::to_string(TAVRIN_VERSION_PATCH) + "." + std::to_string(TAVRIN_VERSION_BUILD);
    EXPECT_EQ(numbers, TAVRIN_VERSION_TEXT);
}

}  // namespace
