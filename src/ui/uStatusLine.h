#pragma once

// One line beside the page tabs, seen from either page and costing the pages no height: the
// last thing the window has to say (where a file went, what to do next), cut short with "..."
// where it does not fit and shown whole in its tooltip, and how far the integration of the
// next result has come. User-interface thread only; a child widget of the window.

#include <QWidget>

class QLabel;
class QProgressBar;

namespace tavrin {

class TStatusLine : public QWidget {
  public:
    explicit TStatusLine(QWidget* parent = nullptr);

    // Shows `indicator` (a short warning, shown and hidden by its owner) before the progress
    // bar; the line takes it over as a child.
    void AddIndicator(QWidget* indicator);

    // An empty text clears the line.
    void SetMessage(const QString& text);
    QString Message() const { return FMessage; }

    // Blocks summed into the next result out of those its integration time takes ("4 / 35
    // blocks"); a wanted count below 1 hides the bar.
    void SetProgress(int summed, int wanted);
    bool ProgressShown() const;
    int ProgressValue() const;
    int ProgressMaximum() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowMessage();

    QLabel* lbMessage;
    QProgressBar* pbIntegration;
    QString FMessage;
};

}  // namespace tavrin
