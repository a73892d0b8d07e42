#include "app/QvGangRun.h"

#include "app/QvGangDisplay.h"
#include "app/QvPortWatcher.h"
#include "app/QvResultsFile.h"
#include "app/QvTracePort.h"
#include "flashprog/QvFlashProgFile.h"
#include "flashprog/QvStation.h"
#include "framework/CvAppLog.h"
#include "serial/CvComPort.h"

#include <algorithm>
#include <utility>

struct TQvGangRun::TBeacon {
    std::string Port;
    size_t Row = 0;
    std::unique_ptr<TBeaconSink> Sink;
    std::unique_ptr<TQvStation> Station;
    std::unique_ptr<TQvBeaconJob> Job;
    bool Done = false;
};

TQvGangRun::TBeaconSink::TBeaconSink(TCvLogSink& target, const std::string& port)
    : fPrefix(target, "[" + port + "] ")
{
}

void TQvGangRun::TBeaconSink::Add(TCvAppLogMsgType type, const std::string& msg)
{
    if (Job)
        Job->LogEntry(type, msg);
    fPrefix.Add(type, msg);
}

TQvGangRun::TQvGangRun(const TQvHeadlessArgs& args, const TCvComSettings& settings, TQvBeaconJobOrder order,
                       TQvGangDisplay& display, TQvResultsFile* results)
    : fArgs(args)
    , fSettings(std::make_unique<TCvComSettings>(settings))
    , fOrder(std::move(order))
    , fDisplay(display)
    , fResults(results)
    , fReap(1)
{
    fReap.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvGangRun::ReapTick));
}

TQvGangRun::~TQvGangRun()
{
    fReap.Stop();
    fWatcher.reset();
    // Jobs go before their stations, stations before the sinks they write to.
    for (auto& beacon : fBeacons) {
        beacon->Job.reset();
        beacon->Station.reset();
    }
}

bool TQvGangRun::Start()
{
    // The package is loaded and checked once, before the first beacon; every beacon programs
    // that one load, so a file changed on disk meanwhile changes nothing.
    if (fOrder.Operation == "program") {
        fPackage = std::make_unique<TQvFlashProgTarget>();
        if (!TQvFlashProgFile::CheckFile(fOrder.File)
            || TQvFlashProgFile::Load(fOrder.File, *fPackage) != FP_OK) {
            AppLog->Add(logError, "The package \"%s\" is not valid; no beacon is programmed.", fOrder.File);
            fRejected = true;
            return false;
        }
        fOrder.Package = fPackage.get();
    }
    if (fArgs.Watch.empty()) {
        for (const std::string& port : fArgs.Ports)
            AddBeacon(port);
        fReap.Start();
        return true;
    }
    AppLog->Add(logInfo, "Waiting for beacons on \"%s\"...", fArgs.Watch);
    fWatcher = std::make_unique<TQvPortWatcher>(fArgs.Watch);
    fWatcher->SetOnAppear(TQvPortWatchEvent(this, &TQvGangRun::PortAppeared));
    fWatcher->Start();
    return true;
}

void TQvGangRun::Interrupt()
{
    fInterrupted = true;
    fWatcher.reset();
    for (auto& beacon : fBeacons)
        if (beacon->Job && !beacon->Job->Done())
            beacon->Job->Stop();
    fReap.Start();
}

bool TQvGangRun::Over() const
{
    if (fWatcher)
        return false;
    return std::all_of(fBeacons.begin(), fBeacons.end(),
                       [](const auto& beacon) { return beacon->Done && !beacon->Station; });
}

int TQvGangRun::ExitStatus() const
{
    if (!fArgs.Watch.empty() && !fRejected)
        return fNoPort || fFailed ? QV_EXIT_BEACON : QV_EXIT_OK;
    if (fNoPort)
        return QV_EXIT_PORT;
    if (fRejected)
        return QV_EXIT_REJECTED;
    if (fFailed)
        return QV_EXIT_BEACON;
    return QV_EXIT_OK;
}

