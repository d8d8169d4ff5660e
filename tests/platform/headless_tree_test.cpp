// What only the headless tree view shows a test: that a worker's calls run on the tree's thread.
// How the tree behaves as the platform's is in tests/ui/tree_conformance_test.cpp.
#include <atomic>
#include <thread>

#include "tests/platform/headless_fixture.h"

namespace {

using namespace ui;
using headless_test::HeadlessTest;
using headless_test::Recorder;

using TreeSpy = headless_test::ThreadSpy<CTreeCtrl, 0x1100, 0x1200>;

TEST_F(HeadlessTest, AWorkerFillsTheTreeOnTheTreesThread) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop({0, 0, 300, 300}));
    TreeSpy tree;
    ASSERT_TRUE(tree.Create(u"SysTreeView32", u"", WS_CHILD | WS_VISIBLE | TVS_CHECKBOXES,
                            {0, 0, 200, 200}, &host, 200));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 10; ++i) {
            const HTREEITEM hub = tree.InsertItem(u"hub", TviRoot(), TviLast());
            tree.SetCheck(tree.InsertItem(u"port", hub, TviLast()), true);
        }
        done = true;
    });
    EXPECT_TRUE(WaitServingSentMessages([&] { return done.load(); }, 10000));
    worker.join();
    ASSERT_EQ(tree.threads.size(), 30u);
    EXPECT_EQ(std::count(tree.threads.begin(), tree.threads.end(), std::this_thread::get_id()), 30);
    int roots = 0, checked = 0;
    for (HTREEITEM i = tree.GetRootItem(); i != nullptr; i = tree.GetNextSiblingItem(i)) {
        ++roots;
        if (HTREEITEM child = tree.GetChildItem(i))
            checked += tree.GetCheck(child);
    }
    EXPECT_EQ(roots, 10);
    EXPECT_EQ(checked, 10);
}

}  // namespace
