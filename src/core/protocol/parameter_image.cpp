#include "protocol/parameter_image.h"

#include "dsp/scales.h"
#include "protocol/frames.h"

#include <algorithm>

namespace quellaton {

namespace {

int Byte(QByteArrayView payload, int i) {
    return quint8(payload[i]);
}
int Word(QByteArrayView payload, int i) {
    return Byte(payload, i) + 256 * Byte(payload, i + 1);
}

void PutWord(QByteArray& payload, int i, int value) {
    payload[i] = char(value & 0xFF);
    payload[i + 1] = char((value >> 8) & 0xFF);
}

QByteArray BandPayload(const EqBand& band) {
    QByteArray p(8, '\0');
    p[0] = char(band.frequencyIndex);
    p[1] = char(band.type);
    PutWord(p, 2, band.peakingGain);
    PutWord(p, 4, band.shelfGain);
    p[6] = char(band.qIndex);
    return p;
}

void ApplyBand(EqBand& band, QByteArrayView p) {
    band.frequencyIndex = Byte(p, 0);
    band.type = Byte(p, 1);
    band.peakingGain = Word(p, 2);
    band.shelfGain = Word(p, 4);
    band.qIndex = Byte(p, 6);
}

QByteArray CrossoverPayload(const ParameterImage& image, int section) {
    QByteArray p(8, '\0');
    p[0] = char(image.highPassIndex[section]);
    p[1] = char(image.highPassType[section]);
    p[4] = char(image.lowPassIndex[section]);
    p[5] = char(image.lowPassType[section]);
    return p;
}

void ApplyCrossover(ParameterImage& image, int section, QByteArrayView p) {
    image.highPassIndex[section] = Byte(p, 0);
    image.highPassType[section] = Byte(p, 1);
    image.lowPassIndex[section] = Byte(p, 4);
    image.lowPassType[section] = Byte(p, 5);
}

int Clamp(int value, int high) {
    return std::clamp(value, 0, high);
}

} // namespace

std::array<EqBand, BandCount> ParameterImage::StartBands() {
    static constexpr int startFrequencies[BandsPerSection] = {0, 33, 57, 80, 112, 136};
    std::array<EqBand, BandCount> bands{};
    for (int i = 0; i < BandCount; ++i) {
        bands[i].frequencyIndex = startFrequencies[i % BandsPerSection];
    }
    return bands;
}

void ParameterImage::Limit() {
    for (int way = 0; way < WayCount; ++way) {
        gainIndex[way] = Clamp(gainIndex[way], MaxGainIndex(way));
    }
    for (EqBand& band : bands) {
        band.frequencyIndex = Clamp(band.frequencyIndex, MaxFrequencyIndex);
        band.type = Clamp(band.type, 2);
        band.peakingGain = Clamp(band.peakingGain, MaxEqGainIndex);
        band.shelfGain = Clamp(band.shelfGain, MaxEqGainIndex);
        band.qIndex = Clamp(band.qIndex, MaxQIndex);
    }
    for (int s = 0; s < SectionCount; ++s) {
        highPassIndex[s] = Clamp(highPassIndex[s], MaxFrequencyIndex);
        lowPassIndex[s] = Clamp(lowPassIndex[s], MaxFrequencyIndex);
        highPassType[s] = Clamp(highPassType[s], 8);
        lowPassType[s] = Clamp(lowPassType[s], 8);
    }
}

bool IsChannelBlock(int block, int group) {
    if (block >= 0 && block <= 2) {
        return group >= 0 && group <= 8;
    }
    return block >= 3 && block <= 10 && group == 0;
}

int BlockOffset(int block, int group) {
    if (block <= 2) {
        return 72 * block + 8 * group;
    }
    return 216 + 8 * (block - 3);
}

QByteArray BlockPayload(const ParameterImage& image, int block, int group) {
    QByteArray p(8, '\0');
    if (!IsChannelBlock(block, group)) {
        return p;
    }
    if (block <= 2) {
        const int way = block;
        switch (group) {
        case 0: // output: gain, on flag, delay, polarity
            p[0] = char(image.gainIndex[way]);
            p[1] = char(image.onFlag[way]);
            PutWord(p, 2, image.delay[way]);
            p[4] = char(image.polarity[way]);
            return p;
        case 1:
            return CrossoverPayload(image, way);
        case 2: // limiter
            p[0] = char(image.limiterThreshold[way]);
            p[1] = char(image.limiterAttack[way]);
            p[2] = char(image.limiterRelease[way]);
            return p;
        default:
            return BandPayload(image.bands[BandIndex(way, group - 3)]);
        }
    }
    if (block == MainBlockNumber) {
        p[0] = char(image.bassEnhancer);
        PutWord(p, 2, image.masterLevel);
        PutWord(p, 4, image.delay[Main]);
        p[6] = char(image.polarity[Main]);
        p[7] = char(image.btlMode);
        return p;
    }
    if (block == MainCrossoverBlockNumber) {
        return CrossoverPayload(image, Main);
    }
    return BandPayload(image.bands[BandIndex(Main, block - 5)]);
}

void ApplyBlockPayload(ParameterImage& image, int block, int group, QByteArrayView p) {
    if (!IsChannelBlock(block, group) || p.size() < 8) {
        return;
    }
    if (block <= 2) {
        const int way = block;
        switch (group) {
        case 0:
            image.gainIndex[way] = Byte(p, 0);
            image.onFlag[way] = Byte(p, 1);
            image.delay[way] = Word(p, 2);
            image.polarity[way] = Byte(p, 4);
            return;
        case 1:
            ApplyCrossover(image, way, p);
            return;
        case 2:
            image.limiterThreshold[way] = Byte(p, 0);
            image.limiterAttack[way] = Byte(p, 1);
            image.limiterRelease[way] = Byte(p, 2);
            return;
        default:
            ApplyBand(image.bands[BandIndex(way, group - 3)], p);
            return;
        }
    }
    if (block == MainBlockNumber) {
        image.bassEnhancer = Byte(p, 0);
        image.masterLevel = Word(p, 2);
        image.delay[Main] = Word(p, 4);
        image.polarity[Main] = Byte(p, 6);
        image.btlMode = Byte(p, 7);
        return;
    }
    if (block == MainCrossoverBlockNumber) {
        ApplyCrossover(image, Main, p);
        return;
    }
    ApplyBand(image.bands[BandIndex(Main, block - 5)], p);
}

namespace {
// Every channel block in image order: the three ways' nine groups, then Main's eight blocks.
template <typename F> void ForEachBlock(F f) {
    for (int way = 0; way < WayCount; ++way) {
        for (int group = 0; group <= 8; ++group) {
            f(way, group);
        }
    }
    for (int block = 3; block <= 10; ++block) {
        f(block, 0);
    }
}
} // namespace

QByteArray ParameterImage::Encode() const {
    QByteArray bytes(ImagePayloadSize, '\0');
    ForEachBlock([&](int block, int group) {
        bytes.replace(BlockOffset(block, group), 8, BlockPayload(*this, block, group));
    });
    return bytes;
}

QByteArray ImagePayloadFromText(QByteArrayView imageText) {
    QByteArray bytes(ImagePayloadSize, '\0');
    for (int o = 0; o < ImagePayloadSize; ++o) {
        const qsizetype at = 20 + 2 * o;
        if (at + 2 > imageText.size()) {
            break;
        }
        bytes[o] = char(HexToInt(imageText.sliced(at, 2)));
    }
    return bytes;
}

ParameterImage DecodeImageText(QByteArrayView imageText) {
    const QByteArray bytes = ImagePayloadFromText(imageText);
    ParameterImage image;
    ForEachBlock([&](int block, int group) {
        ApplyBlockPayload(image, block, group,
                          QByteArrayView(bytes).sliced(BlockOffset(block, group), 8));
    });
    image.Limit();
    return image;
}

QByteArray SystemPayload(const SystemValues& values, int deviceId) {
    QByteArray p(8, '\0');
    p[0] = char(values.lastLoadedPreset);
    p[1] = char(values.systemByte1);
    p[2] = char(values.systemByte2);
    p[3] = char(deviceId);
    p[5] = char(values.protectTemperature);
    return p;
}

} // namespace quellaton
