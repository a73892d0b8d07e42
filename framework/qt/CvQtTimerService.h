// Timer service of the programs: every TCvTimer ticks through a QTimer on the main thread.
#pragma once

#include "framework/CvTimer.h"

#include <QElapsedTimer>
#include <QObject>

#include <map>

class QTimer;

class TCvQtTimerService : public QObject, public TCvTimerService {
    Q_OBJECT
public:
    TCvQtTimerService();
    ~TCvQtTimerService() override;

    void Arm(TCvTimer& timer, uint32_t ms) override;
    void Disarm(TCvTimer& timer) override;
    void Release(TCvTimer& timer) override;
    uint64_t NowMs() const override;

private:
    QElapsedTimer fElapsed;
    std::map<TCvTimer*, QTimer*> fTimers; // owned as children of this object
};
