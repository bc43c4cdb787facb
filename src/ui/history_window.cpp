#include "ui/history_window.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <utility>

#include "report/history_drawing.h"
#include "report/shot_drawing.h"

namespace kyvern::ui {

// A picture drawn by one of the report's functions into the widget's whole area.
class PictureWidget final : public QWidget {
public:
    using Drawing = std::function<void(QPainter&, const QRectF&)>;
    explicit PictureWidget(Drawing drawing) : drawing_(std::move(drawing)) {
        setMinimumSize(320, 200);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        drawing_(painter, QRectF(rect()));
    }

private:
    Drawing drawing_;
};

namespace {

QString T(base::MessageId id) { return report::TextOf(id); }

}  // namespace

HistoryWindow::HistoryWindow(store::ShotStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store) {
    setWindowTitle(report::TextOf(base::MessageId::kHistoryTitle));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    layout->addLayout(top);
    auto box = [&](base::MessageId caption, const char* name) {
        auto* combo = new QComboBox;
        combo->setObjectName(name);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        auto* label = new QLabel(T(caption));
        label->setBuddy(combo);
        top->addWidget(label);
        top->addWidget(combo);
        return combo;
    };
    player_ = box(base::MessageId::kHistoryPlayer, "historyPlayer");
    value_ = box(base::MessageId::kHistoryTrend, "historyValue");
    item_ = box(base::MessageId::kHistoryClub, "historyItem");
    for (const store::TrendValue& v : store::TrendValues())
        value_->addItem(report::TrendTitle(v.name), QString::fromUtf8(v.name));
    value_->setCurrentIndex(value_->findData(QStringLiteral("carry")));
    refresh_ = new QPushButton(T(base::MessageId::kHistoryRefresh));
    refresh_->setObjectName("historyRefresh");
    top->addStretch(1);
    top->addWidget(refresh_);

    auto* splitter = new QSplitter(Qt::Horizontal);
    layout->addWidget(splitter, 1);
    sessions_ = new QTableWidget(0, 3);
    sessions_->setObjectName("historySessions");
    sessions_->setHorizontalHeaderLabels({T(base::MessageId::kHistoryDate),
                                          T(base::MessageId::kHistorySession),
                                          T(base::MessageId::kHistoryShots)});
    sessions_->verticalHeader()->hide();
    sessions_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    sessions_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    sessions_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sessions_->setSelectionBehavior(QAbstractItemView::SelectRows);
    splitter->addWidget(sessions_);
    auto* charts = new QSplitter(Qt::Vertical);
    gapping_ = new PictureWidget(
        [this](QPainter& p, const QRectF& r) { report::DrawGapping(p, r, history_); });
    gapping_->setObjectName("gappingChart");
    trend_ = new PictureWidget(
        [this](QPainter& p, const QRectF& r) { report::DrawTrend(p, r, history_); });
    trend_->setObjectName("trendChart");
    charts->addWidget(gapping_);
    charts->addWidget(trend_);
    splitter->addWidget(charts);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({320, 780});
    state_ = new QLabel;
    state_->setObjectName("historyState");
    layout->addWidget(state_);
    resize(1100, 720);

    connect(player_, &QComboBox::currentIndexChanged, this, [this] {
        if (filling_) return;
        wantedPlayer_ = player_->currentText().toStdString();
        wantedItem_.reset();  // another player's bag
        ReadHistory();
    });
    connect(value_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) ReadHistory();
    });
    connect(item_, &QComboBox::currentIndexChanged, this, [this] {
        if (filling_) return;
        const QVariant club = item_->currentData();
        wantedItem_ = club.isValid() ? club.toString().toStdString() : std::string();
        ReadHistory();
    });
    connect(refresh_, &QPushButton::clicked, this, &HistoryWindow::Refresh);
}

void HistoryWindow::SetPlayer(const std::string& player) {
    if (player == wantedPlayer_) return;
    wantedPlayer_ = player;
    wantedItem_.reset();
}

void HistoryWindow::SetUnits(int distanceUnit, int speedUnit) {
    history_.distanceUnit = distanceUnit;
    history_.speedUnit = speedUnit;
    gapping_->update();
    trend_->update();
}

