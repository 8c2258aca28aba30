#include "ufrSpRange.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>

namespace tavrin {
namespace {

constexpr int kScaleHeight = 16;
constexpr int kBarHeight = 20;
constexpr int kBevel = 1;          // the bar's lowered border
constexpr int kSplitterWidth = 8;  // each end handle
constexpr int kEdgeWidth = 2;      // pnMin and pnMax when the range reaches an end
constexpr int kTrackMargin = 3;    // between a handle's outer edge and the usable track
constexpr int kLineTop = 1;
constexpr int kLineHeight = 5;
constexpr int kFormWidth = 624;
constexpr int kMinimumWidth = 60;

QFrame* MakePanel(QWidget* parent, const char* name, QFrame::Shape shape, QFrame::Shadow shadow,
                  QPalette::ColorRole fill) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromUtf8(name));
    panel->setFrameShape(shape);
    panel->setFrameShadow(shadow);
    panel->setLineWidth(1);
    panel->setBackgroundRole(fill);
    panel->setAutoFillBackground(true);
    return panel;
}

void Fill(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

int GlobalX(const QMouseEvent& event) {
    return event.globalPosition().toPoint().x();
}

}  // namespace

TfrSpRange::TfrSpRange(QWidget* parent) : QWidget(parent) {
    BuildControls();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(kMinimumWidth);
    setFixedHeight(kScaleHeight + kBarHeight + 1);
    resize(kFormWidth, height());
    SetFullRange(1, 100);
}

void TfrSpRange::BuildControls() {
    imScale = new QLabel(this);
    imScale->setObjectName(QStringLiteral("imScale"));
    imScale->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    TakeScaleFont();

    pnFullRange = MakePanel(this, "pnFullRange", QFrame::Panel, QFrame::Sunken, QPalette::Button);
    pnMin = MakePanel(pnFullRange, "pnMin", QFrame::Panel, QFrame::Sunken, QPalette::Base);
    SpMin = MakePanel(pnFullRange, "SpMin", QFrame::Panel, QFrame::Raised, QPalette::Button);
    pnRange = MakePanel(pnFullRange, "pnRange", QFrame::NoFrame, QFrame::Plain, QPalette::Window);
    pnLine = MakePanel(pnRange, "pnLine", QFrame::Panel, QFrame::Sunken, QPalette::Window);
    SpMax = MakePanel(pnFullRange, "SpMax", QFrame::Panel, QFrame::Raised, QPalette::Button);
    pnMax = MakePanel(pnFullRange, "pnMax", QFrame::Panel, QFrame::Sunken, QPalette::Base);
    Fill(*pnLine, Qt::red);
    ShowDragging(false);
    for (QFrame* splitter : {SpMin, SpMax}) {
        splitter->setCursor(Qt::SizeHorCursor);
    }
    for (QWidget* handled : {static_cast<QWidget*>(pnRange), static_cast<QWidget*>(pnLine),
                             static_cast<QWidget*>(SpMin), static_cast<QWidget*>(SpMax)}) {
        handled->installEventFilter(this);
    }
}

void TfrSpRange::TakeScaleFont() {
    // The scale must fit 16 pixels: digits above the 4-pixel major ticks.
    ScaleFont = font();
    ScaleFont.setPixelSize(11);
}

QSize TfrSpRange::sizeHint() const {
    return {kFormWidth, kScaleHeight + kBarHeight + 1};
}

QSize TfrSpRange::minimumSizeHint() const {
    return {kMinimumWidth, kScaleHeight + kBarHeight + 1};
}

// The bar spans the frame, so its geometry follows the frame's width at once, even while the
// frame is hidden and Qt holds its resize events back.
int TfrSpRange::BarLeft() const {
    return kSplitterWidth + kTrackMargin;
}

int TfrSpRange::BarRight() const {
    return width() - kSplitterWidth - kTrackMargin;
}

