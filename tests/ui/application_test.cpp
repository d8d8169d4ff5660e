// What the program's entry point does with the application object, the same on either backend:
// the exit code is ExitInstance's, which by default is the code WM_QUIT carried; nothing thrown
// by the application gets past it.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace {

using namespace ui;

class App : public CWinApp {
  public:
    enum class Throw { Nowhere, InInit, InExit };
    BOOL start = TRUE;
    int quitCode = 4;
    bool overrideExit = false;
    int exitCode = 0;
    Throw thrown = Throw::Nowhere;
    std::vector<std::string> calls;

    BOOL InitInstance() override {
        calls.push_back("init");
        if (thrown == Throw::InInit)
            throw std::runtime_error("init failed");
        if (start)
            PostQuitMessage(quitCode);
        return start;
    }
    int ExitInstance() override {
        calls.push_back("exit");
        if (thrown == Throw::InExit)
            throw std::runtime_error("exit failed");
        return overrideExit ? exitCode : CWinApp::ExitInstance();
    }
};

TEST(ApplicationTest, TheExitCodeIsExitInstancesResult) {
    struct Case {
        const char* name;
        BOOL start;
        bool overrideExit;
        int exitCode;
        int expected;
    };
    const Case cases[] = {
        {"the loop's code by default", TRUE, false, 0, 4},
        {"ExitInstance's own code", TRUE, true, 6, 6},
        {"ExitInstance's zero", TRUE, true, 0, 0},
        {"no loop: nothing quit", FALSE, false, 0, 0},
        {"no loop: ExitInstance's code", FALSE, true, 3, 3},
    };
    for (const auto& c : cases) {
        App app;
        app.start = c.start;
        app.overrideExit = c.overrideExit;
        app.exitCode = c.exitCode;
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_EQ(RunApplication(), c.expected) << c.name;
        EXPECT_EQ(app.calls, (std::vector<std::string>{"init", "exit"})) << c.name;
    }
}

TEST(ApplicationTest, FailuresEndWithMinusOne) {
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(RunApplication(), -1) << "no application object";
    {
        App app;
        app.thrown = App::Throw::InInit;
        EXPECT_EQ(RunApplication(), -1);
        EXPECT_EQ(app.calls, std::vector<std::string>{"init"});
    }
    {
        App app;
        app.thrown = App::Throw::InExit;
        EXPECT_EQ(RunApplication(), -1);
        EXPECT_EQ(app.calls, (std::vector<std::string>{"init", "exit"}));
    }
}

}  // namespace
