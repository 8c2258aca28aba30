#pragma once

#include <QWidget>

namespace tavrin {

// The wiring of the connection box between the sound card and the component under test,
// drawn in code at a fixed 518 x 242 pixels.
class TConnectionDiagram : public QWidget {
  public:
    explicit TConnectionDiagram(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {518, 242}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tavrin