int TfrSpRange::RangeLeft() const {
    return kBevel + MinWidth + kSplitterWidth;
}

int TfrSpRange::RangeWidth() const {
    return std::max(0, width() - kBevel - MaxWidth - kSplitterWidth - RangeLeft());
}

void TfrSpRange::LayOutBar() {
    const int inner = kBarHeight - 2 * kBevel;
    const int fullWidth = width();
    pnFullRange->setGeometry(0, kScaleHeight, fullWidth, kBarHeight);
    pnMin->setGeometry(kBevel, kBevel, MinWidth, inner);
    SpMin->setGeometry(kBevel + MinWidth, kBevel, kSplitterWidth, inner);
    pnMax->setGeometry(fullWidth - kBevel - MaxWidth, kBevel, MaxWidth, inner);
    SpMax->setGeometry(fullWidth - kBevel - MaxWidth - kSplitterWidth, kBevel, kSplitterWidth,
                       inner);
    pnRange->setGeometry(RangeLeft(), kBevel, RangeWidth(), inner);
    pnLine->setGeometry(0, kLineTop, RangeWidth(), kLineHeight);
}

void TfrSpRange::SetFullRange(float low, float high) {
    if (!(low < high) || !std::isfinite(high - low)) {
        return;
    }
    FullMinValue = low;
    FullMaxValue = high;
    DrawScale(low, high);
    SetRange(low, high);
    // The first double click on a new span selects its middle third.
    LastMin = low + (high - low) * 1 / 3;
    LastMax = low + (high - low) * 2 / 3;
}

void TfrSpRange::SetRange(float low, float high) {
    // Written so that NaN falls back to the span's ends too.
    if (!(low >= FullMinValue)) {
        low = FullMinValue;
    }
    if (!(high <= FullMaxValue)) {
        high = FullMaxValue;
    }
    RangeMinValue = low;
    RangeMaxValue = high;
    RememberPartialRange();
    PlaceRange();
    RaiseRangeChange();
}

bool TfrSpRange::LogScale() const {
    return LogarithmicValue && FullMinValue > 0;
}

void TfrSpRange::PlaceRange() {
    const int track = std::max(0, BarRight() - BarLeft());
    if (LogScale()) {
        const TFrequencyAxis axis(FullMinValue, FullMaxValue, 0, track, true);
        MinWidth =
            std::clamp(NearestPixel(static_cast<float>(axis.Offset(RangeMinValue))), 0, track) +
            kEdgeWidth;
        MaxWidth = std::clamp(NearestPixel(static_cast<float>(track - axis.Offset(RangeMaxValue))),
                              0, track) +
                   kEdgeWidth;
    } else {
        const float pixelsPerHz = static_cast<float>(track) / (FullMaxValue - FullMinValue);
        MinWidth =
            std::clamp(NearestPixel((RangeMinValue - FullMinValue) * pixelsPerHz), 0, track) +
            kEdgeWidth;
        MaxWidth =
            std::clamp(NearestPixel((FullMaxValue - RangeMaxValue) * pixelsPerHz), 0, track) +
            kEdgeWidth;
    }
    LayOutBar();
}

void TfrSpRange::SetLogarithmic(bool logarithmic) {
    if (logarithmic == LogarithmicValue) {
        return;
    }
    LogarithmicValue = logarithmic;
    DrawScale(FullMinValue, FullMaxValue);
    PlaceRange();
}

