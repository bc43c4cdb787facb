#pragma once

#include <QRectF>
#include <string>
#include <utility>
#include <vector>

#include "base/settings_snapshot.h"
#include "shot/shot_record.h"

class QPainter;

namespace kyvern::report {

struct ImpactOptions {
    int speedUnit = 0;
    // Setup/ShowImpactData: the column of numbers beside the two pictures.
    bool showNumbers = true;
    bool title = true;
};
// The options the settings file holds at this moment.
ImpactOptions ReadImpactOptions(const base::SettingsSnapshot& settings);

// The numbers of the impact: club speed, attack angle, path, face, face to path, effective loft,
// smash factor, then the club sensor's own values where it gave them. Label and value text.
std::vector<std::pair<std::string, std::string>> ImpactNumbers(const shot::ShotRecord& shot,
                                                               int speedUnit);

// The club delivery of a shot: the club head, its path and its face seen from above (target
// up) and from the side (target to the right), angles marked; numbers beside. shot null draws
// the empty pictures with "No shot yet".
void DrawImpact(QPainter& painter, const QRectF& rect, const shot::ShotRecord* shot,
                const ImpactOptions& options);

}  // namespace kyvern::report
