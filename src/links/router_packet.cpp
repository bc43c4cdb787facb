#include "links/router_packet.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/settings_snapshot.h"

namespace kyvern::links {

std::uint32_t TruncatedLowBits(double value) {
    if (!std::isfinite(value)) return 0;
    // fmod is exact, so this keeps the low 32 bits of the truncated value however large it is.
    double low = std::fmod(std::trunc(value), 4294967296.0);
    if (low < 0) low += 4294967296.0;
    return static_cast<std::uint32_t>(low);
}

void RouterPacket::Put16(std::size_t offset, std::uint32_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void RouterPacket::Put32(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void RouterPacket::PutReal16(std::size_t offset, double value) {
    Put16(offset, TruncatedLowBits(value));
}

void RouterPacket::PutReal32(std::size_t offset, double value) {
    Put32(offset, TruncatedLowBits(value));
}

void RouterPacket::PutText(std::string_view text) {
    std::size_t length = std::min(text.size(), kTextSize - 1);
    std::memset(bytes.data() + kTextOffset, 0, kTextSize);
    std::memcpy(bytes.data() + kTextOffset, text.data(), length);
}

std::uint16_t RouterPacket::Get16(std::size_t offset) const {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t RouterPacket::Get32(std::size_t offset) const {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[offset + i];
    return value;
}

std::uint32_t AddressWord(long ownClient, long targetClient, std::uint32_t kind) {
    return static_cast<std::uint32_t>(ownClient) | (static_cast<std::uint32_t>(targetClient) << 8) |
           kind;
}

TeeLocation ParseTeeLocation(const std::string& text) {
    TeeLocation tee;
    std::sscanf(text.c_str(), "%lu,%lu", &tee.first, &tee.second);
    return tee;
}

void ReadTeeLocation(unsigned long& first, unsigned long& second) {
    const TeeLocation tee =
        ParseTeeLocation(base::SettingsSnapshot::Read().Text(base::setting::kTeeLocation));
    first = tee.first;
    second = tee.second;
}

namespace {

TeeLocation ReadTee() {
    TeeLocation tee;
    ReadTeeLocation(tee.first, tee.second);
    return tee;
}

RouterPacket TeePositioned(std::uint32_t type, const TeeLocation& tee) {
    RouterPacket packet;
    packet.Put32(kTypeOffset, type);
    packet.Put16(kTeeFirstOffset, static_cast<std::uint32_t>(tee.first * 36));
    packet.Put16(kTeeSecondOffset, static_cast<std::uint32_t>(tee.second * 36));
    return packet;
}

}  // namespace

RouterPacket TeeOffPacket(const TeeLocation& tee) {
    RouterPacket packet = TeePositioned(MSG_TEE_OFF, tee);
    packet.Put16(kRangeOffset, 0);
    return packet;
}

RouterPacket TeeOffPacket() { return TeeOffPacket(ReadTee()); }

RouterPacket ShotResultPacket(double ballSpeed, double launchAngle, double sideAngle,
                              double backSpin, double sideSpin, double carryYards,
                              double carryOfflineYards, double flightTime) {
    return ShotResultPacket(ReadTee(), ballSpeed, launchAngle, sideAngle, backSpin, sideSpin,
                            carryYards, carryOfflineYards, flightTime);
}

RouterPacket FailedAnalysisPacket() { return FailedAnalysisPacket(ReadTee()); }

RouterPacket ShotResultPacket(const TeeLocation& tee, double ballSpeed, double launchAngle,
                              double sideAngle, double backSpin, double sideSpin, double carryYards,
                              double carryOfflineYards, double flightTime) {
    RouterPacket packet = TeePositioned(MSG_SHOT_RESULT, tee);
    packet.Put16(kResultMarkOffset, 15);
    packet.PutReal16(kBallSpeedOffset, ballSpeed * 10);
    packet.PutReal32(kLaunchAngleOffset, launchAngle * 10);
    packet.PutReal32(kBackSpinOffset, backSpin);
    packet.PutReal16(kSideSpinOffset, sideSpin);
    packet.PutReal16(kSideAngleOffset, sideAngle * 10);
    packet.PutReal16(kRangeOffset, carryYards * 36);
    packet.PutReal16(kLandingDownOffset, carryYards * 36);
    packet.PutReal16(kLandingOfflineOffset, carryOfflineYards * 36);
    packet.PutReal16(kFlightTimeOffset, flightTime * 1000);
    return packet;
}

RouterPacket FailedAnalysisPacket(const TeeLocation& tee) {
    RouterPacket packet = TeePositioned(MSG_SHOT_RESULT, tee);
    packet.Put16(kResultMarkOffset, 15);
    return packet;
}

bool RouterReceiveState::Accept(const std::uint8_t* data, std::size_t size, RouterPacket& packet) {
    // A short message leaves nothing of an earlier packet behind it.
    packet.Clear();
    std::memcpy(packet.bytes.data(), data, std::min(size, kRouterPacketSize));
    std::int64_t sequence = packet.Sequence();
    if (sequence == lastSequence_) {
        ++extra_;
        return false;
    }
    // Counted in 64 bits, so a sequence near the 32-bit limit cannot overflow the gap.
    if (sequence > lastSequence_ + 1)
        lost_ += static_cast<std::uint64_t>(sequence - (lastSequence_ + 1));
    lastSequence_ = sequence;
    ++received_;
    return true;
}

}  // namespace kyvern::links
