#include "PanelTestKit.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTest>
#include <QWidget>

namespace tavrin::test {

TNamedDevices::TNamedDevices(std::vector<std::string> inputs, std::vector<std::string> outputs)
    : Inputs(std::move(inputs)), Outputs(std::move(outputs)) {}

int32_t TNamedDevices::InputDeviceCount() const {
    return static_cast<int32_t>(Inputs.size());
}

std::string TNamedDevices::InputDeviceName(int32_t index) const {
    return Inputs.at(static_cast<size_t>(index));
}

int32_t TNamedDevices::OutputDeviceCount() const {
    return static_cast<int32_t>(Outputs.size());
}

std::string TNamedDevices::OutputDeviceName(int32_t index) const {
    return Outputs.at(static_cast<size_t>(index));
}

TWaveResult TNamedDevices::OpenInput(uint32_t, const TWaveFormat&, TAutoEvent&, uint32_t,
                                     std::unique_ptr<TWaveDevice>&) {
    return TWaveResult::BadDeviceId;
}

TWaveResult TNamedDevices::OpenOutput(uint32_t, const TWaveFormat&, TAutoEvent&, uint32_t,
                                      std::unique_ptr<TWaveDevice>&) {
    return TWaveResult::BadDeviceId;
}

TScratchSettings::TScratchSettings()
    : Settings(std::make_unique<TSettingsFile>(
          Folder.filePath(QStringLiteral("tavrin.ini")).toStdString())) {}

QString TScratchSettings::Text() const {
    QFile file(QString::fromStdString(Settings->Path()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QColor TextColour(const QWidget& widget) {
    return widget.palette().color(QPalette::Text);
}

bool ShowsRed(const QWidget& widget) {
    return TextColour(widget) == QColor(Qt::red);
}

bool ShowsNormal(const QWidget& widget) {
    return TextColour(widget) == QApplication::palette(&widget).color(QPalette::Text) &&
           !ShowsRed(widget);
}

void Drag(QWidget& widget, QPoint from, const std::vector<QPoint>& via) {
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, from);
    const QPoint pressed = widget.mapToGlobal(from);
    QPoint last = from;
    for (const QPoint& point : via) {
        last = widget.mapFromGlobal(pressed + point - from);
        QTest::mouseMove(&widget, last);
    }
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, last);
}

void DoubleClick(QWidget& widget, QPoint at) {
    QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(&widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, at);
}

void PasteOver(QWidget& widget, const QString& text) {
    QApplication::clipboard()->setText(text);
    QTest::keyClick(&widget, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&widget, Qt::Key_V, Qt::ControlModifier);
}

}  // namespace tavrin::test
