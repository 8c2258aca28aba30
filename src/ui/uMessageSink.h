#pragma once

#include <QString>

class QWidget;

namespace tavrin {

// Every message box of the window goes through here, so tests can read what the user would.
class TMessageSink {
  public:
    virtual ~TMessageSink() = default;
    // Shows the text and returns once the user has acknowledged it.
    virtual void ShowMessage(const QString& text) = 0;
};

// The modal message box of the toolkit, over `parent`.
class TMessageBoxSink : public TMessageSink {
  public:
    explicit TMessageBoxSink(QWidget* parent = nullptr) : Parent(parent) {}
    void SetParent(QWidget* parent) { Parent = parent; }
    void ShowMessage(const QString& text) override;

  private:
    QWidget* Parent;
};

}  // namespace tavrin