void TQvGangRun::AddBeacon(const std::string& port)
{
    auto beacon = std::make_unique<TBeacon>();
    TBeacon& b = *beacon;
    fBeacons.push_back(std::move(beacon));
    b.Port = port;
    b.Row = fDisplay.Add(port);
    b.Sink = std::make_unique<TBeaconSink>(*AppLog, port);
    auto comPort = std::make_unique<TQvTracePort>();
    comPort->SetTrace(fArgs.Trace);
    comPort->SetTraceLabel("[" + port + "] ");
    b.Station = std::make_unique<TQvStation>(std::move(comPort), b.Sink.get());

    TCvComSettings settings = *fSettings;
    settings.SetPortName(port);
    TQvStationFailure failure;
    const auto started = std::chrono::system_clock::now();
    if (!b.Station->Connect(settings, &failure)) {
        TQvGangRow& row = fDisplay.Row(b.Row);
        row.Result = GANG_NO_PORT;
        row.Error = failure.Text;
        fDisplay.Changed(b.Row);
        TQvResultRecord record;
        record.Port = port;
        record.Operation = fOrder.Operation;
        record.Error = failure.Text;
        record.Started = record.Finished = started;
        if (fOrder.Operation == "program")
            record.Package = fOrder.File;
        Record(record);
        fNoPort = true;
        b.Done = true;
        fReap.Start();
        return;
    }
    b.Job = std::make_unique<TQvBeaconJob>(*b.Station->FlashProg(), port, fOrder,
                                           [sink = b.Sink.get()](TCvAppLogMsgType type, const std::string& text) {
                                               sink->Add(type, text);
                                           });
    b.Sink->Job = b.Job.get();
    b.Station->FlashProg()->SetOnAction(TQvFlashProgActionEvent(this, &TQvGangRun::EngineAction));
    b.Job->SetOnChanged(TQvBeaconJobEvent(this, &TQvGangRun::JobChanged));
    b.Job->SetOnDone(TQvBeaconJobEvent(this, &TQvGangRun::JobDone));
    b.Job->Start();
}

TQvGangRun::TBeacon* TQvGangRun::FindByJob(const TQvBeaconJob* job) const
{
    for (const auto& beacon : fBeacons)
        if (beacon->Job.get() == job)
            return beacon.get();
    return nullptr;
}

void TQvGangRun::EngineAction(TQvFlashProgActionParams& params)
{
    for (const auto& beacon : fBeacons)
        if (beacon->Station && beacon->Station->FlashProg() == params.Sender && beacon->Job) {
            beacon->Job->EngineAction(params);
            return;
        }
}

void TQvGangRun::JobChanged(TQvBeaconJobParams& params)
{
    TBeacon* b = FindByJob(params.Sender);
    if (!b)
        return;
    fDisplay.Row(b->Row) = params.Sender->Row();
    fDisplay.Changed(b->Row);
}

void TQvGangRun::JobDone(TQvBeaconJobParams& params)
{
    TBeacon* b = FindByJob(params.Sender);
    if (!b)
        return;
    const TQvBeaconJob& job = *params.Sender;
    b->Done = true;
    switch (job.StartReturn()) {
    case FP_OK:
    case FP_ERR_FILEOPEN:
        // A station counts only the beacons it finished; an interrupted gang run failed. A run
        // whose port went away failed for its port.
        if (job.Row().Result == GANG_FAILED && b->Station->Port()->DeviceLost())
            fNoPort = true;
        else if (job.Row().Result == GANG_FAILED || (job.Row().Result == GANG_STOPPED && fArgs.Watch.empty()))
            fFailed = true;
        break;
    case FP_ERR_COMMS:
        fNoPort = true;
        break;
    default:
        if (fOrder.Operation == "program")
            fRejected = true;
        else
            fFailed = true;
        break;
    }
    Record(job.Record());
    fReap.Start();
}

void TQvGangRun::PortAppeared(TQvPortWatchParams& params)
{
    if (!fInterrupted)
        AddBeacon(params.Port);
}

void TQvGangRun::Record(const TQvResultRecord& record)
{
    if (!fResults)
        return;
    std::string error;
    if (!fResults->Append(record, error))
        AppLog->Add(logError, "The result record could not be written to \"%s\": %s", fResults->FileName(), error);
}

void TQvGangRun::ReapTick(TCvTimerParams&)
{
    fReap.Stop();
    for (auto& beacon : fBeacons) {
        if (!beacon->Done || !beacon->Station)
            continue;
        beacon->Station->Disconnect();
        beacon->Job.reset();
        beacon->Station.reset();
        beacon->Sink.reset();
    }
    // A station forgets the beacons it finished (the watcher knows which ports are new); their
    // rows stay for the summary.
    if (!fArgs.Watch.empty())
        std::erase_if(fBeacons, [](const auto& beacon) { return beacon->Done && !beacon->Station; });
    if (Over() && !fOverRaised) {
        fOverRaised = true;
        TCvTimerParams params{&fReap};
        fOnOver(params);
    }
}
