#include "app/shot_publisher.h"

namespace kyvern::app {

ShotPublishers::ShotPublishers(std::unique_ptr<ShotPublisher> statusFile)
    : statusFile_(std::move(statusFile)) {}

void ShotPublishers::Add(std::unique_ptr<ShotPublisher> publisher) {
    others_.push_back(std::move(publisher));
}

void ShotPublishers::ShotBegun(ShotOrigin origin) {
    statusFile_->ShotBegun(origin);
    for (auto& publisher : others_)
        publisher->ShotBegun(origin);
}

void ShotPublishers::ShotFinished(const PublishedShot& shot) {
    statusFile_->ShotFinished(shot);
    for (auto& publisher : others_)
        publisher->ShotFinished(shot);
}

void ShotPublishers::ShotFailed(const FailedShot& shot) {
    for (auto& publisher : others_)
        publisher->ShotFailed(shot);
    statusFile_->ShotFailed(shot);
}

void ShotPublishers::Stop(bool midShot) {
    statusFile_->Stop(midShot);
    for (auto& publisher : others_)
        publisher->Stop(midShot);
}

}  // namespace kyvern::app
