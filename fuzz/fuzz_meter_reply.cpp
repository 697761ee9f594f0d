// Replies as the link reads them: in pieces, tested for completion and refusal after each, then
// read strictly by the framing learned from them.
#include "link/MeterLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString reply;
    size_t pos = 0;
    while (pos < size) {
        const size_t piece = 1 + data[pos] % 16; // the first byte of a piece sets its length
        const size_t n = std::min(piece, size - pos);
        reply += QString::fromLatin1(reinterpret_cast<const char*>(data + pos), qsizetype(n));
        pos += n;
        if (MeterLink::replyComplete(reply))
            break;
    }
    MeterLink::isErrorReply(reply);
    MeterLink::errorCode(reply);
    MeterLink::errorReplyMessage(reply);
    MeterLink::firmwareVersion(reply);
    const MeterLink::ReplyFraming::Span span = MeterLink::ReplyFraming::learnedFrom(reply, QStringLiteral("001")).find(reply);
    if (span.end > reply.size() || (span.end >= 0 && span.begin > span.end))
        __builtin_trap();
    return 0;
}
