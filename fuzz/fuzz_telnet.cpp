// Feeds arbitrary bytes from a device server to the RFC 2217 decoder, in pieces of a size
// the first byte picks, and checks that line data sent through the escaping comes back whole.
#include "link/telnet_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace quellaton;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const qsizetype piece = 1 + data[0] % 64;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    TelnetCodec codec;
    for (qsizetype at = 0; at < input.size(); at += piece) {
        codec.feed(QByteArrayView(input).sliced(at, std::min(piece, input.size() - at)));
    }
    // Escaped line data decodes to itself in a fresh decoder, whatever it holds.
    TelnetCodec clean;
    if (clean.feed(TelnetCodec::Escape(input)).data != input) {
        std::abort();
    }
    return 0;
}
