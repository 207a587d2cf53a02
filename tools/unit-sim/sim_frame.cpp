#include "sim_frame.h"

namespace unitsim {

std::uint8_t XorOf(const std::uint8_t* first, const std::uint8_t* last) {
    std::uint8_t value = 0;
    for (; first != last; ++first) {
        value ^= *first;
    }
    return value;
}

Bytes BuildFrame(std::uint8_t address, std::uint8_t command, std::uint8_t index, std::uint8_t block,
                 std::uint8_t group, const std::uint8_t* payload, std::size_t length) {
    Bytes frame;
    frame.reserve(FrameOverhead + length);
    frame.insert(frame.end(), {SyncByte, SyncByte, SyncByte, address, command, index, block, group,
                               static_cast<std::uint8_t>(length >> 8),
                               static_cast<std::uint8_t>(length & 0xFF)});
    if (length > 0) {
        frame.insert(frame.end(), payload, payload + length);
    }
    frame.push_back(XorOf(frame.data() + 3, frame.data() + frame.size()));
    frame.push_back(EndByte);
    return frame;
}

std::string ToHex(const std::uint8_t* data, std::size_t size) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(Digits[data[i] >> 4]);
        text.push_back(Digits[data[i] & 0x0F]);
    }
    return text;
}

const char* PieceKindName(PieceKind kind) {
    switch (kind) {
    case PieceKind::Frame:
        return "frame";
    case PieceKind::BadCheck:
        return "frame with wrong check";
    case PieceKind::BadEnd:
        return "frame with wrong end byte";
    case PieceKind::Junk:
        return "junk";
    case PieceKind::Cut:
        return "unfinished frame";
    }
    return "?";
}

void FrameReader::Feed(const std::uint8_t* data, std::size_t size, std::vector<Piece>& out) {
    buffer_.insert(buffer_.end(), data, data + size);
    Parse(out);
}

void FrameReader::DropUnfinished(std::vector<Piece>& out) {
    if (buffer_.empty()) {
        return;
    }
    // A frame that starts inside the abandoned bytes (say a request written after a head
    // whose rest never came) is kept and parsed on its own.
    const std::size_t next = CompleteSync(1, buffer_.size());
    Emit(PieceKind::Cut, next, out);
    Parse(out);
    // Whatever is still unfinished (a lone head, a trailing sync fragment) goes too.
    if (!buffer_.empty()) {
        Emit(PieceKind::Cut, buffer_.size(), out);
    }
}

// First position >= from where a sync could begin: three 0xA5 bytes, or the 0xA5 bytes at
// the very end of the buffer that may be the start of one.
std::size_t FrameReader::SyncCandidate(std::size_t from) const {
    for (std::size_t i = from; i < buffer_.size(); ++i) {
        std::size_t run = 0;
        while (run < 3 && i + run < buffer_.size() && buffer_[i + run] == SyncByte) {
            ++run;
        }
        if (run == 3 || i + run == buffer_.size()) {
            if (run > 0) {
                return i;
            }
        }
    }
    return buffer_.size();
}

// First position in [from, limit) where a complete sync begins; limit if there is none.
std::size_t FrameReader::CompleteSync(std::size_t from, std::size_t limit) const {
    for (std::size_t i = from; i < limit && i + 2 < buffer_.size(); ++i) {
        if (buffer_[i] == SyncByte && buffer_[i + 1] == SyncByte && buffer_[i + 2] == SyncByte) {
            return i;
        }
    }
    return limit;
}

void FrameReader::Emit(PieceKind kind, std::size_t count, std::vector<Piece>& out) {
    if (count == 0) {
        return;
    }
    if (kind == PieceKind::Junk && !out.empty() && out.back().kind == PieceKind::Junk) {
        // Consecutive junk is reported as one piece.
        out.back().bytes.insert(out.back().bytes.end(), buffer_.begin(), buffer_.begin() + count);
    } else {
        out.push_back(Piece{kind, Bytes(buffer_.begin(), buffer_.begin() + count)});
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + count);
}

void FrameReader::Parse(std::vector<Piece>& out) {
    while (!buffer_.empty()) {
        const std::size_t start = SyncCandidate(0);
        Emit(PieceKind::Junk, start, out);
        if (buffer_.size() < HeaderSize) {
            return; // a sync fragment or a header still arriving
        }
        const std::uint8_t command = buffer_[4];
        const bool knownCommand = command == CmdWriteBlock || command == CmdReadBlock ||
                                  command == CmdWriteAck || command == CmdReadReply;
        const std::size_t length = (std::size_t{buffer_[8]} << 8) | buffer_[9];
        if (!knownCommand || length > MaxPayload) {
            // Not a real header (a run of more than three sync bytes, or garbage that happens
            // to contain a sync): skip to the next possible sync after this one.
            Emit(PieceKind::Junk, SyncCandidate(1), out);
            continue;
        }
        const std::size_t total = FrameOverhead + length;
        if (buffer_.size() < total) {
            return; // the rest of the frame has not arrived yet
        }
        if (buffer_[total - 1] != EndByte) {
            // Misaligned: the declared length points at no end byte. Throw away only up to
            // the next sync inside these bytes so that a frame hidden there is still found.
            Emit(PieceKind::BadEnd, CompleteSync(1, total), out);
            continue;
        }
        const std::uint8_t check = XorOf(buffer_.data() + 3, buffer_.data() + total - 2);
        Emit(check == buffer_[total - 2] ? PieceKind::Frame : PieceKind::BadCheck, total, out);
    }
}

} // namespace unitsim
