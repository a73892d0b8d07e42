#include "framework/qt/CvQtTimerService.h"

#include <QTimer>

TCvQtTimerService::TCvQtTimerService()
{
    fElapsed.start();
}

TCvQtTimerService::~TCvQtTimerService()
{
    if (TCvTimerService::Current() == this)
        TCvTimerService::SetCurrent(nullptr);
}

void TCvQtTimerService::Arm(TCvTimer& timer, uint32_t ms)
{
    QTimer*& qt = fTimers[&timer];
    if (!qt) {
        qt = new QTimer(this);
        qt->setSingleShot(true);
        qt->setTimerType(Qt::PreciseTimer);
        TCvTimer* target = &timer;
        connect(qt, &QTimer::timeout, this, [target] { target->Fire(); });
    }
    qt->start(static_cast<int>(ms));
}

void TCvQtTimerService::Disarm(TCvTimer& timer)
{
    auto it = fTimers.find(&timer);
    if (it != fTimers.end())
        it->second->stop();
}

void TCvQtTimerService::Release(TCvTimer& timer)
{
    auto it = fTimers.find(&timer);
    if (it == fTimers.end())
        return;
    QTimer* qt = it->second;
    fTimers.erase(it);
    qt->stop();
    qt->disconnect();
    // The timer may be released from inside its own timeout: delete once control returns.
    qt->deleteLater();
}

uint64_t TCvQtTimerService::NowMs() const
{
    return static_cast<uint64_t>(fElapsed.elapsed());
}
