// Feeds arbitrary received data to the reply parser and the image decoder.
// Input: byte 0 sets the parser flags, byte 1 picks how the rest arrives (as bytes the
// driver turns into hex, in chunks; or as raw text), the rest is the data.
#include "dsp/scales.h"
#include "protocol/parameter_image.h"
#include "protocol/receive_parser.h"

#include <cstddef>
#include <cstdint>

using namespace quellaton;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    ParserFlags flags;
    flags.loadFromDevice = data[0] & 0x01;
    flags.saveUnitImage = data[0] & 0x02;
    flags.recall = data[0] & 0x04;
    flags.backup = data[0] & 0x08;
    flags.idChangePending = data[0] & 0x10;
    flags.saveAwaited = data[0] & 0x20;
    flags.searchActive = data[0] & 0x40;
    const bool asBytes = (data[1] & 0x80) == 0;
    const int chunk = 1 + (data[1] & 0x7F);
    const QByteArray input(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    QByteArray receiveText;
    for (qsizetype at = 0; at < input.size(); at += chunk) {
        const QByteArray part = input.mid(at, chunk);
        receiveText.append(asBytes ? ToHexText(part) : part);
        const ParseResult result = ParseReceiveText(receiveText, flags);
        if (result.imageReceived()) {
            const ParameterImage image = DecodeImageText(result.imageText);
            (void)image.Encode();
        }
        if (receiveText.size() >= 2000) {
            __builtin_trap(); // the parser must keep the text bounded
        }
    }
    (void)DecodeImageText(input);
    return 0;
}
