#include "test_window.h"
#include "ui/gui_thread.h"
#include "ui/messages.h"

#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

namespace velquist::ui::test {
namespace {

constexpr UINT kMsgRecord = WM_USER + 240;

class MessageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseTestSkins();
        ASSERT_NE(w.Create(kNoWindow, {}, WS_OVERLAPPEDWINDOW, 0), kNoWindow);
    }
    TestWindow w;
};

TEST_F(MessageTest, PostsFromSeveralThreadsArriveInOrderPerSender) {
    constexpr int kThreads = 4;
    constexpr int kEach = 400;
    std::vector<std::thread> threads;
    const HWND hwnd = w.GetHWND();
    std::atomic<int> refused{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, hwnd, &refused] {
            for (int i = 0; i < kEach; ++i) {
                if (!PostMessage(hwnd, kMsgRecord, static_cast<WPARAM>(i), t)) {
                    ++refused;
                }
            }
        });
    }
    bool onGuiThread = true;
    w.onMessage = [&](UINT, WPARAM, LPARAM) { onGuiThread = onGuiThread && IsGuiThread(); };
    for (auto& th : threads) {
        th.join();
    }
    ASSERT_TRUE(SpinUntil([&] { return w.posted.size() == kThreads * kEach; }));
    EXPECT_EQ(refused, 0);
    EXPECT_TRUE(onGuiThread);
    std::map<LPARAM, WPARAM> next;
    for (const Posted& p : w.posted) {
        ASSERT_EQ(p.msg, kMsgRecord);
        EXPECT_EQ(p.wParam, next[p.lParam]) << "sender " << p.lParam;
        next[p.lParam] = p.wParam + 1;
    }
}

struct Record {
    int id;
};

std::atomic<int> gDropped{0};

void FreeRecord(UINT, WPARAM wParam, LPARAM) {
    delete reinterpret_cast<Record*>(wParam);
    ++gDropped;
}

TEST_F(MessageTest, PostToAGoneWindowIsRefusedAndNothingLeaks) {
    auto* gone = new TestWindow();
    gone->Create(kNoWindow, {}, WS_POPUP, 0);
    const HWND hwnd = gone->GetHWND();
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(WindowFromHandle(hwnd), gone);

    // Queued before the window goes but never handled: the release runs.
    gDropped = 0;
    ASSERT_TRUE(
        PostMessage(hwnd, kMsgRecord, reinterpret_cast<WPARAM>(new Record{1}), 0, FreeRecord));
    delete gone; // the window goes before its queue is served
    EXPECT_FALSE(IsWindow(hwnd));
    ASSERT_TRUE(SpinUntil([&] { return gDropped == 1; }));
    EXPECT_EQ(gDropped, 1);

    // After: refused, and the caller still owns the record.
    auto* record = new Record{2};
    std::thread poster([&] {
        EXPECT_FALSE(
            PostMessage(hwnd, kMsgRecord, reinterpret_cast<WPARAM>(record), 0, FreeRecord));
    });
    poster.join();
    delete record;
    EXPECT_EQ(WindowFromHandle(hwnd), nullptr);
    EXPECT_FALSE(PostMessage(kNoWindow, kMsgRecord));
}

// Results cross threads as values; the window that is gone never sees them and
// what they carried is released all the same.
TEST_F(MessageTest, CallsCarryValuesInOrderAndAreDroppedWithTheirWindow) {
    std::vector<std::vector<int>> got;
    bool onGuiThread = true;
    const HWND target = w.GetHWND();
    std::thread worker([&, target] {
        for (int i = 0; i < 100; ++i) {
            std::vector<int> values{i, -i};
            EXPECT_TRUE(PostToWindow(target, [&, values = std::move(values)]() mutable {
                onGuiThread = onGuiThread && IsGuiThread();
                got.push_back(std::move(values));
            }));
            if (i % 10 == 0) { // the two kinds of post keep one order
                PostMessage(target, kMsgRecord, static_cast<WPARAM>(i), 0);
            }
        }
    });
    worker.join();
    ASSERT_TRUE(SpinUntil([&] { return got.size() == 100; }));
    EXPECT_TRUE(onGuiThread);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(got[static_cast<std::size_t>(i)], (std::vector<int>{i, -i}));
    }
    ASSERT_EQ(w.posted.size(), 10u);

    // Accepted, then the window closes before the call runs (its widget still
    // waits for deletion), or the window object is deleted outright.
    for (const bool deleted : {false, true}) {
        auto gone = std::make_unique<TestWindow>();
        gone->Create(kNoWindow, {}, WS_POPUP, 0);
        const HWND handle = gone->GetHWND();
        auto carried = std::make_shared<int>(7);
        bool ran = false;
        if (!deleted) {
            ASSERT_TRUE(PostMessage(handle, WM_CLOSE, 0, 0));
        }
        ASSERT_TRUE(PostToWindow(handle, [&ran, carried] { ran = *carried == 7; }));
        if (deleted) {
            gone.reset();
        }
        ASSERT_TRUE(SpinUntil([&] { return carried.use_count() == 1; })) << deleted;
        EXPECT_FALSE(ran) << deleted;
        EXPECT_FALSE(PostToWindow(handle, [carried] {}));
        EXPECT_EQ(carried.use_count(), 1);
    }
}