void HistoryWindow::RefreshSoon() {
    if (refreshQueued_) return;
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshQueued_ = false;
        Refresh();
    });
}

HistoryWindow::~HistoryWindow() {
    if (reader_.joinable()) reader_.join();
    // Its answer, posted to this window, goes with it.
}

void HistoryWindow::Refresh() { ReadHistory(true); }

void HistoryWindow::ReadHistory(bool players) {
    auto query = std::make_shared<Query>();
    query->players = players;
    query->player = player_->currentIndex() >= 0 || players ? wantedPlayer_ : std::string();
    query->value = value_->currentData().toString().toStdString();
    query->item = wantedItem_;
    if (reading_) {
        // The answer under way is already out of date; only the latest question is asked.
        query->players = players || (next_ && next_->players);
        next_ = std::move(query);
        return;
    }
    Start(std::move(query));
}

void HistoryWindow::Start(std::shared_ptr<Query> query) {
    reading_ = true;
    if (reader_.joinable()) reader_.join();  // done: its answer was taken
    reader_ = std::thread([this, query] {
        Answer(store_, *query);
        QMetaObject::invokeMethod(
            this, [this, query] { Take(query); }, Qt::QueuedConnection);
    });
}

void HistoryWindow::Answer(store::ShotStore& store, Query& query) {
    if (query.players) {
        if (const base::Status s = store.Players(query.playerList); !s) {
            query.problem = s.Reason();
            return;
        }
        const auto known =
            std::find(query.playerList.begin(), query.playerList.end(), query.player);
        if (known == query.playerList.end())
            query.player = query.playerList.empty() ? std::string() : query.playerList.front();
    }
    const base::Status s =
        store::ReadPlayerHistory(store, query.player, query.value, query.item, query.history);
    if (!s) query.problem = s.Reason();
}

void HistoryWindow::Take(std::shared_ptr<Query> query) {
    reading_ = false;
    if (next_) {
        Start(std::exchange(next_, nullptr));
        return;
    }
    if (query->players && query->problem.empty()) {
        filling_ = true;
        player_->clear();
        for (const std::string& p : query->playerList)
            player_->addItem(QString::fromStdString(p));
        player_->setCurrentIndex(player_->findText(QString::fromStdString(query->player)));
        filling_ = false;
        if (!query->player.empty()) wantedPlayer_ = query->player;
    }
    problem_ = query->problem;
    if (problem_.empty()) {  // else the last history read stays, under the reason
        query->history.distanceUnit = history_.distanceUnit;
        query->history.speedUnit = history_.speedUnit;
        history_ = std::move(query->history);
    }
    ShowHistory();
}

void HistoryWindow::Settle() {
    while (reading_) {
        if (reader_.joinable()) reader_.join();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

void HistoryWindow::ShowHistory() {
    filling_ = true;
    item_->clear();
    item_->addItem(T(base::MessageId::kHistoryEveryClub), QString());
    for (const store::GappingRow& row : history_.gapping)
        item_->addItem(QString::fromStdString(row.item), QString::fromStdString(row.item));
    const int club = item_->findData(QString::fromStdString(history_.trendItem));
    item_->setCurrentIndex(club >= 0 ? club : 0);
    filling_ = false;

    sessions_->setRowCount(static_cast<int>(history_.sessions.size()));
    // The latest first: the session a coach asks about is usually the last one.
    int row = 0;
    for (auto it = history_.sessions.rbegin(); it != history_.sessions.rend(); ++it, ++row) {
        const QString cells[] = {report::SessionDate(it->firstMs),
                                 QString::fromStdString(it->session), QString::number(it->shots)};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            sessions_->setItem(row, column, item);
        }
    }
    if (!problem_.empty()) {
        state_->setText(
            T(base::MessageId::kHistoryUnreadable).arg(QString::fromStdString(problem_)));
    } else {
        state_->setText(T(base::MessageId::kHistoryState)
                            .arg(history_.shots)
                            .arg(history_.sessions.size())
                            .arg(QString::fromStdString(store_.Describe())));
    }
    gapping_->update();
    trend_->update();
}

}  // namespace kyvern::ui
