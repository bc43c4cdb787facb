#pragma once

#include <QWidget>
#include <optional>

#include "base/settings_schema.h"
#include "data/shot_table.h"
#include "report/shot_drawing.h"
#include "shot/shot_record.h"

class QPainter;

namespace kyvern::ui {

// A view of the main window's drawing area: it paints one drawing into its whole rectangle and
// paints again whenever the shot table changes. The settings are read at every paint.
class DrawingView : public QWidget, public data::ShotTableListener {
    Q_OBJECT
public:
    explicit DrawingView(QWidget* parent = nullptr, base::Settings settings = {});
    ~DrawingView() override;

    // The table drawn from; null draws an empty session. The view listens to it until it is
    // given another.
    void SetTable(data::ShotTable* table);
    // The current shot as the shot computation made it (the club sensor's values included);
    // without one the views take the table's current row.
    void SetCurrentShot(const shot::ShotRecord& shot);
    void ClearCurrentShot();
    // Read the settings and the table again (a settings change: units, colours, switches).
    void Refresh() { Changed(); }

    // The drawing into any painter: the screen, a PNG, a page.
    virtual void Render(QPainter& painter, const QRectF& rect) = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    const report::SessionPicture& Picture();
    // The current shot: the one given, else the table's current row; null when none.
    const shot::ShotRecord* CurrentShot();
    const base::Settings& SettingsFile() const { return settings_; }

private:
    void Changed();
    void RowsInserted(int, int) override { Changed(); }
    void RowsRemoved(int, int) override { Changed(); }
    void CellsChanged(int, int) override { Changed(); }
    void Reset() override { Changed(); }
    void SessionCleared() override { Changed(); }

    base::Settings settings_;
    data::ShotTable* table_ = nullptr;
    std::optional<shot::ShotRecord> given_;
    std::optional<shot::ShotRecord> fromRow_;
    std::optional<report::SessionPicture> picture_;
};

class ImpactView final : public DrawingView {
    Q_OBJECT
public:
    using DrawingView::DrawingView;
    void Render(QPainter& painter, const QRectF& rect) override;
};

class ProfileView final : public DrawingView {
    Q_OBJECT
public:
    using DrawingView::DrawingView;
    void Render(QPainter& painter, const QRectF& rect) override;
};

class DownRangeView final : public DrawingView {
    Q_OBJECT
public:
    using DrawingView::DrawingView;
    void Render(QPainter& painter, const QRectF& rect) override;
};

}  // namespace kyvern::ui