void TfrSpRange::RangeFromBar() {
    float low = 0;
    float high = 0;
    if (LogScale()) {
        const TFrequencyAxis axis(FullMinValue, FullMaxValue, BarLeft(), BarRight(), true);
        low = static_cast<float>(axis.FrequencyAt(RangeLeft() - BarLeft()));
        high = static_cast<float>(axis.FrequencyAt(RangeLeft() + RangeWidth() - BarLeft()));
    } else {
        const float hzPerPixel =
            (FullMaxValue - FullMinValue) / static_cast<float>(std::max(1, BarRight() - BarLeft()));
        low = FullMinValue + static_cast<float>(RangeLeft() - BarLeft()) * hzPerPixel;
        high =
            FullMinValue + static_cast<float>(RangeLeft() + RangeWidth() - BarLeft()) * hzPerPixel;
    }
    // Rounding in the last pixel must not carry the range outside its span.
    RangeMinValue = std::clamp(low, FullMinValue, FullMaxValue);
    RangeMaxValue = std::clamp(high, RangeMinValue, FullMaxValue);
    RememberPartialRange();
    RaiseRangeChange();
}

void TfrSpRange::RememberPartialRange() {
    if (RangeMinValue != FullMinValue || RangeMaxValue != FullMaxValue) {
        LastMin = RangeMinValue;
        LastMax = RangeMaxValue;
    }
}

void TfrSpRange::RaiseRangeChange() {
    if (OnRangeChange) {
        OnRangeChange(RangeMinValue, RangeMaxValue);
    }
}

void TfrSpRange::SetTextWidthMeasure(TTextWidthMeasure measure) {
    TextWidth = std::move(measure);
    DrawScale(FullMinValue, FullMaxValue);
}

void TfrSpRange::DrawScale(float low, float high) {
    const int imageWidth = width();
    imScale->setGeometry(0, 0, imageWidth, kScaleHeight);
    if (imageWidth <= 0) {
        return;
    }
    const QFontMetrics metrics(ScaleFont);
    const TTextWidthMeasure fontMeasure = [&metrics](const std::string& text) {
        return metrics.horizontalAdvance(QString::fromStdString(text));
    };
    const TTextWidthMeasure& measure = TextWidth ? TextWidth : fontMeasure;
    const TScaleLayout layout =
        LogarithmicValue && low > 0
            ? LayOutLogScale(low, high, imageWidth, BarLeft(), BarRight(), measure)
            : LayOutScale(low, high, imageWidth, BarLeft(), BarRight(), measure);

    const qreal ratio = devicePixelRatioF();
    QPixmap image(QSize(imageWidth, kScaleHeight) * ratio);
    image.setDevicePixelRatio(ratio);
    image.fill(palette().color(QPalette::Button));
    {
        QPainter painter(&image);
        painter.setFont(ScaleFont);
        painter.setPen(palette().color(QPalette::WindowText));
        const int bottom = kScaleHeight - 1;
        for (const TScaleLabel& label : layout.Labels) {
            painter.drawText(QPoint(label.X, 1 + metrics.ascent()),
                             QString::fromStdString(label.Text));
            painter.drawLine(label.X, bottom - 3, label.X, bottom);
        }
        for (const int x : layout.MinorTicks) {
            painter.drawLine(x, bottom - 1, x, bottom);
        }
    }
    imScale->setPixmap(image);
}

void TfrSpRange::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The bar spans the frame, so the frame's resize is the bar's too.
    pnFullRangeResize();
    FrameResize();
}

void TfrSpRange::pnFullRangeResize() {
    DrawScale(FullMinValue, FullMaxValue);
}

void TfrSpRange::FrameResize() {
    SetRange(RangeMinValue, RangeMaxValue);
}

void TfrSpRange::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        TakeScaleFont();
        DrawScale(FullMinValue, FullMaxValue);
    }
}

bool TfrSpRange::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick) {
        return QWidget::eventFilter(watched, event);
    }
    const auto& mouse = static_cast<const QMouseEvent&>(*event);
    const int x = GlobalX(mouse);
    const bool left = mouse.button() == Qt::LeftButton;
    if (watched == SpMin || watched == SpMax) {
        QFrame& splitter = *static_cast<QFrame*>(watched);
        switch (type) {
            case QEvent::MouseButtonPress:
                return left && SplitterMouseDown(splitter, x);
            case QEvent::MouseMove:
                return SplitterMouseMove(splitter, x);
            case QEvent::MouseButtonRelease:
                return left && SplitterMouseUp(splitter);
            default:
                return false;
        }
    }
    switch (type) {
        case QEvent::MouseButtonPress:
            return left && pnRangeMouseDown(x);
        case QEvent::MouseMove:
            return pnRangeMouseMove(x);
        case QEvent::MouseButtonRelease:
            return left && pnRangeMouseUp(x);
        default:
            return left && pnRangeDblClick();
    }
}

