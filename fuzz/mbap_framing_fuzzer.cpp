// The gateway's framing of what a Modbus TCP client sends, over any byte
// stream, read the way a client session reads it: frame after frame until
// the input needs more or a header is refused. Each whole frame must frame
// back to the same bytes; its PDU must be judged a request within the
// protocol's limits, one of the gateway's own exceptions, or broken; and a
// request must become a driver call and an answer that fits a frame.

#include "fuzz_support.h"
#include "host/gateway/driver_call.h"
#include "host/gateway/mbap_frame.h"

using namespace gateway;

static void checkRequest(const PduRequest &request, const QByteArray &pdu)
{
    FUZZ_CHECK(request.count >= 1 && request.count <= 2000, "count %d from a PDU of %d bytes", request.count,
               int(pdu.size()));
    FUZZ_CHECK(int(request.address) + request.count <= 65536, "addresses %d+%d past 65535", request.address,
               request.count);
    const DriverCall call = driverCallFor(request);
    FUZZ_CHECK(call.command.count() == request.count, "driver count %d for %d", call.command.count(), request.count);
    FUZZ_CHECK(call.write == isWriteFunction(request.function), "function %d read/write mix-up", request.function);
    const QByteArray answer = answerPdu(request, QByteArray(readDataBytes(request), '\x5A'));
    FUZZ_CHECK(answer.size() >= 2 && answer.size() <= kMaxMbapLength - 1 && quint8(answer[0]) == request.function,
               "answer of %d bytes to function %d", int(answer.size()), request.function);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(data), int(size));
    for (int at = 0; at < stream.size();) {
        const MbapFrame frame = takeMbapFrame(stream.constData() + at, stream.size() - at);
        if (frame.status != FrameStatus::Complete) {
            FUZZ_CHECK(frame.status == FrameStatus::NeedMore || !frame.refusal.isEmpty(), "refused without a reason");
            break;
        }
        FUZZ_CHECK(frame.consumed > kMbapHeaderSize && frame.consumed <= kMaxMbapFrameSize
                       && frame.consumed <= stream.size() - at,
                   "a frame of %d bytes from %d", frame.consumed, stream.size() - at);
        FUZZ_CHECK(mbapFrame(frame.transactionId, frame.unitId, frame.pdu) == stream.mid(at, frame.consumed),
                   "frame at %d does not frame back to its bytes", at);
        const DecodedPdu decoded = decodePdu(frame.pdu);
        if (decoded.verdict == PduVerdict::Request)
            checkRequest(decoded.request, frame.pdu);
        else if (decoded.verdict == PduVerdict::Exception)
            FUZZ_CHECK(decoded.exceptionCode >= 1 && decoded.exceptionCode <= 3, "exception %d", decoded.exceptionCode);
        else
            FUZZ_CHECK(!decoded.reason.isEmpty(), "broken without a reason");
        at += frame.consumed;
    }
    return 0;
}
