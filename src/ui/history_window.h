#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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
//
// The store is read on a thread of the window's own: a player of many seasons, or a range's
// server slow to answer, must not freeze the shot table while a shot is being recorded.
class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    // store: where the shots are recorded; it outlives the window.
    explicit HistoryWindow(store::ShotStore& store, QWidget* parent = nullptr);
    // Waits for a reading under way: the store is still there.
    ~HistoryWindow() override;

    // Shows this player when the store knows them (the main window's player box).
    void SetPlayer(const std::string& player);
    // The units the charts show, as the settings have them.
    void SetUnits(int distanceUnit, int speedUnit);
    // Reads the store again: the players, then the chosen player's history. The window shows
    // the answer when it comes.
    void Refresh();
    // Refresh once the events in hand are done: a shot and the store's news of it read once.
    void RefreshSoon();
    // Waits until every reading asked for is answered and shown (a picture of the window, a
    // report of what it shows).
    void Settle();
    bool Reading() const { return reading_; }

    const store::PlayerHistory& History() const { return history_; }
    // The reason the last reading failed; empty when it went through.
    const std::string& Problem() const { return problem_; }

    QComboBox* PlayerBox() const { return player_; }
    QComboBox* ValueBox() const { return value_; }
    QComboBox* ItemBox() const { return item_; }
    QTableWidget* Sessions() const { return sessions_; }

private:
    // One reading of the store: what was asked, and the store's answer.
    struct Query {
        bool players = false;  // the player list too, and the wanted player looked up in it
        std::string player;
        std::string value;
        std::optional<std::string> item;
        std::vector<std::string> playerList;
        store::PlayerHistory history;
        std::string problem;
    };
    void ReadHistory(bool players = false);
    void Start(std::shared_ptr<Query> query);
    static void Answer(store::ShotStore& store, Query& query);
    void Take(std::shared_ptr<Query> query);
    void ShowHistory();

    store::ShotStore& store_;
    store::PlayerHistory history_;
    std::string problem_;
    std::string wantedPlayer_;
    std::optional<std::string> wantedItem_;  // unset: the club of the longest carry
    bool filling_ = false;
    bool refreshQueued_ = false;
    bool reading_ = false;
    std::shared_ptr<Query> next_;  // asked for while another reading was under way
    std::thread reader_;

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
