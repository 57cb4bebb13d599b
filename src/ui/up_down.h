// A pair of arrow buttons that move a position between a minimum and a
// maximum, as the up-down buttons next to the main page's track bars do.
// The upper arrow adds the increment to the position, the lower one
// subtracts it; with an increment of -1 the upper arrow lowers the position
// (which raises the value of a track bar whose top is position 0). Every
// click emits clicked() after the position was moved (and clamped); setting
// the position from code emits nothing.
#pragma once

#include <QWidget>

class QToolButton;

namespace tess {

class UpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int position READ position WRITE setPosition)
    Q_PROPERTY(int increment READ increment WRITE setIncrement)

  public:
    explicit UpDown(QWidget* parent = nullptr);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int position() const { return position_; }
    int increment() const { return increment_; }
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    // Clamped to minimum..maximum.
    void setPosition(int position);
    void setIncrement(int increment) { increment_ = increment; }

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

  signals:
    void clicked();

  private:
    void click(int direction);

    QToolButton* up_;
    QToolButton* down_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int increment_ = 1;
};

}  // namespace tess
