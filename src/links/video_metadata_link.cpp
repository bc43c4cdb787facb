#include "links/video_metadata_link.h"

#include "base/settings_snapshot.h"
#include "shot/units.h"

namespace kyvern::links {

namespace {

enum Stream {
    kBallSpeed,
    kBackSpin,
    kSideSpin,
    kLaunchAngle,
    kSideAngle,
    kCarryDR,
    kCarryOL,
    kFlightTime,
    kTotalDR,
    kTotalOL,
    kRoll,
    kClubSpeed,
    kAngleOfAttack,
    kPathAngle,
    kFaceAngle,
    kScore,
};

const std::array<VideoMetadataLink::StreamInfo, kMetadataStreams> kStreams{{
    {"Ball Speed", 1001},
    {"BackSpin", 1002},
    {"SideSpin", 1003},
    {"Launch Angle", 1004},
    {"Side Angle", 1005},
    {"Carry DR", 1006},
    {"Carry OL", 1007},
    {"Flight Time", 1008},
    {"Total DR", 1009},
    {"Total OL", 1010},
    {"Roll", 1011},
    {"Club Speed", 1012},
    {"Angle of Attack", 1013},
    {"Path Angle", 1014},
    {"Face Angle", 1015},
    {"Score", 1016},
}};

}  // namespace

DispatchArgument DispatchArgument::Text(std::string_view value) {
    DispatchArgument argument;
    argument.kind = Kind::kText;
    argument.text = value;
    return argument;
}

DispatchArgument DispatchArgument::Integer(std::int32_t value) {
    DispatchArgument argument;
    argument.kind = Kind::kInteger;
    argument.integer = value;
    return argument;
}

DispatchArgument DispatchArgument::Real(float value) {
    DispatchArgument argument;
    argument.kind = Kind::kReal;
    argument.real = value;
    return argument;
}

DispatchArgument DispatchArgument::Object(DispatchObject* value) {
    DispatchArgument argument;
    argument.kind = Kind::kObject;
    argument.object = value;
    return argument;
}

DispatchArgument DispatchArgument::Reference(DispatchObject* value) {
    DispatchArgument argument;
    argument.kind = Kind::kObjectReference;
    argument.object = value;
    return argument;
}

const std::array<VideoMetadataLink::StreamInfo, kMetadataStreams>& VideoMetadataLink::Streams() {
    return kStreams;
}

VideoMetadataLink::VideoMetadataLink(DispatchFactory* factory)
    : factory_(factory ? factory : &noAutomation_) {
    ReadUnits();
}

void VideoMetadataLink::ReadUnits() {
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    distanceUnit_ =
        shot::DistanceUnitIndex(settings.Text(base::setting::kDistanceDisplay), distanceUnit_);
    speedUnit_ = shot::SpeedUnitIndex(settings.Text(base::setting::kSpeedDisplay), speedUnit_);
}

double VideoMetadataLink::ConvertSpeed(double feetPerSecond) const {
    switch (speedUnit_) {
        case 0:
            return feetPerSecond * 3600 / 5280;
        case 2:
            return feetPerSecond * 0.3048 * 3.6;
        case 3:
            return feetPerSecond * 0.3048;
        default:
            return feetPerSecond;
    }
}

double VideoMetadataLink::ConvertDistance(double feet) const {
    switch (distanceUnit_) {
        case 0:
            return feet / 3;
        case 2:
            return feet / 3 * 0.9144;
        default:
            return feet;
    }
}

bool VideoMetadataLink::Init() {
    if (enabled_) return true;
    clock_ = factory_->Create("DartFishMDTK.DFClock");
    timeStamp_ = factory_->Create("DartFishMDTK.DFTimeStamp");
    sender_ = factory_->Create("DartFishMDTK.DFMetadataSender");
    metadata_ = factory_->Create("DartFishMDTK.DFMetadata");
    bool made = clock_ && timeStamp_ && sender_ && metadata_;
    for (auto& stream : streams_) {
        if (made) stream = factory_->Create("DartFishMDTK.DFMetaDataStream");
        made = made && stream;
    }
    if (!made) {
        clock_.reset();
        timeStamp_.reset();
        sender_.reset();
        metadata_.reset();
        for (auto& stream : streams_)
            stream.reset();
        return false;
    }
    clock_->Invoke(1, {});
    sender_->Invoke(1, {});
    metadata_->Invoke(
        1, {DispatchArgument::Text("Kyvern Launch System"), DispatchArgument::Integer(1000)});
    for (int i = 0; i < kMetadataStreams; ++i) {
        streams_[i]->Invoke(
            1, {DispatchArgument::Text(kStreams[i].name),
                DispatchArgument::Integer(kStreams[i].number), DispatchArgument::Text("float")});
    }
    for (auto& stream : streams_)
        metadata_->Invoke(2, {DispatchArgument::Object(stream.get())});
    enabled_ = true;
    return true;
}

void VideoMetadataLink::SendValue(int stream, double value) {
    streams_[stream]->Invoke(3, {});
    streams_[stream]->Invoke(2, {DispatchArgument::Real(static_cast<float>(value)),
                                 DispatchArgument::Object(timeStamp_.get())});
}

bool VideoMetadataLink::StartShot() {
    if (!enabled_) return false;
    clock_->Invoke(2, {DispatchArgument::Reference(timeStamp_.get())});
    for (int i = 0; i < kMetadataStreams; ++i)
        SendValue(i, 0.0);
    sender_->Invoke(2, {DispatchArgument::Object(metadata_.get()), DispatchArgument::Integer(0)});
    return true;
}

bool VideoMetadataLink::SetBall(double ballSpeed, double backSpin, double sideSpin,
                                double launchAngle, double sideAngle) {
    if (!enabled_) return false;
    SendValue(kBallSpeed, ConvertSpeed(ballSpeed));
    SendValue(kBackSpin, backSpin);
    SendValue(kSideSpin, sideSpin);
    SendValue(kLaunchAngle, launchAngle);
    SendValue(kSideAngle, sideAngle);
    return true;
}

bool VideoMetadataLink::SetCarry(double carryDR, double carryOL, double flightTime) {
    if (!enabled_) return false;
    SendValue(kCarryDR, ConvertDistance(carryDR));
    SendValue(kCarryOL, ConvertDistance(carryOL));
    SendValue(kFlightTime, flightTime);
    return true;
}

bool VideoMetadataLink::SetTotal(double totalDR, double totalOL, double roll) {
    if (!enabled_) return false;
    SendValue(kTotalDR, ConvertDistance(totalDR));
    SendValue(kTotalOL, ConvertDistance(totalOL));
    SendValue(kRoll, ConvertDistance(roll));
    return true;
}

bool VideoMetadataLink::SetClub(double clubSpeed, double angleOfAttack, double pathAngle,
                                double faceAngle) {
    if (!enabled_) return false;
    SendValue(kClubSpeed, ConvertSpeed(clubSpeed));
    SendValue(kAngleOfAttack, angleOfAttack);
    SendValue(kPathAngle, pathAngle);
    SendValue(kFaceAngle, faceAngle);
    return true;
}

bool VideoMetadataLink::SetScore(double score) {
    if (!enabled_) return false;
    SendValue(kScore, score);
    return true;
}

bool VideoMetadataLink::Commit() {
    if (!enabled_) return false;
    clock_->Invoke(2, {DispatchArgument::Reference(timeStamp_.get())});
    sender_->Invoke(2, {DispatchArgument::Object(metadata_.get()), DispatchArgument::Integer(0)});
    return true;
}

}  // namespace kyvern::links