bool TfrSpRange::pnRangeMouseDown(int x) {
    Dragging = true;
    DragOffset = x - RangeLeft();
    PressX = x;
    ShowDragging(true);
    return true;
}

bool TfrSpRange::pnRangeMouseMove(int x) {
    if (!Dragging) {
        return false;
    }
    const int rangeWidth = RangeWidth();
    int left = x - DragOffset;
    if (left < BarLeft()) {
        left = BarLeft();
    }
    if (left + rangeWidth > BarRight()) {
        left = BarRight() - rangeWidth;
    }
    // The range slides with its width unchanged; the owner hears of it on release.
    if (left - kSplitterWidth - kBevel != MinWidth) {
        MinWidth = left - kSplitterWidth - kBevel;
        MaxWidth = width() - left - rangeWidth - kSplitterWidth - kBevel;
        LayOutBar();
    }
    return true;
}

bool TfrSpRange::pnRangeMouseUp(int x) {
    if (!Dragging) {
        return false;
    }
    Dragging = false;
    ShowDragging(false);
    if (x != PressX) {
        RangeFromBar();
    }
    return true;
}

bool TfrSpRange::SplitterMouseDown(QFrame& splitter, int x) {
    ActiveSplitter = &splitter;
    SplitterPressX = x;
    SplitterPressWidth = &splitter == SpMin ? MinWidth : MaxWidth;
    return true;
}

bool TfrSpRange::SplitterMouseMove(QFrame& splitter, int x) {
    if (ActiveSplitter != &splitter) {
        return false;
    }
    const bool lowerEnd = &splitter == SpMin;
    const int shift = x - SplitterPressX;
    int proposed = SplitterPressWidth + (lowerEnd ? shift : -shift);
    SpCanResize(splitter, proposed);
    int& endWidth = lowerEnd ? MinWidth : MaxWidth;
    if (proposed != endWidth) {
        endWidth = proposed;
        LayOutBar();
    }
    return true;
}

void TfrSpRange::SpCanResize(const QFrame& splitter, int& newWidth) const {
    // The ends never cross: the moving one stops at the other, leaving an empty range.
    const int otherWidth = &splitter == SpMin ? MaxWidth : MinWidth;
    const int meeting = width() - 2 * kBevel - 2 * kSplitterWidth - otherWidth;
    newWidth = std::min(newWidth, meeting);
    // An end panel is never narrower than with the range at that end.
    newWidth = std::max(newWidth, kEdgeWidth);
}

bool TfrSpRange::SplitterMouseUp(QFrame& splitter) {
    if (ActiveSplitter != &splitter) {
        return false;
    }
    ActiveSplitter = nullptr;
    // SpMinMoved / SpMaxMoved: the ends cannot have crossed, so the bar is read back as it is.
    const int endWidth = &splitter == SpMin ? MinWidth : MaxWidth;
    if (endWidth != SplitterPressWidth) {
        RangeFromBar();
    }
    return true;
}

bool TfrSpRange::pnRangeDblClick() {
    if (RangeMinValue == FullMinValue && RangeMaxValue == FullMaxValue) {
        SetRange(LastMin, LastMax);
    } else {
        SetRange(FullMinValue, FullMaxValue);
    }
    return true;
}

void TfrSpRange::ShowDragging(bool dragging) {
    pnRange->setBackgroundRole(dragging ? QPalette::Dark : QPalette::Mid);
    pnRange->update();
}

}  // namespace tavrin
