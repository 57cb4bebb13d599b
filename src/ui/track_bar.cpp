#include "ui/track_bar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace tess {

TrackBar::TrackBar(QWidget* parent) : QSlider(Qt::Vertical, parent) {}

void TrackBar::setSelectionStart(int position) {
    selection_start_ = position;
    update();
}

void TrackBar::setSelectionEnd(int position) {
    selection_end_ = position;
    update();
}

void TrackBar::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    const int from = std::clamp(std::min(selection_start_, selection_end_), minimum(), maximum());
    const int to = std::clamp(std::max(selection_start_, selection_end_), minimum(), maximum());
    if (from == to) return;

    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const bool vertical = orientation() == Qt::Vertical;
    const int length = vertical ? handle.height() : handle.width();
    const int span = (vertical ? groove.height() : groove.width()) - length;
    const auto at = [&](int value) {
        return (vertical ? groove.top() : groove.left()) + length / 2 +
               QStyle::sliderPositionFromValue(minimum(), maximum(), value, span,
                                               option.upsideDown);
    };
    const int a = std::min(at(from), at(to));
    const int b = std::max(at(from), at(to));

    // A band beside the channel, on the side of the tick marks.
    QPainter painter(this);
    constexpr int kBandWidth = 3;
    const QRect strip = vertical ? QRect(handle.right() + 2, a, kBandWidth, b - a + 1)
                                 : QRect(a, handle.bottom() + 2, b - a + 1, kBandWidth);
    painter.fillRect(strip, palette().color(QPalette::Highlight));
}

}  // namespace tess
