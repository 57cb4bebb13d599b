#include "ui/up_down.h"

#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tess {

UpDown::UpDown(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {up_, down_}) {
        button->setArrowType(button == up_ ? Qt::UpArrow : Qt::DownArrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        button->setFixedSize(18, 18);
        layout->addWidget(button);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(up_, &QToolButton::clicked, this, [this] { click(1); });
    connect(down_, &QToolButton::clicked, this, [this] { click(-1); });
}

void UpDown::setMinimum(int minimum) {
    minimum_ = minimum;
    maximum_ = std::max(maximum_, minimum_);
    setPosition(position_);
}

void UpDown::setMaximum(int maximum) {
    maximum_ = maximum;
    minimum_ = std::min(minimum_, maximum_);
    setPosition(position_);
}

void UpDown::setPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
}

void UpDown::click(int direction) {
    setPosition(position_ + direction * increment_);
    emit clicked();
}

}  // namespace tess
