#include "shot/shot_record.h"

#include <cmath>

namespace kyvern::shot {

double LaunchConditions::HeldSideAngle(double sideAngle) {
    // Zero would lose the side of the target line, so a tiny angle is held as +0.01.
    if (!(std::fabs(sideAngle) >= 0.01)) return 0.01;
    return sideAngle;
}

void LaunchConditions::Set(double speed, double launch, double side, double total, double back,
                           double sideS) {
    ballSpeed = speed;
    ballSpeedMph = speed * 3600.0 / 5280.0;
    launchAngle = launch;
    sideAngle = HeldSideAngle(side);
    totalSpin = total;
    backSpin = back;
    sideSpin = sideS;
}

void ClubData::Clear() {
    for (ClubValue* v : {&clubSpeed, &pathAngle, &faceAngle, &effectiveLoft, &angleOfAttack,
                         &faceRotation, &tempo, &dxFromToe}) {
        v->Clear();
    }
    loftMismatch = false;
}

}  // namespace kyvern::shot
