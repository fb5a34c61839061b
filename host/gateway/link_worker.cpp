#include "host/gateway/link_worker.h"

#include <QElapsedTimer>

#include "host/gateway/driver_call.h"
#include "settings/driver_interface.h"

namespace gateway {
namespace {

// How long the link listens after a broadcast: nothing answers one, but the
// driver reads all the same.
constexpr int kBroadcastWaitMs = 1;

} // namespace

FailureAnswer answerForFailure(const LinkFailure &failure)
{
    switch (failure.kind) {
    case FailureKind::Exception:
        return {failure.exceptionCode, AnswerKind::SlaveException};
    case FailureKind::NoReply:
        return {kTargetFailedToRespond, AnswerKind::NoReply};
    case FailureKind::BadReply:
        return {kTargetFailedToRespond, AnswerKind::BadReply};
    case FailureKind::LinkDown:
        return {kPathUnavailable, AnswerKind::LinkDown};
    case FailureKind::Refused:
        break;
    }
    return {kServerDeviceFailure, AnswerKind::Failed};
}

LinkWorker::LinkWorker(LinkSetup setup, FairQueue &queue, StationGate &gate, GatewayStats &stats)
    : m_setup(std::move(setup)), m_queue(queue), m_gate(gate), m_stats(stats)
{
}

LinkWorker::~LinkWorker()
{
    m_queue.stop();
    join();
}

void LinkWorker::start()
{
    m_thread = std::thread(&LinkWorker::run, this);
}

void LinkWorker::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void LinkWorker::run()
{
    m_link = m_setup.makeLink();
    while (const ExchangePtr exchange = m_queue.take())
        serve(*exchange);
    m_stations.clear();
    m_link.reset();
}

AbstractDeviceInterface *LinkWorker::deviceFor(int station)
{
    auto found = m_stations.find(station);
    if (found == m_stations.end())
        found = m_stations.emplace(station, StationDevice(m_link.get(), station)).first;
    return &found->second;
}

void LinkWorker::answer(Exchange &exchange, const QByteArray &pdu, AnswerKind kind)
{
    // An exchange answered at its deadline meanwhile was counted then.
    if (exchange.answer(pdu, kind))
        m_stats.count(kind);
}

void LinkWorker::serve(Exchange &exchange)
{
    const PduRequest &request = exchange.request();
    const int station = exchange.station();
    const bool broadcast = station == kBroadcastUnit;
    const RequestPlan plan = broadcast ? RequestPlan() : m_gate.plan(station);
    if (plan.kind == RequestKind::BackedOff) {
        answer(exchange, exceptionPdu(request.function, kTargetFailedToRespond), AnswerKind::BackedOff);
        return;
    }
    m_link->setProbeTimeoutMs(broadcast ? kBroadcastWaitMs : plan.kind == RequestKind::Probe ? plan.probeTimeoutMs : 0);

    DriverInterface *driver = m_setup.driver;
    AbstractDeviceInterface *device = deviceFor(station);
    const DriverCall call = driverCallFor(request);
    QElapsedTimer timer;
    timer.start();
    QByteArray data;
    bool ok = false;
    if (call.write) {
        ok = driver->write(device, call.command, call.data) && !driver->hasError();
    } else {
        data = driver->read(device, call.command);
        ok = !driver->hasError() && data.size() >= readDataBytes(request);
    }
    const qint64 elapsedUs = timer.nsecsElapsed() / 1000;
    m_busyUs += elapsedUs;
    m_link->setProbeTimeoutMs(0);
    if (m_setup.afterRequest)
        m_setup.afterRequest();

    const LinkFailure failure = ok ? LinkFailure() : m_setup.classify(driver->getLastError(), m_link->errorString());
    // Nothing answers a broadcast: the request went out, and that is all a client can learn.
    if (ok || (broadcast && failure.kind == FailureKind::NoReply)) {
        if (!broadcast)
            m_gate.recordAnswer(station, elapsedUs);
        answer(exchange, answerPdu(request, data), AnswerKind::Ok);
        return;
    }
    if (!broadcast && failure.kind == FailureKind::NoReply)
        m_gate.recordSilence(station, (elapsedUs + 999) / 1000);
    else if (!broadcast && (failure.kind == FailureKind::Exception || failure.kind == FailureKind::BadReply))
        m_gate.recordAnswer(station, elapsedUs);
    const FailureAnswer reply = answerForFailure(failure);
    answer(exchange, exceptionPdu(request.function, reply.code), reply.kind);
}

} // namespace gateway
