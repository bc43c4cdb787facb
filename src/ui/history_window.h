#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "store/player_history.h"
#include "store/shot_store.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace kyvern::ui {

class PictureWidget;

// A player's history as the store keeps it, for a coach looking back over weeks: the sessions,
// the carry gapping of every club and one value followed session by session, drawn by the same
// functions as the History report.
class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    // store: where the shots are recorded; it outlives the window.
    explicit HistoryWindow(store::ShotStore& store, QWidget* parent = nullptr);

    // Shows this player when the store knows them (the main window's player box).
    void SetPlayer(const std::string& player);
    // The units the charts show, as the settings have them.
    void SetUnits(int distanceUnit, int speedUnit);
    // Reads the store again: the players, then the chosen player's history.
    void Refresh();
    // Refresh once the events in hand are done: a shot and the store's news of it read once.
    void RefreshSoon();

    const store::PlayerHistory& History() const { return history_; }
    // The reason the last reading failed; empty when it went through.
    const std::string& Problem() const { return problem_; }

    QComboBox* PlayerBox() const { return player_; }
    QComboBox* ValueBox() const { return value_; }
    QComboBox* ItemBox() const { return item_; }
    QTableWidget* Sessions() const { return sessions_; }

private:
    void ReadHistory();
    void ShowHistory();

    store::ShotStore& store_;
    store::PlayerHistory history_;
    std::string problem_;
    std::string wantedPlayer_;
    std::optional<std::string> wantedItem_;  // unset: the club of the longest carry
    bool filling_ = false;
    bool refreshQueued_ = false;

    QComboBox* player_ = nullptr;
    QComboBox* value_ = nullptr;
    QComboBox* item_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QTableWidget* sessions_ = nullptr;
    PictureWidget* gapping_ = nullptr;
    PictureWidget* trend_ = nullptr;
    QLabel* state_ = nullptr;
};

}  // namespace kyvern::ui
