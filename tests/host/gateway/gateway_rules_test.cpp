// The gateway's rules as pure functions: MBAP framing, the judgement of a
// request before the line, the driver call it becomes and the answer it
// gets back, what a failure is answered with, who may connect, the fair
// turn of the queue and the gateway's options. The sessions, the worker and
// the clients meet end to end (gateway_e2e_test.cpp).

#include <gtest/gtest.h>

#include "host/gateway/driver_call.h"
#include "host/gateway/fair_queue.h"
#include "host/gateway/gateway_config.h"
#include "host/gateway/mbap_frame.h"
#include "host/mbrtu/gateway_command.h"
#include "host_test_util.h"

namespace {

using namespace gateway;

TEST(MbapFrame, FindsAFrameOrTheNeedForMoreOrRefuses)
{
    struct Row
    {
        const char *bytes;
        FrameStatus status;
        int consumed;
        const char *pdu;
        const char *refusal;
    } rows[] = {
        {"", FrameStatus::NeedMore, 0, "", ""},
        {"00 07 00 00 00", FrameStatus::NeedMore, 0, "", ""},
        {"00 07 00 00 00 06 11 03 00 6B", FrameStatus::NeedMore, 0, "", ""},
        {"00 07 00 00 00 06 11 03 00 6B 00 03", FrameStatus::Complete, 12, "03 00 6B 00 03", ""},
        // a second frame behind the first stays in the input
        {"00 07 00 00 00 02 11 2B 00 08 00", FrameStatus::Complete, 8, "2B", ""},
        {"00 07 00 00 00 FE 01", FrameStatus::NeedMore, 0, "", ""},
        {"00 07 00 01", FrameStatus::Refused, 0, "", "protocol id 1, not 0"},
        {"FF FF FF FF FF FF FF", FrameStatus::Refused, 0, "", "protocol id 65535, not 0"},
        {"00 07 00 00 00 01 11 03", FrameStatus::Refused, 0, "", "length 1 outside 2..254"},
        {"00 07 00 00 00 FF", FrameStatus::Refused, 0, "", "length 255 outside 2..254"},
        {"00 07 00 00 00 00", FrameStatus::Refused, 0, "", "length 0 outside 2..254"},
    };
    for (const Row &row : rows) {
        const QByteArray bytes = hexBytes(row.bytes);
        const MbapFrame frame = takeMbapFrame(bytes.constData(), bytes.size());
        EXPECT_EQ(frame.status, row.status) << row.bytes;
        EXPECT_EQ(frame.consumed, row.consumed) << row.bytes;
        EXPECT_EQ(hexOf(frame.pdu), hexOf(hexBytes(row.pdu))) << row.bytes;
        EXPECT_EQ(frame.refusal, QLatin1String(row.refusal)) << row.bytes;
    }
    const QByteArray frame = hexBytes("12 34 00 00 00 06 FF 03 00 00 00 01");
    const MbapFrame taken = takeMbapFrame(frame.constData(), frame.size());
    EXPECT_EQ(taken.transactionId, 0x1234);
    EXPECT_EQ(taken.unitId, 0xFF);
    EXPECT_EQ(hexOf(mbapFrame(0x1234, 0xFF, hexBytes("03 02 00 2A"))), hexOf(hexBytes("12 34 00 00 00 05 FF 03 02 00 2A")));
}

TEST(PduRequest, ServesRefusesOrFindsItBroken)
{
    struct Row
    {
        const char *pdu;
        PduVerdict verdict;
        int exceptionCode; // with Exception
        int address, count;
        const char *values;
    } rows[] = {
        {"01 00 13 00 13", PduVerdict::Request, 0, 0x13, 19, ""},
        {"02 00 00 07 D0", PduVerdict::Request, 0, 0, 2000, ""},
        {"02 00 00 07 D1", PduVerdict::Exception, 0x03, 0, 0, ""},
        {"03 00 6B 00 00", PduVerdict::Exception, 0x03, 0, 0, ""},
        {"03 00 6B 00 7D", PduVerdict::Request, 0, 0x6B, 125, ""},
        {"04 00 00 00 7E", PduVerdict::Exception, 0x03, 0, 0, ""},
        {"04 FF FF 00 01", PduVerdict::Request, 0, 0xFFFF, 1, ""},
        {"03 FF FF 00 02", PduVerdict::Exception, 0x02, 0, 0, ""},
        {"05 00 AC FF 00", PduVerdict::Request, 0, 0xAC, 1, "FF 00"},
        {"05 00 AC 00 00", PduVerdict::Request, 0, 0xAC, 1, "00 00"},
        {"05 00 AC 12 34", PduVerdict::Exception, 0x03, 0, 0, ""},
        {"06 00 01 00 03", PduVerdict::Request, 0, 1, 1, "00 03"},
        {"0F 00 13 00 0A 02 CD 01", PduVerdict::Request, 0, 0x13, 10, "CD 01"},
        {"0F 00 13 00 0A 01 CD", PduVerdict::Exception, 0x03, 0, 0, ""}, // byte count short of the count
        {"0F 00 00 07 B1 F7", PduVerdict::Malformed, 0, 0, 0, ""},
        {"10 00 01 00 02 04 00 0A 01 02", PduVerdict::Request, 0, 1, 2, "00 0A 01 02"},
        {"10 00 01 00 7C 00", PduVerdict::Exception, 0x03, 0, 0, ""},
        {"10 FF FF 00 02 04 00 0A 01 02", PduVerdict::Exception, 0x02, 0, 0, ""},
        {"10 00 01 00 02 04 00 0A 01", PduVerdict::Malformed, 0, 0, 0, ""}, // byte count past the frame
        {"03 00 6B 00", PduVerdict::Malformed, 0, 0, 0, ""},
        {"03 00 6B 00 01 00", PduVerdict::Malformed, 0, 0, 0, ""},
        {"", PduVerdict::Malformed, 0, 0, 0, ""},
        {"2B 0E 01 00", PduVerdict::Exception, 0x01, 0, 0, ""},
        {"07", PduVerdict::Exception, 0x01, 0, 0, ""},
        {"83 00 00 00 01", PduVerdict::Exception, 0x01, 0, 0, ""},
    };
    for (const Row &row : rows) {
        const DecodedPdu decoded = decodePdu(hexBytes(row.pdu));
        EXPECT_EQ(decoded.verdict, row.verdict) << row.pdu;
        if (row.verdict == PduVerdict::Exception)
            EXPECT_EQ(decoded.exceptionCode, row.exceptionCode) << row.pdu;
        if (row.verdict != PduVerdict::Request)
            continue;
        EXPECT_EQ(decoded.request.address, row.address) << row.pdu;
        EXPECT_EQ(decoded.request.count, row.count) << row.pdu;
        EXPECT_EQ(hexOf(decoded.request.values), hexOf(hexBytes(row.values))) << row.pdu;
    }
    EXPECT_EQ(hexOf(exceptionPdu(3, kTargetFailedToRespond)), "83 0B");
}

TEST(DriverCall, AsksTheDriverForTheClientsFunctionAndAnswersInModbusOrder)
{
    struct Row
    {
        const char *pdu;
        bool write;
        int dataType;
        const char *address;
        const char *driverData; // what the driver is handed (writes) or returns (reads)
        const char *answer;
    } rows[] = {
        {"01 00 13 00 0A", false, BitData, "DO20", "CD FF", "01 02 CD 03"}, // bits past the count go as 0
        {"02 00 00 00 08", false, BitData, "DI1", "A5", "02 01 A5"},
        {"03 00 6B 00 02", false, WordData, "HR108", "2B 02 00 01", "03 04 02 2B 01 00"},
        {"04 FF FF 00 01", false, WordData, "IR65536", "0A 00", "04 02 00 0A"},
        {"05 00 AC FF 00", true, BitData, "FN5DO173", "01", "05 00 AC FF 00"},
        {"05 00 AC 00 00", true, BitData, "FN5DO173", "00", "05 00 AC 00 00"},
        {"06 00 01 00 03", true, WordData, "FN6HR2", "03 00", "06 00 01 00 03"},
        {"0F 00 13 00 0A 02 CD 01", true, BitData, "DO20", "CD 01", "0F 00 13 00 0A"},
        {"10 00 01 00 02 04 00 0A 01 02", true, WordData, "HR2", "0A 00 02 01", "10 00 01 00 02"},
    };
    for (const Row &row : rows) {
        const PduRequest request = decodePdu(hexBytes(row.pdu)).request;
        const DriverCall call = driverCallFor(request);
        EXPECT_EQ(call.write, row.write) << row.pdu;
        EXPECT_EQ(call.command.dataType(), row.dataType) << row.pdu;
        EXPECT_EQ(call.command.address(), QLatin1String(row.address)) << row.pdu;
        EXPECT_EQ(call.command.count(), request.count) << row.pdu;
        EXPECT_EQ(hexOf(row.write ? call.data : QByteArray()), row.write ? hexOf(hexBytes(row.driverData)) : QString())
            << row.pdu;
        EXPECT_EQ(readDataBytes(request), row.write ? 0 : hexBytes(row.driverData).size()) << row.pdu;
        EXPECT_EQ(hexOf(answerPdu(request, row.write ? QByteArray() : hexBytes(row.driverData))),
                  hexOf(hexBytes(row.answer)))
            << row.pdu;
    }
}

TEST(FailureAnswer, TellsTheClientWhatTheLineDid)
{
    struct Row
    {
        const char *driverError;
        const char *deviceError;
        int code;
        AnswerKind kind;
    } rows[] = {
        {"exception code:0x02", "", 0x02, AnswerKind::SlaveException},
        {"exception code:0x0B", "", 0x0B, AnswerKind::SlaveException},
        {"PLC no response", "timed out", 0x0B, AnswerKind::NoReply},
        {"packet loss", "timed out", 0x0B, AnswerKind::BadReply},
        {"CRC error", "", 0x0B, AnswerKind::BadReply},
        {"invalid slave id:2", "", 0x0B, AnswerKind::BadReply},
        {"PLC no response", "echo did not match the request", 0x0B, AnswerKind::BadReply},
        {"PLC no response", "no echo of the request", 0x0B, AnswerKind::BadReply},
        {"PLC no response", "connection closed by peer", 0x0A, AnswerKind::LinkDown},
        {"PLC no response", "port gone", 0x0A, AnswerKind::LinkDown},
        {"connection refused", "connection refused", 0x0A, AnswerKind::LinkDown},
        {"can not open database", "", 0x04, AnswerKind::Failed},
    };
    for (const Row &row : rows) {
        const FailureAnswer answer = answerForFailure(gatewayFailureFor(QLatin1String(row.driverError),
                                                                        QLatin1String(row.deviceError)));
        EXPECT_EQ(answer.code, row.code) << row.driverError << " / " << row.deviceError;
        EXPECT_EQ(answer.kind, row.kind) << row.driverError << " / " << row.deviceError;
    }
}

TEST(GatewayConfig, ListensAndAllowsAsTold)
{
    QString address;
    int port = -1;
    EXPECT_TRUE(parseListen(QStringLiteral("1502"), &address, &port).isEmpty());
    EXPECT_EQ(address, QStringLiteral("127.0.0.1")); // nothing exposed unless asked
    EXPECT_TRUE(parseListen(QStringLiteral("0.0.0.0:502"), &address, &port).isEmpty());
    EXPECT_EQ(address, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(port, 502);
    for (const char *bad : {"", "x", "65536", "-1", "host:502", "1.2.3:502", ":502"})
        EXPECT_FALSE(parseListen(QLatin1String(bad), &address, &port).isEmpty()) << bad;

    QVector<Network> allow;
    ASSERT_TRUE(parseAllowList(QStringLiteral("192.168.1.10,10.0.0.0/8,172.16.5.9/16"), &allow).isEmpty());
    const std::pair<quint32, bool> clients[] = {
        {0xC0A8010A, true}, {0xC0A8010B, false}, {0x0A000001, true},  {0x0AFFFFFF, true},
        {0x0B000000, false}, {0xAC10FFFF, true},  {0xAC110000, false}, {0x7F000001, false},
    };
    for (const auto &[client, allowed] : clients)
        EXPECT_EQ(isAllowed(allow, client), allowed) << std::hex << client;
    EXPECT_TRUE(isAllowed({}, 0x7F000001));
    for (const char *bad : {"10.0.0.0/33", "10.0.0.0/x", "10.0.0/8", "10.0.0.1/8/8", "", "10.0.0.1,"})
        EXPECT_FALSE(parseAllowList(QLatin1String(bad), &allow).isEmpty()) << bad;
}

TEST(GatewayOptions, RefusesWithAReason)
{
    const std::pair<const char *, const char *> cases[] = {
        {"gateway", "gateway needs --listen [ADDRESS:]PORT"},
        {"gateway --listen 502 --json", "--json does not go with gateway"},
        {"gateway --listen 502 --station 0", "--station names the station of unit id 255: 1 to 247"},
        {"gateway --listen 502 --station 248", "--station names the station of unit id 255: 1 to 247"},
        {"gateway --listen nowhere:502", "--listen expects [ADDRESS:]PORT"},
        {"gateway --listen 502 --max-clients 0", "--max-clients expects a number from 1 to 1000, not '0'"},
        {"gateway --listen 502 --allow 10.0.0.0/40", "--allow expects addresses and networks"},
        {"gateway --listen 502 --deadline 0", "--deadline expects a number from 1"},
        {"gateway --listen 502 --read-only=yes", "--read-only takes no value"},
        {"gateway --listen 502 --to 1.2.3.4:5", "--to does not go with gateway"},
        {"gateway --listen 502 --serial /dev/ttyS0 --port 5020", "--serial and --host/--port name two links"},
        {"proxy --to 127.0.0.1:5020 --read-only", "unknown option '--read-only'"},
    };
    for (const auto &[line, reason] : cases) {
        const ParsedArguments parsed = parseToolArguments(QString::fromLatin1(line).split(QLatin1Char(' ')));
        EXPECT_FALSE(parsed.ok) << line;
        EXPECT_TRUE(parsed.error.contains(QLatin1String(reason))) << line << ": " << parsed.error.toStdString();
    }
    const ParsedArguments parsed = parseToolArguments(QStringLiteral(
        "gateway --listen 0.0.0.0:1502 --max-clients 4 --allow 10.0.0.0/8 --read-only --idle-timeout 500 "
        "--deadline 900 --status-every 1000 --port 5021 --timeout 200 --station 7").split(QLatin1Char(' ')));
    ASSERT_TRUE(parsed.ok) << parsed.error.toStdString();
    const GatewayConfig &config = parsed.options.gatewayConfig;
    EXPECT_EQ(config.listenAddress, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(config.listenPort, 1502);
    EXPECT_EQ(config.maxClients, 4);
    EXPECT_EQ(config.allow.size(), 1);
    EXPECT_TRUE(config.readOnly);
    EXPECT_EQ(config.idleTimeoutMs, 500);
    EXPECT_EQ(deadlineFor(config, 200, 0, 0), 900);
    EXPECT_EQ(deadlineFor(GatewayConfig(), 200, 2, 10), 3 * 210 + 1000);
    EXPECT_EQ(parsed.options.station, 7);
}

TEST(FairQueue, SessionsTakeTurnsAndAnsweredRequestsAreDropped)
{
    FairQueue queue;
    const auto doorbell = std::make_shared<Doorbell>();
    auto exchange = [&doorbell](int tag) {
        PduRequest request;
        request.address = quint16(tag);
        return std::make_shared<Exchange>(0, 1, 1, request, 0, doorbell);
    };
    // Session 1 bursts six requests before sessions 2 and 3 send two each.
    for (int i = 0; i < 6; ++i)
        queue.push(1, exchange(10 + i));
    queue.push(2, exchange(20));
    queue.push(3, exchange(30));
    queue.push(2, exchange(21));
    const ExchangePtr answered = exchange(31);
    queue.push(3, answered);
    answered->answer(exceptionPdu(3, kTargetFailedToRespond), AnswerKind::Deadline);
    queue.push(3, exchange(32));
    queue.push(4, exchange(40));
    queue.dropSession(4); // closed before its turn
    QList<int> order;
    while (queue.waiting() > 0)
        order.append(queue.take()->request().address);
    EXPECT_EQ(order, (QList<int>{10, 20, 30, 11, 21, 32, 12, 13, 14, 15}));
    queue.stop();
    EXPECT_EQ(queue.take(), nullptr);
}

} // namespace
