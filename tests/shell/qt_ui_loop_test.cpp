// The Qt UI loop keeps the contract of the engine's loop: the blocking hand-over with the
// worker's exception, posted calls in order, one message at a time, timers on Qt's clock.

#include "QtUiLoop.h"
#include "support/UiLoopContract.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace brimble;

class QtUiLoopTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The contract that the standard loop keeps too: the same table runs in the unit tests.
    void keepsTheHandOverContract() {
        const brimble::test::TUiLoopHarness harness{
            [] { return std::make_unique<QtUiLoop>(); },
            [](IUiLoop&, const std::function<bool()>& done) {
                QElapsedTimer clock;
                clock.start();
                while (!done()) {
                    if (clock.elapsed() > 10'000) return false;
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                }
                return true;
            }};
        for (const auto& c : brimble::test::UiLoopContractCases()) {
            const auto failure = c.Check(harness);
            QVERIFY2(!failure, (std::string(c.Name) + ": " + failure.value_or("")).c_str());
        }
    }

    void handOverRunsOnTheUiThreadAndRaisesTheErrorInTheWorker() {
        QtUiLoop loop;
        std::atomic<bool> ranOnUi = false;
        std::string workerSaw;
        std::atomic<bool> done = false;
        std::thread worker([&] {
            loop.RunAndWait([&] { ranOnUi = loop.IsUiThread(); });
            try {
                loop.RunAndWait([] { throw std::runtime_error("refused"); });
            } catch (const std::runtime_error& error) {
                workerSaw = error.what();
            }
            done = true;
        });
        QTRY_VERIFY(done.load());
        worker.join();
        QVERIFY(ranOnUi.load());
        QCOMPARE(workerSaw, std::string("refused"));
    }

    void postedCallsRunInOrderOneMessageAtATime() {
        QtUiLoop loop;
        std::vector<int> order;
        loop.Post([&] { order.push_back(1); });
        loop.Post([&] { order.push_back(2); });
        QCOMPARE(loop.PendingMessages(), std::size_t(2));
        QVERIFY(loop.ProcessOneMessage());
        QCOMPARE(order, std::vector<int>({1}));
        QTRY_COMPARE(order, std::vector<int>({1, 2}));
        // The wake-up event of the first call finds nothing left: nothing runs twice.
        QCoreApplication::processEvents();
        QCOMPARE(order.size(), std::size_t(2));
    }

    void errorOfAPostedCallGoesToTheHandlerAndTheQueueGoesOn() {
        QtUiLoop loop;
        std::string reported;
        loop.OnUnhandledError = [&](const std::string& text) { reported = text; };
        bool after = false;
        loop.Post([] { throw std::runtime_error("posted failure"); });
        loop.Post([&] { after = true; });
        QTRY_VERIFY(after);
        QCOMPARE(reported, std::string("posted failure"));
    }

    void timersFireOnlyWhileEnabledAndNeverWithIntervalZero() {
        QtUiLoop loop;
        int fired = 0, zeroFired = 0;
        auto timer = loop.CreateTimer([&] { ++fired; });
        auto zero = loop.CreateTimer([&] { ++zeroFired; });
        QVERIFY(!timer->Enabled());
        timer->SetInterval(10);
        QTest::qWait(50);
        QCOMPARE(fired, 0); // created disabled
        timer->SetEnabled(true);
        zero->SetInterval(0);
        zero->SetEnabled(true);
        QTRY_VERIFY(fired >= 2);
        timer->SetEnabled(false);
        const int stopped = fired;
        QTest::qWait(50);
        QCOMPARE(fired, stopped);
        QCOMPARE(zeroFired, 0);
    }

    void timerErrorGoesToTheHandler() {
        QtUiLoop loop;
        std::string reported;
        loop.OnUnhandledError = [&](const std::string& text) { reported = text; };
        auto timer = loop.CreateTimer([] { throw std::runtime_error("tick failed"); });
        timer->SetInterval(5);
        timer->SetEnabled(true);
        QTRY_COMPARE(reported, std::string("tick failed"));
    }

    void aWorkerStillWaitingWhenTheLoopGoesGetsAnError() {
        std::atomic<bool> queued = false;
        std::atomic<bool> failed = false;
        std::thread worker;
        {
            QtUiLoop loop;
            worker = std::thread([&] {
                try {
                    queued = true;
                    loop.RunAndWait([] {});
                } catch (const std::runtime_error&) {
                    failed = true;
                }
            });
            // The loop goes without handling its messages.
            QElapsedTimer waited;
            waited.start();
            while (loop.PendingMessages() == 0 && waited.elapsed() < 5000)
                std::this_thread::yield();
        }
        worker.join();
        QVERIFY(queued.load());
        QVERIFY(failed.load());
    }
};

QTEST_GUILESS_MAIN(QtUiLoopTest)
#include "qt_ui_loop_test.moc"
