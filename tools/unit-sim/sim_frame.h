// Frame layer of the simulated amplifier unit: building frames and cutting them out of the
// byte stream that arrives on the pseudo-terminal. Written independently of the program's own
// frame code so that the simulator cross-checks the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace unitsim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t SyncByte = 0xA5;
inline constexpr std::uint8_t EndByte = 0xAA;
inline constexpr std::uint8_t BroadcastAddress = 0xFF;

inline constexpr std::uint8_t CmdWriteBlock = 0xA1;
inline constexpr std::uint8_t CmdReadBlock = 0xA2;
inline constexpr std::uint8_t CmdWriteAck = 0x51;
inline constexpr std::uint8_t CmdReadReply = 0x52;

inline constexpr std::size_t HeaderSize = 10; // sync, address, command, index, block, group, length
inline constexpr std::size_t FrameOverhead = 12; // header + check + end
// The largest block a frame carries is the 400-byte name table; a longer declared length can
// only come from a damaged or misaligned header.
inline constexpr std::size_t MaxPayload = 400;

// XOR of the bytes in [first, last).
std::uint8_t XorOf(const std::uint8_t* first, const std::uint8_t* last);

// A complete frame: sync, the header fields, payload, check over address..payload, end.
Bytes BuildFrame(std::uint8_t address, std::uint8_t command, std::uint8_t index, std::uint8_t block,
                 std::uint8_t group, const std::uint8_t* payload, std::size_t length);
inline Bytes BuildFrame(std::uint8_t address, std::uint8_t command, std::uint8_t index,
                        std::uint8_t block, std::uint8_t group, const Bytes& payload) {
    return BuildFrame(address, command, index, block, group, payload.data(), payload.size());
}

// Upper-case hex, two digits per byte, no separators.
std::string ToHex(const std::uint8_t* data, std::size_t size);
inline std::string ToHex(const Bytes& bytes) {
    return ToHex(bytes.data(), bytes.size());
}

// What the reader cut out of the stream.
enum class PieceKind {
    Frame,    // complete frame, check and end byte correct
    BadCheck, // complete frame whose check byte is wrong
    BadEnd,   // declared length reached but the end byte is not 0xAA
    Junk,     // bytes in front of a sync, or a header declaring an impossible length
    Cut,      // an unfinished frame dropped after the line fell idle
};

struct Piece {
    PieceKind kind;
    Bytes bytes;
};

const char* PieceKindName(PieceKind kind);

// Cuts frames out of a byte stream that may arrive in arbitrary fragments (the program writes
// a large frame as a 10-byte head and, a while later, the rest). Partial frames stay buffered;
// anything in front of a sync is handed back as junk so the reader resynchronises.
class FrameReader {
public:
    void Feed(const std::uint8_t* data, std::size_t size, std::vector<Piece>& out);
    // The line went quiet while a frame was unfinished: give up on that frame. Frames that
    // start inside the abandoned bytes are still found.
    void DropUnfinished(std::vector<Piece>& out);
    bool HasPending() const { return !buffer_.empty(); }

private:
    void Parse(std::vector<Piece>& out);
    std::size_t SyncCandidate(std::size_t from) const;
    std::size_t CompleteSync(std::size_t from, std::size_t limit) const;
    void Emit(PieceKind kind, std::size_t count, std::vector<Piece>& out);

    Bytes buffer_;
};

} // namespace unitsim
