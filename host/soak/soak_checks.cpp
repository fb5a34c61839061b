// The soak run's judgement of each answer: read values against the shadow,
// error texts against the driver's, the slave's data after a write, and the
// wait for connections the driver gave up on.

#include <QElapsedTimer>
#include <QStringList>
#include <chrono>
#include <set>
#include <thread>

#include "host/device/tcp_device.h"
#include "host/soak/soak_run.h"

namespace soak {

namespace {

constexpr int kShownProblems = 10; // details printed of each kind of problem

} // namespace

void Soak::problem(qint64 *counter, const QString &what, const QString &detail)
{
    ++*counter;
    if (*counter <= kShownProblems)
        m_out << "  " << what << ": " << detail << '\n';
    m_out.flush();
}

void Soak::judgeRead(const Request &request, const QByteArray &data)
{
    const Shadow::Expectation expected = m_shadow.expectRead(request);
    int firstWrong = data.size() != expected.bytes.size() ? 0 : -1;
    for (int i = 0; i < expected.bytes.size(); ++i) {
        const uchar known = uchar(expected.known.at(i));
        m_results.bitsChecked += __builtin_popcount(known);
        m_results.bitsUnknown += 8 - __builtin_popcount(known);
        if (firstWrong < 0 && ((uchar(data.at(i)) ^ uchar(expected.bytes.at(i))) & known))
            firstWrong = i;
    }
    if (firstWrong >= 0) {
        // What the slave holds now tells a driver that delivered wrong bytes
        // from a slave whose data went another way than the shadow; an
        // external slave cannot be looked into.
        QString slaveText = QStringLiteral("(an external slave)");
        const int from = firstWrong - firstWrong % 16;
        if (m_slave) {
            Shadow slaveNow = m_shadow;
            m_slave->withData([&slaveNow](sim::SlaveData &data) {
                slaveNow.holdingRegisters = data.holdingRegisters;
                slaveNow.inputRegisters = data.inputRegisters;
                slaveNow.coils = data.coils;
                slaveNow.discreteInputs = data.discreteInputs;
            });
            const QByteArray held = slaveNow.expectRead(request).bytes;
            slaveText = QStringLiteral("%1 (%2)").arg(hex(held, from),
                                                      held == data ? QStringLiteral("the slave holds what was read")
                                                                   : QStringLiteral("the read differs from the slave"));
        }
        problem(&m_results.wrongValues, QStringLiteral("WRONG VALUE accepted"),
                QStringLiteral("request #%1 %2\n    got      %3\n    expected %4\n    known    %5\n"
                               "    slave    %6")
                    .arg(m_results.done + 1)
                    .arg(describe(request), hex(data, from), hex(expected.bytes, from), hex(expected.known, from),
                         slaveText));
    }
}

void Soak::judgeFailure(const Request &request, const QString &error)
{
    const soak::ErrorVerdict verdict = soak::judgeError(error, request, m_options.station);
    ++m_results.errors[verdict.known ? verdict.key : QStringLiteral("(unknown) ") + verdict.key];
    if (!verdict.known) {
        problem(&m_results.unknownErrors, QStringLiteral("UNKNOWN ERROR TEXT"),
                QStringLiteral("request #%1 %2: \"%3\"").arg(m_results.done + 1).arg(describe(request), error));
    }
}

void Soak::checkSlaveAfterWrite(const Request &request)
{
    // Every register or coil the write touched must hold what the shadow
    // knows of it: the written bits and, in registers, the bits kept.
    std::set<int> addresses;
    const int bits = soak::dataBits(request);
    for (int i = 0; i < bits; ++i) {
        soak::Target target;
        if (soak::targetOf(request, m_shadow, i, &target))
            addresses.insert(target.address);
    }
    QStringList differences;
    m_slave->withData([&](sim::SlaveData &data) {
        for (int a : addresses) {
            const std::size_t i = std::size_t(a);
            if (request.table == Table::HoldingRegisters) {
                const uint16_t known = m_shadow.knownMask(a);
                if ((data.holdingRegisters[i] ^ m_shadow.holdingRegisters[i]) & known)
                    differences.append(QStringLiteral("HR%1 holds %2, expected %3 (known bits %4)")
                                           .arg(a + 1)
                                           .arg(data.holdingRegisters[i], 4, 16, QLatin1Char('0'))
                                           .arg(m_shadow.holdingRegisters[i], 4, 16, QLatin1Char('0'))
                                           .arg(known, 4, 16, QLatin1Char('0')));
            } else if (data.coils[i] != m_shadow.coils[i]) {
                differences.append(QStringLiteral("coil %1 is %2, expected %3")
                                       .arg(a + 1)
                                       .arg(data.coils[i])
                                       .arg(m_shadow.coils[i]));
            }
        }
    });
    if (!differences.isEmpty()) {
        problem(&m_results.wrongWrites, QStringLiteral("WRONG VALUE written"),
                QStringLiteral("request #%1 %2, data %3: %4")
                    .arg(m_results.done + 1)
                    .arg(describe(request), hex(request.data), differences.mid(0, 4).join(QStringLiteral("; "))));
    }
}

// A request the driver gave up on may still sit unread in the slave's end of
// a connection the driver has closed; the slave serves it when that
// connection's thread gets to it, possibly after later requests on a new
// connection (a slow slave, or a short time-out on a loaded machine). A write
// landing so late would overwrite what a later write put there, so after each
// write the soak lets every connection but the device's current one finish
// before it trusts the shadow again: the slave has accepted every connection
// the device made, and no other is still open. With the proxy in front, its
// sessions stand for the slave's connections: a session ends only once the
// slave has closed its side. An external slave reached directly cannot be
// watched.
void Soak::waitForOldConnections(const TcpDevice &device, const Request &request)
{
    const auto accepted = [this] { return m_proxy ? m_proxy->stats().connections : m_slave->stats().connections; };
    const auto open = [this] { return m_proxy ? m_proxy->openConnections() : m_slave->openConnections(); };
    if (!m_proxy && !m_slave)
        return;
    const auto drained = [&] {
        return accepted() == quint64(device.connectCount()) && open() <= (device.isOpen() ? 1 : 0);
    };
    if (drained())
        return;
    ++m_results.drainWaits;
    QElapsedTimer waited;
    waited.start();
    const qint64 limitMs = 10000 + 4 * qint64(m_options.timeoutMs);
    while (!drained()) {
        if (waited.elapsed() > limitMs) {
            problem(&m_results.notDrained, QStringLiteral("OLD CONNECTIONS NOT FINISHED"),
                    QStringLiteral("after request #%1 %2: %3 of %4 connections still open after %5 ms")
                        .arg(m_results.done + 1)
                        .arg(describe(request))
                        .arg(open())
                        .arg(accepted())
                        .arg(waited.elapsed()));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace soak
