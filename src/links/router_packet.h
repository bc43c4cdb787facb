#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kyvern::links {

inline constexpr std::size_t kRouterPacketSize = 136;

// Message types of the router's vocabulary.
enum RouterMessageType : std::uint32_t {
    MSG_AP_IMPACT = 1,
    MSG_USER_IMPACT = 2,
    MSG_NO_IMPACT = 4,
    MSG_TEE_OFF = 8,
    MSG_INFO = 16,
    MSG_TICKER = 32,
    MSG_WX = 64,
    MSG_HEARTBEAT = 128,
    MSG_SHOT_RESULT = 2048,
};

// Client kinds, in the top byte of the address word.
inline constexpr std::uint32_t kClientUser = 0x01000000;
inline constexpr std::uint32_t kClientMgt = 0x02000000;
inline constexpr std::uint32_t kClientDevice = 0x04000000;
// Set in the address word of packets that come from the router itself.
inline constexpr std::uint32_t kFromRouter = 0x80000000;

// Field offsets of the packet.
inline constexpr std::size_t kAddressOffset = 0;
inline constexpr std::size_t kTypeOffset = 4;
inline constexpr std::size_t kSequenceOffset = 8;
inline constexpr std::size_t kTimeOffset = 12;
inline constexpr std::size_t kTeeFirstOffset = 16;
inline constexpr std::size_t kTeeSecondOffset = 18;
inline constexpr std::size_t kRangeOffset = 20;
inline constexpr std::size_t kBallSpeedOffset = 26;
inline constexpr std::size_t kLaunchAngleOffset = 28;
inline constexpr std::size_t kBackSpinOffset = 32;
inline constexpr std::size_t kLandingDownOffset = 40;
inline constexpr std::size_t kLandingOfflineOffset = 42;
inline constexpr std::size_t kFlightTimeOffset = 44;
inline constexpr std::size_t kTextOffset = 70;
inline constexpr std::size_t kTextSize = 66;
inline constexpr std::size_t kResultMarkOffset = 116;
inline constexpr std::size_t kSideSpinOffset = 126;
inline constexpr std::size_t kSideAngleOffset = 128;

// One router packet: 136 bytes, little-endian, negative values in two's complement.
struct RouterPacket {
    std::array<std::uint8_t, kRouterPacketSize> bytes{};

    void Clear() { bytes.fill(0); }
    void Put16(std::size_t offset, std::uint32_t value);
    void Put32(std::size_t offset, std::uint32_t value);
    // A real truncated toward zero; a value too wide for the field keeps its low bits, and a
    // value that is not a number is stored as 0.
    void PutReal16(std::size_t offset, double value);
    void PutReal32(std::size_t offset, double value);
    // Zero-terminated single-byte text, cut to 65 characters.
    void PutText(std::string_view text);

    std::uint16_t Get16(std::size_t offset) const;
    std::uint32_t Get32(std::size_t offset) const;
    std::int32_t Sequence() const { return static_cast<std::int32_t>(Get32(kSequenceOffset)); }
    std::uint32_t Type() const { return Get32(kTypeOffset); }
};

// The low 32 bits of a real truncated toward zero, as two's complement; 0 when not finite.
std::uint32_t TruncatedLowBits(double value);

// The address word: own number in the low bits, target shifted by 8, the kind on top.
std::uint32_t AddressWord(long ownClient, long targetClient, std::uint32_t kind);

// The tee position of Router/TeeLocation ("%lu,%lu"), both 0 when absent or empty.
struct TeeLocation {
    unsigned long first = 0;
    unsigned long second = 0;
};
TeeLocation ParseTeeLocation(const std::string& text);
void ReadTeeLocation(unsigned long& first, unsigned long& second);

// The packets of the shot cycle at a tee position; without one, Router/TeeLocation's.
RouterPacket TeeOffPacket(const TeeLocation& tee);
RouterPacket ShotResultPacket(const TeeLocation& tee, double ballSpeed, double launchAngle,
                              double sideAngle, double backSpin, double sideSpin, double carryYards,
                              double carryOfflineYards, double flightTime);
RouterPacket FailedAnalysisPacket(const TeeLocation& tee);
RouterPacket TeeOffPacket();
RouterPacket ShotResultPacket(double ballSpeed, double launchAngle, double sideAngle,
                              double backSpin, double sideSpin, double carryYards,
                              double carryOfflineYards, double flightTime);
RouterPacket FailedAnalysisPacket();

// The bookkeeping of packets arriving from the router: duplicates are dropped and counted,
// gaps in the sequence are counted as lost.
class RouterReceiveState {
public:
    void Reset() { lastSequence_ = 1; }
    // Takes one arrived message (size bytes, cut to a packet) into packet; false when it is a
    // duplicate and was dropped.
    bool Accept(const std::uint8_t* data, std::size_t size, RouterPacket& packet);

    std::int64_t LastSequence() const { return lastSequence_; }
    std::uint64_t Received() const { return received_; }
    std::uint64_t Extra() const { return extra_; }
    std::uint64_t Lost() const { return lost_; }

private:
    std::int64_t lastSequence_ = 1;
    std::uint64_t received_ = 0;
    std::uint64_t extra_ = 0;
    std::uint64_t lost_ = 0;
};

}  // namespace kyvern::links
