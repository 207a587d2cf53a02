// Feeds arbitrary received data to the frame reader and the image decoder.
// Input: byte 0 picks how the rest arrives (as bytes the driver turns into hex, in chunks; or
// as raw text), the rest is the data.
#include "dsp/scales.h"
#include "protocol/frame_reader.h"
#include "protocol/parameter_image.h"

#include <cstddef>
#include <cstdint>

using namespace quellaton;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const bool asBytes = (data[0] & 0x80) == 0;
    const int chunk = 1 + (data[0] & 0x7F);
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    QByteArray receiveText;
    for (qsizetype at = 0; at < input.size(); at += chunk) {
        const QByteArray part = input.mid(at, chunk);
        receiveText.append(asBytes ? ToHexText(part) : part);
        const ReadResult result = ReadReplies(receiveText);
        for (const Reply& reply : result.replies) {
            if (reply.kind == Reply::Kind::Image || reply.kind == Reply::Kind::Slot) {
                const ParameterImage image = DecodeImageText(reply.text);
                (void)image.Encode();
            }
        }
        if (receiveText.size() >= 2000) {
            __builtin_trap(); // the reader must keep the text bounded
        }
    }
    (void)DecodeImageText(input);
    return 0;
}