TEST_F(MessageTest, HandlesAreNeverReused) {
    TestWindow a;
    a.Create(kNoWindow, {}, WS_POPUP, 0);
    const HWND first = a.GetHWND();
    a.Close(0);
    ASSERT_TRUE(SpinUntil([&] { return !a.IsWindow(); }));
    TestWindow b;
    b.Create(kNoWindow, {}, WS_POPUP, 0);
    EXPECT_NE(b.GetHWND(), first);
    EXPECT_FALSE(PostMessage(first, kMsgRecord));
}

TEST_F(MessageTest, PostedCloseCarriesItsCode) {
    auto* self = NewKeptWindow<TestWindow>();
    self->Create(kNoWindow, {}, WS_POPUP | WS_VISIBLE, 0);
    int got = -1;
    QTimer::singleShot(0, [self] { PostMessage(self->GetHWND(), WM_CLOSE, 1234, 0); });
    got = self->ShowModal();
    EXPECT_EQ(got, 1234);
}

int Ticks(const TestWindow& w, UINT id) {
    int n = 0;
    for (const Posted& p : w.posted) {
        n += p.msg == WM_TIMER && p.wParam == id ? 1 : 0;
    }
    return n;
}

TEST_F(MessageTest, TimersDeliverTheirIds) {
    ASSERT_TRUE(w.SetTimer(5, 10));
    ASSERT_TRUE(w.SetTimer(9, 15));
    ASSERT_TRUE(SpinUntil([&] { return Ticks(w, 5) >= 2 && Ticks(w, 9) >= 2; }));
    EXPECT_TRUE(w.KillTimer(5));
    EXPECT_TRUE(w.KillTimer(9));
    EXPECT_FALSE(w.KillTimer(9));
    const int fives = Ticks(w, 5);
    const int nines = Ticks(w, 9);
    // A timer of the same pace ticking several times shows the killed ones had their
    // chances to tick, however slowly the machine runs.
    ASSERT_TRUE(w.SetTimer(7, 10));
    ASSERT_TRUE(SpinUntil([&] { return Ticks(w, 7) >= 4; }));
    w.KillTimer(7);
    EXPECT_EQ(Ticks(w, 5), fives);
    EXPECT_EQ(Ticks(w, 9), nines);
}

TEST_F(MessageTest, RearmingDoesNotDuplicateTicks) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(w.SetTimer(3, 40));
    }
    // Measured against one timer of the same period armed once: a timer never ticks
    // more often than its period allows, so a single one stays level with it while
    // five duplicates would tick about five times as often.
    ASSERT_TRUE(w.SetTimer(4, 40));
    ASSERT_TRUE(SpinUntil([&] { return Ticks(w, 4) >= 5; }, 10000));
    w.KillTimer(3);
    w.KillTimer(4);
    EXPECT_GE(Ticks(w, 3), 2);
    EXPECT_LT(Ticks(w, 3), 2 * Ticks(w, 4));
}

TEST_F(MessageTest, HandlerCanKillItsOwnTimer) {
    w.onMessage = [this](UINT msg, WPARAM id, LPARAM) {
        if (msg == WM_TIMER && id == 11 && Ticks(w, 11) == 3) {
            w.KillTimer(11);
        }
    };
    ASSERT_TRUE(w.SetTimer(11, 5));
    ASSERT_TRUE(SpinUntil([&] { return Ticks(w, 11) == 3; }));
    ASSERT_TRUE(w.SetTimer(12, 5)); // its ticks are chances the killed timer had
    ASSERT_TRUE(SpinUntil([&] { return Ticks(w, 12) >= 5; }));
    w.KillTimer(12);
    EXPECT_EQ(Ticks(w, 11), 3);
}

TEST_F(MessageTest, RunOnGuiThreadFromAWorkerAndDirectlyOnTheGuiThread) {
    EXPECT_EQ(RunOnGuiThread([] { return IsGuiThread() ? 1 : 0; }), 1);
    std::atomic<int> result{-1};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = RunOnGuiThread([this] {
            w.FindControl(QStringLiteral("msgText"))->SetText(QStringLiteral("来自后台"));
            return IsGuiThread() ? 42 : 0;
        });
        done = true;
    });
    ASSERT_TRUE(SpinUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(w.FindControl(QStringLiteral("msgText"))->GetText(), QStringLiteral("来自后台"));
}

TEST_F(MessageTest, RunOnGuiThreadHandsExceptionsBackToTheCaller) {
    std::atomic<bool> caught{false};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            RunOnGuiThread([]() -> int { throw std::runtime_error("no"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        done = true;
    });
    ASSERT_TRUE(SpinUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(caught);
}

TEST_F(MessageTest, WorkerCanRunAModalBoxOnTheGuiThread) {
    std::atomic<int> code{-1};
    std::atomic<bool> done{false};
    const HWND owner = w.GetHWND();
    std::thread worker([&] {
        code = RunOnGuiThread([owner] {
            auto* box = NewKeptWindow<TestWindow>();
            box->Create(owner, {}, 0x96C80000u, 0);
            QTimer::singleShot(0, [box] { box->Close(1); });
            return box->ShowModal();
        });
        done = true;
    });
    ASSERT_TRUE(SpinUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(code, 1);
}

} // namespace
} // namespace velquist::ui::test
