#include "ui/drawing_views.h"

#include <QPainter>

#include "report/downrange_drawing.h"
#include "report/green_drawing.h"
#include "report/impact_drawing.h"
#include "report/profile_drawing.h"

namespace kyvern::ui {

DrawingView::DrawingView(QWidget* parent, base::Settings settings)
    : QWidget(parent), settings_(std::move(settings)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
}

DrawingView::~DrawingView() { SetTable(nullptr); }

void DrawingView::SetTable(data::ShotTable* table) {
    if (table_) table_->RemoveListener(this);
    table_ = table;
    if (table_) table_->AddListener(this);
    Changed();
}

void DrawingView::SetCurrentShot(const shot::ShotRecord& shot) {
    given_ = shot;
    update();
}

void DrawingView::ClearCurrentShot() {
    given_.reset();
    update();
}

void DrawingView::Changed() {
    picture_.reset();
    fromRow_.reset();
    update();
}

const report::SessionPicture& DrawingView::Picture() {
    if (!picture_) {
        picture_ = table_ ? report::CollectSession(*table_, base::SettingsSnapshot::Read(settings_))
                          : report::SessionPicture{};
    }
    return *picture_;
}

const shot::ShotRecord* DrawingView::CurrentShot() {
    if (given_) return &*given_;
    if (!table_ || table_->CurrentRow() < 1) return nullptr;
    if (!fromRow_)
        fromRow_ = report::ShotOfRow(*table_, table_->CurrentRow(),
                                     base::SettingsSnapshot::Read(settings_));
    return &*fromRow_;
}

void DrawingView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Render(painter, QRectF(rect()));
}

void ImpactView::Render(QPainter& painter, const QRectF& rect) {
    report::DrawImpact(painter, rect, CurrentShot(),
                       report::ReadImpactOptions(base::SettingsSnapshot::Read(SettingsFile())));
}

void ProfileView::Render(QPainter& painter, const QRectF& rect) {
    report::DrawSideView(painter, rect, Picture());
}

void DownRangeView::Render(QPainter& painter, const QRectF& rect) {
    report::DrawTopView(painter, rect, Picture());
}

}  // namespace kyvern::ui
