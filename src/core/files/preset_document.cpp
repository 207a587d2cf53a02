#include "files/preset_document.h"

#include "protocol/frames.h"

namespace quellaton {

namespace {

constexpr int PayloadOffset = 10;

QByteArray NewFrame(int address) {
    return DeviceFrame(address, ReadReply, 0, ParameterImageBlock, 0,
                       QByteArray(ImagePayloadSize, '\0'));
}

// Every block of the image: the ways' nine groups, then blocks 3..10.
template <typename F> void ForEachChannelBlock(F f) {
    for (int block = 0; block <= 10; ++block) {
        for (int group = 0; group <= 8; ++group) {
            if (IsChannelBlock(block, group)) {
                f(block, group);
            }
        }
    }
}

} // namespace

std::optional<OpenedPreset> ReadSinglePreset(QByteArrayView content) {
    const SinglePresetText text = ReadSinglePresetText(content);
    if (text.status != PresetFileStatus::Ok) {
        return std::nullopt;
    }
    OpenedPreset opened;
    opened.content = content.toByteArray();
    opened.frame = QByteArray::fromHex(text.text);
    opened.image = DecodeImageText(text.text);
    return opened;
}

std::optional<OpenedPreset> OpenSinglePreset(const QString& path) {
    QByteArray content;
    if (ReadPresetFile(path, content) != PresetFileStatus::Ok) {
        return std::nullopt;
    }
    return ReadSinglePreset(content);
}

QByteArray SinglePresetContent(const ParameterImage& image, const OpenedPreset* opened,
                               int address) {
    if (opened && opened->image == image) {
        return opened->content;
    }
    QByteArray frame = opened ? opened->frame : NewFrame(address);
    // A frame that is edited becomes a proper image reply, whatever header it came with; its
    // address, index and group stay.
    for (int i = 0; i < 3; ++i) {
        frame[i] = char(SyncByte);
    }
    frame[4] = char(ReadReply);
    frame[6] = char(ParameterImageBlock);
    frame[8] = char(ImagePayloadSize >> 8);
    frame[9] = char(ImagePayloadSize & 0xFF);
    ForEachChannelBlock([&](int block, int group) {
        const QByteArray edited = BlockPayload(image, block, group);
        if (!opened || edited != BlockPayload(opened->image, block, group)) {
            frame.replace(PayloadOffset + BlockOffset(block, group), 8, edited);
        }
    });
    frame[ImageFrameSize - 2] = char(FrameCheck(frame));
    frame[ImageFrameSize - 1] = char(EndByte);
    return PresetFileContent({frame.toHex().toUpper()});
}

} // namespace quellaton
