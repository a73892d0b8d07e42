#include "framework/qt/CvQtTimerService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

TEST(CvQtTimerService, FiresOnTheRunningEventLoop)
{
    TCvQtTimerService service;
    TCvTimerServiceScope scope(&service);
    QEventLoop loop;
    int fired = 0;
    qint64 elapsedAtFire = -1;
    QElapsedTimer elapsed;
    TCvTimer timer(50);
    timer.SetOnTimer(TCvEvent<TCvTimerParams>::FromFunction([&](TCvTimerParams& p) {
        ++fired;
        elapsedAtFire = elapsed.elapsed();
        p.Sender->Stop();
        loop.quit();
    }));
    elapsed.start();
    timer.Start();
    QTimer::singleShot(5000, &loop, &QEventLoop::quit); // guard: never hang
    loop.exec();
    EXPECT_EQ(fired, 1);
    EXPECT_GE(elapsedAtFire, 45);
    EXPECT_GE(service.NowMs(), 45u);
}

TEST(CvQtTimerService, TimerDestroyedInsideItsHandlerIsSafe)
{
    TCvQtTimerService service;
    TCvTimerServiceScope scope(&service);
    QEventLoop loop;
    auto timer = std::make_unique<TCvTimer>(5);
    int fired = 0;
    timer->SetOnTimer(TCvEvent<TCvTimerParams>::FromFunction([&](TCvTimerParams&) {
        ++fired;
        timer.reset();
        QTimer::singleShot(30, &loop, &QEventLoop::quit);
    }));
    timer->Start();
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(timer, nullptr);
}
