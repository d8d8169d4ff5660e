// Shared pieces of the headless window system's tests: a clean window system per test, and a
// window that records what it is sent.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/ui.h"
#include "platform/ui_testing.h"

namespace headless_test {

class HeadlessTest : public ::testing::Test {
  protected:
    void SetUp() override { ui::testing::Reset(); }
    void TearDown() override { ui::testing::Reset(); }
};

// Records every message; `answer` may take one over (return true and set the result).
class Recorder : public ui::CWnd {
  public:
    struct Seen {
        ui::UINT message;
        ui::WPARAM wParam;
        ui::LPARAM lParam;
    };
    std::vector<Seen> seen;
    std::function<bool(ui::UINT, ui::WPARAM, ui::LPARAM, ui::LRESULT*)> answer;

    bool CreateTop(ui::RECT rect = {100, 100, 500, 400},
                   ui::DWORD style = ui::WS_POPUP | ui::WS_VISIBLE) {
        return Create(u"HeadlessTestWindow", u"Host", style, rect, nullptr, 0);
    }
    std::vector<ui::UINT> Messages(std::initializer_list<ui::UINT> only) const {
        std::vector<ui::UINT> out;
        for (const auto& s : seen) {
            for (ui::UINT m : only) {
                if (s.message == m)
                    out.push_back(m);
            }
        }
        return out;
    }
    ui::LRESULT WindowProc(ui::UINT message, ui::WPARAM wParam, ui::LPARAM lParam) override {
        seen.push_back({message, wParam, lParam});
        ui::LRESULT result = 0;
        if (answer && answer(message, wParam, lParam, &result))
            return result;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// A control that notes the thread that runs each of its own messages, `first` to before `end`.
template <class Control, ui::UINT first, ui::UINT end>
class ThreadSpy : public Control {
  public:
    std::vector<std::thread::id> threads;
    ui::LRESULT WindowProc(ui::UINT m, ui::WPARAM w, ui::LPARAM l) override {
        if (m >= first && m < end)
            threads.push_back(std::this_thread::get_id());
        return Control::WindowProc(m, w, l);
    }
};

}  // namespace headless_test
