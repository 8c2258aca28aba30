#pragma once

// What the panel tests share: a device list to fill the audio panel from, a settings file of
// their own, and the user's view of a widget (its text colour, a mouse drag).

#include <QColor>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "uSettingsFile.h"
#include "uWaveService.h"

class QWidget;

namespace tavrin::test {

// Named devices only; nothing can be opened.
class TNamedDevices : public TWaveService {
  public:
    TNamedDevices(std::vector<std::string> inputs, std::vector<std::string> outputs);

    int32_t InputDeviceCount() const override;
    std::string InputDeviceName(int32_t index) const override;
    int32_t OutputDeviceCount() const override;
    std::string OutputDeviceName(int32_t index) const override;
    TWaveResult OpenInput(uint32_t, const TWaveFormat&, TAutoEvent&, uint32_t,
                          std::unique_ptr<TWaveDevice>&) override;
    TWaveResult OpenOutput(uint32_t, const TWaveFormat&, TAutoEvent&, uint32_t,
                           std::unique_ptr<TWaveDevice>&) override;

  private:
    std::vector<std::string> Inputs;
    std::vector<std::string> Outputs;
};

// A settings file in a fresh temporary folder, removed with the object.
class TScratchSettings {
  public:
    TScratchSettings();
    TSettingsFile& File() { return *Settings; }
    // The file as it stands on disk.
    QString Text() const;

  private:
    QTemporaryDir Folder;
    std::unique_ptr<TSettingsFile> Settings;
};

// The colour a widget's typed text is drawn in.
QColor TextColour(const QWidget& widget);
bool ShowsRed(const QWidget& widget);
// The normal text colour the widget would have without any marking.
bool ShowsNormal(const QWidget& widget);

// Left-button drag: press at `from` in the widget's coordinates, then the mouse moves through
// each of `via` (where those points were at the press, even if the widget moves meanwhile) and
// is released at the last one.
void Drag(QWidget& widget, QPoint from, const std::vector<QPoint>& via);
// What a double click delivers: press, release, double click, release.
void DoubleClick(QWidget& widget, QPoint at);
// The user selects all of the widget's text and pastes `text` over it: one change of text.
void PasteOver(QWidget& widget, const QString& text);

}  // namespace tavrin::test
