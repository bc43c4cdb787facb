#pragma once

#include <functional>
#include <string>

#include "app/shot_publisher.h"
#include "data/shot_table.h"
#include "links/live_page.h"

namespace kyvern::app {

// The live page beside the bay: each shot the table shows, new or computed again, with the
// session's last rows and the Down Range picture when a window draws one.
class LivePagePublisher final : public ShotPublisher {
public:
    // picture: a PNG of the Down Range view, made on the cycle's thread; unset for none.
    LivePagePublisher(links::LivePage& page, const data::ShotTable& table,
                      const std::function<std::string()>& picture)
        : page_(page), table_(table), picture_(picture) {}
    void ShotFinished(const PublishedShot& shot) override;

    // The page's figures and table of a shot, without the picture.
    static links::LiveShot LiveShotOf(const PublishedShot& shot, const data::ShotTable& table);

private:
    links::LivePage& page_;
    const data::ShotTable& table_;
    const std::function<std::string()>& picture_;
};

}  // namespace kyvern::app
