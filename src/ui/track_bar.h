// The track bar of the main page: a slider that also marks a selection, a
// band along the groove between two positions (the boost range of the core
// voltage). Setting the position from code emits valueChanged() when the
// position really changes, and positions outside the range are clamped,
// which the page's handlers rely on.
#pragma once

#include <QSlider>

namespace tess {

class TrackBar : public QSlider {
    Q_OBJECT
    Q_PROPERTY(int selectionStart READ selectionStart WRITE setSelectionStart)
    Q_PROPERTY(int selectionEnd READ selectionEnd WRITE setSelectionEnd)

  public:
    explicit TrackBar(QWidget* parent = nullptr);

    int selectionStart() const { return selection_start_; }
    int selectionEnd() const { return selection_end_; }
    void setSelectionStart(int position);
    void setSelectionEnd(int position);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int selection_start_ = 0;
    int selection_end_ = 0;
};

}  // namespace tess
