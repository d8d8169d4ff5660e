// Every profile read and write of a check file's Load and Save failing in turn, one per run:
// a check file is loaded with the Load button, saved under a new name with Save, and the window
// closes. A failed read costs exactly its own item its default, a failed write exactly its own
// line; the title and the file in use follow the dialogs whatever fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/res/resource.h"
#include "platform/sim/faults.h"
#include "platform/text.h"
#include "tests/qc/qc_run_fixture.h"
#include "tests/support/fault_sweep.h"

namespace {

using namespace maintest;
using qctest::QcRunTest;

constexpr char16_t kSource[] = u"C:\\qc\\line1.chk";
constexpr char16_t kSaved[] = u"C:\\Tools\\Tavrin\\line2.chk";

// Every item enabled and away from its default: list items at their second entry, text items
// at a text that is not a number (and is upper case, as some edit boxes make it).
std::string SourceFile() {
    std::vector<std::pair<std::string, std::string>> values, enables;
    for (std::size_t i = 0; i < device::kSlotCount; ++i) {
        const std::string key = platform::ToUtf8(device::kSlotKeys[i]);
        values.emplace_back(key, app::IsListItem(i) ? "1" : "T" + std::to_string(i));
        enables.emplace_back(key, "1");
    }
    return CheckFile(values, enables);
}

// "Section/key=value", one an entry of a profile text.
std::vector<std::string> Entries(const std::string& text) {
    std::vector<std::string> entries;
    std::string section;
    for (const std::string& line : faultsweep::Lines(text)) {
        if (!line.empty() && line.front() == '[')
            section = line.substr(1, line.size() - 2);
        else if (!line.empty())
            entries.push_back(section + "/" + line);
    }
    return entries;
}

// The entries of `a` that `b` lacks, counting repeats.
std::vector<std::string> Minus(std::vector<std::string> a, std::vector<std::string> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::vector<std::string> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

struct Outcome {
    std::vector<std::string> saved;
    std::vector<std::string> settings;
    std::u16string title;
    std::u16string checkFilePath;
    std::optional<sim::FaultCall> failed;
    faultsweep::LeftOpen open;
};

class CheckFileFaultsTest : public QcRunTest {
  protected:
    Outcome RunOnce(std::uint64_t k) {
        QcRunTest::SetUp();  // a fresh station and window system for each run
        // The folder outlives a run: nothing of the last one may stand in for this one.
        std::filesystem::remove(Host(kSaved));
        std::filesystem::remove(Host(kSettings));
        WriteFile(kSource, SourceFile());
        Outcome out;
        Run([&](app::CTavrinDlg& dialog) {
            // The start-up scan's calls are the other sweeps' business.
            WaitForScans(dialog);
            sim::Faults::Reset();
            sim::Faults::Arm(k);
            ui::testing::QueueFileDialogAnswer(kSource);
            Click(dialog, IDB_LOAD);
            ui::testing::QueueFileDialogAnswer(kSaved);
            Click(dialog, IDB_SAVE);
            out.title = dialog.GetWindowText();
            out.checkFilePath = dialog.checkFilePath;
            Close(dialog);
        });
        out.failed = sim::Faults::FirstFailed();
        out.open = faultsweep::OpenNow();
        out.saved = Entries(ReadFile(kSaved));
        out.settings = Entries(ReadFile(kSettings));
        return out;
    }
};

TEST_F(CheckFileFaultsTest, EachFailingCallCostsOnlyItsOwnEntry) {
    const auto checkClean = [](const Outcome& clean, std::uint64_t calls) {
        ASSERT_EQ(clean.saved, Entries(SourceFile())) << "a clean load and save keeps every entry";
        ASSERT_NE(
            std::find(clean.settings.begin(), clean.settings.end(), "Setting/CHECK_FILE=line2.chk"),
            clean.settings.end());
        // Two reads and two writes an item, and the settings written on Save and at closing.
        ASSERT_GT(calls, 4 * device::kSlotCount);
    };
    const auto checkFailure = [](const Outcome& clean, const Outcome& got, std::uint64_t,
                                 sim::FaultCall kind) {
        EXPECT_EQ(got.open.handles, 0u);
        EXPECT_EQ(got.title, std::u16string(kTitle) + u" - " + kSaved);
        EXPECT_EQ(got.checkFilePath, kSaved);

        const auto lost = Minus(clean.saved, got.saved);
        const auto gained = Minus(got.saved, clean.saved);
        const auto settingsLost = Minus(clean.settings, got.settings);
        const auto settingsGained = Minus(got.settings, clean.settings);
        if (kind == sim::FaultCall::ProfileRead) {
            // The item's default: disabled, the first entry of a list, an empty text.
            ASSERT_EQ(lost.size(), 1u);
            const std::string entry = lost[0];
            const std::string key = entry.substr(0, entry.find('='));
            const bool text = entry.compare(entry.size() - 2, 2, "=1") != 0;
            EXPECT_EQ(gained, std::vector<std::string>{key + (text ? "=" : "=0")});
            EXPECT_EQ(got.settings, clean.settings);
        } else {
            ASSERT_EQ(kind, sim::FaultCall::ProfileWrite);
            EXPECT_TRUE(gained.empty());
            if (lost.empty()) {
                // A settings write: a key left out, the file in use before the dialog kept,
                // or nothing, where Save's first write is overwritten by its second.
                ASSERT_LE(settingsLost.size(), 1u);
                if (!settingsGained.empty()) {
                    ASSERT_EQ(settingsLost.size(), 1u);
                    EXPECT_EQ(settingsLost[0], "Setting/CHECK_FILE=line2.chk");
                    EXPECT_EQ(settingsGained,
                              std::vector<std::string>{"Setting/CHECK_FILE=C:\\qc\\line1.chk"});
                }
            } else {
                EXPECT_EQ(lost.size(), 1u);
                EXPECT_EQ(got.settings, clean.settings);
            }
        }
    };
    faultsweep::Sweep([this](std::uint64_t k) { return RunOnce(k); }, checkClean, checkFailure,
                      faultsweep::Sample::kEveryCall);
}

}  // namespace
