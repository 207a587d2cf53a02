// The program's copy of a unit's 320-byte parameter set: 40 groups of 8 bytes, 16-bit fields
// low byte first. Each 8-byte group is one block that a single frame writes.
#pragma once

#include <QByteArray>
#include <array>

namespace quellaton {

enum Section : int { High = 0, Mid = 1, Low = 2, Main = 3 };
inline constexpr int WayCount = 3;     // High, Mid, Low
inline constexpr int SectionCount = 4; // the ways and Main
inline constexpr int BandsPerSection = 6;
inline constexpr int BandCount = SectionCount * BandsPerSection;

constexpr int BandIndex(int section, int band) {
    return BandsPerSection * section + band;
}

struct EqBand {
    int frequencyIndex = 0;
    int type = 0; // 0 peaking, 1 low shelf, 2 high shelf
    int peakingGain = 120;
    int shelfGain = 120;
    int qIndex = 4;

    // The gain index the band's type uses.
    int activeGain() const { return type == 0 ? peakingGain : shelfGain; }
    int& activeGain() { return type == 0 ? peakingGain : shelfGain; }
    bool operator==(const EqBand&) const = default;
};

struct ParameterImage {
    // Per way (High, Mid, Low).
    std::array<int, WayCount> gainIndex{120, 120, 120};
    std::array<int, WayCount> onFlag{1, 1, 1};
    std::array<int, WayCount> limiterThreshold{};
    std::array<int, WayCount> limiterAttack{};
    std::array<int, WayCount> limiterRelease{};
    // Per section (the ways, then Main).
    std::array<int, SectionCount> delay{};
    std::array<int, SectionCount> polarity{};
    std::array<int, SectionCount> highPassIndex{};
    std::array<int, SectionCount> highPassType{};
    std::array<int, SectionCount> lowPassIndex{243, 243, 243, 243};
    std::array<int, SectionCount> lowPassType{};
    std::array<EqBand, BandCount> bands = StartBands();
    // Main only.
    int bassEnhancer = 0;
    int masterLevel = 0; // 0 mute, 301 = 0.0 dB
    int btlMode = 0;

    bool operator==(const ParameterImage&) const = default;

    // Highest gain index a way allows: Low has no gain above 0.0 dB.
    static int MaxGainIndex(int way) { return way == Low ? 200 : 250; }

    // Brings every limited field into its range (gains, band fields, crossovers).
    void Limit();

    // The 320 bytes; bytes the program does not interpret are written as 0.
    QByteArray Encode() const;

    static std::array<EqBand, BandCount> StartBands();
};

// Channel blocks: (block, group) = (way 0..2, 0..8) or (3..10, 0).
bool IsChannelBlock(int block, int group);
int BlockOffset(int block, int group); // offset of the block's 8 bytes in the image
QByteArray BlockPayload(const ParameterImage& image, int block, int group);
void ApplyBlockPayload(ParameterImage& image, int block, int group, QByteArrayView payload8);

// Decodes the payload of an image text (the hex text of a whole image reply frame, payload
// byte o at characters 20 + 2o and 21 + 2o counted from 0) and limits the result. Missing or
// non-hex pairs read as 0; callers check texts from files before they get here.
ParameterImage DecodeImageText(QByteArrayView imageText);
// The 320 payload bytes of an image text, as the unit would store them.
QByteArray ImagePayloadFromText(QByteArrayView imageText);

// The system block: last loaded preset, two opaque bytes, device ID, protect temperature.
struct SystemValues {
    int lastLoadedPreset = 0; // 1..8
    int systemByte1 = 0;
    int systemByte2 = 0;
    int protectTemperature = 0;
};
QByteArray SystemPayload(const SystemValues& values, int deviceId);

} // namespace quellaton
