#include "uStatusLine.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>

namespace tavrin {
namespace {

constexpr int kProgressWidth = 130;
constexpr int kProgressHeight = 16;
constexpr int kTabsGap = 16;

}  // namespace

TStatusLine::TStatusLine(QWidget* parent)
    : QWidget(parent), lbMessage(new QLabel(this)), pbIntegration(new QProgressBar(this)) {
    lbMessage->setObjectName("lbStatus");
    lbMessage->setTextFormat(Qt::PlainText);
    lbMessage->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    pbIntegration->setObjectName("pbIntegration");
    pbIntegration->setFixedSize(kProgressWidth, kProgressHeight);
    pbIntegration->setTextVisible(true);
    pbIntegration->setFormat("%v / %m blocks");
    pbIntegration->hide();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 4, 0);
    layout->setSpacing(8);
    layout->addWidget(lbMessage, 1);
    layout->addWidget(pbIntegration);
    // The text is cut to the label's width whenever that changes.
    lbMessage->installEventFilter(this);
}

void TStatusLine::AddIndicator(QWidget* indicator) {
    auto* row = static_cast<QHBoxLayout*>(layout());
    row->insertWidget(row->indexOf(pbIntegration), indicator);
}

void TStatusLine::SetMessage(const QString& text) {
    FMessage = text;
    lbMessage->setToolTip(text);
    ShowMessage();
}

void TStatusLine::SetProgress(int summed, int wanted) {
    if (wanted < 1) {
        pbIntegration->hide();
        return;
    }
    pbIntegration->setRange(0, wanted);
    // The receiver goes on summing while the last result is still being drawn.
    pbIntegration->setValue(std::clamp(summed, 0, wanted));
    pbIntegration->show();
}

bool TStatusLine::ProgressShown() const {
    return !pbIntegration->isHidden();
}

int TStatusLine::ProgressValue() const {
    return pbIntegration->value();
}

int TStatusLine::ProgressMaximum() const {
    return pbIntegration->maximum();
}

QSize TStatusLine::sizeHint() const {
    // Beside the page tabs it takes the width they leave; the tab widget asks again on resizing.
    int width = 400;
    if (const auto* tabs = qobject_cast<const QTabWidget*>(parentWidget())) {
        width = std::max(0, tabs->width() - tabs->tabBar()->sizeHint().width() - kTabsGap);
    }
    return {width, kProgressHeight + 4};
}

QSize TStatusLine::minimumSizeHint() const {
    return {0, kProgressHeight + 4};
}

bool TStatusLine::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lbMessage && event->type() == QEvent::Resize) {
        ShowMessage();
    }
    return QWidget::eventFilter(watched, event);
}

void TStatusLine::ShowMessage() {
    const int room = std::max(0, lbMessage->width());
    lbMessage->setText(lbMessage->fontMetrics().elidedText(FMessage, Qt::ElideRight, room));
}

}  // namespace tavrin
