#include "uConnectionDiagram.h"

#include <QPainter>
#include <QPainterPath>

namespace tavrin {
namespace {

constexpr int kBus = 226;  // the common ground line along the bottom

void Dot(QPainter& p, QPointF at) {
    p.save();
    p.setBrush(p.pen().color());
    p.drawEllipse(at, 2.5, 2.5);
    p.restore();
}

void Terminal(QPainter& p, QPointF at, const QString& label, bool labelAbove = true) {
    p.save();
    p.setBrush(Qt::white);
    p.drawEllipse(at, 4.5, 4.5);
    p.restore();
    const QRectF box(at.x() - 40, labelAbove ? at.y() - 22 : at.y() + 6, 80, 16);
    p.drawText(box, Qt::AlignCenter, label);
}

// A resistor as a rectangle between a and b (horizontal or vertical).
void Resistor(QPainter& p, QPointF a, QPointF b) {
    const bool horizontal = a.y() == b.y();
    const QPointF mid = (a + b) / 2;
    const QRectF body = horizontal ? QRectF(mid.x() - 18, mid.y() - 6, 36, 12)
                                   : QRectF(mid.x() - 6, mid.y() - 18, 12, 36);
    if (horizontal) {
        p.drawLine(a, QPointF(body.left(), a.y()));
        p.drawLine(QPointF(body.right(), a.y()), b);
    } else {
        p.drawLine(a, QPointF(a.x(), body.top()));
        p.drawLine(QPointF(a.x(), body.bottom()), b);
    }
    p.save();
    p.setBrush(Qt::white);
    p.drawRect(body);
    p.restore();
}

// A capacitor drawn horizontally between a and b.
void Capacitor(QPainter& p, QPointF a, QPointF b) {
    const QPointF mid = (a + b) / 2;
    p.drawLine(a, QPointF(mid.x() - 4, a.y()));
    p.drawLine(QPointF(mid.x() + 4, a.y()), b);
    QPen plates = p.pen();
    plates.setWidthF(2.5);
    p.save();
    p.setPen(plates);
    p.drawLine(QPointF(mid.x() - 4, mid.y() - 11), QPointF(mid.x() - 4, mid.y() + 11));
    p.drawLine(QPointF(mid.x() + 4, mid.y() - 11), QPointF(mid.x() + 4, mid.y() + 11));
    p.restore();
}

constexpr int kShieldCollector = 110;

// A shielded lead from a jack at x = 14 to `end`; its shield, dashed, joins the collector
// that takes all shields down to the bus.
void Lead(QPainter& p, int y, int endX, const QString& label) {
    p.drawText(QRectF(22, y - 18, 120, 14), Qt::AlignLeft | Qt::AlignVCenter, label);
    p.save();
    p.setBrush(QColor(60, 60, 60));
    p.drawEllipse(QPointF(14, y), 5, 5);
    p.restore();
    p.drawLine(QPointF(19, y), QPointF(endX, y));
    QPen shield(QColor(120, 120, 120), 1, Qt::DashLine);
    p.save();
    p.setPen(shield);
    p.drawLine(QPointF(24, y + 4), QPointF(kShieldCollector, y + 4));
    p.restore();
}

}  // namespace

TConnectionDiagram::TConnectionDiagram(QWidget* parent) : QWidget(parent) {
    setObjectName("Image1");
    setFixedSize(518, 242);
}

void TConnectionDiagram::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::white);
    p.setPen(QPen(Qt::black, 1.3));
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    p.setFont(small);

    // The sound card's four shielded leads.
    Lead(p, 34, 150, "Line Out Left");
    Lead(p, 70, 150, "Line Out Right");
    Lead(p, 140, 250, "Line In Left");
    Lead(p, 196, 362, "Line In Right");
    p.save();
    p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
    p.drawLine(QPointF(kShieldCollector, 38), QPointF(kShieldCollector, kBus));
    p.restore();

    // Both outputs joined, through R ballast to Zx Out.
    p.drawLine(QPointF(150, 34), QPointF(150, 70));
    Dot(p, {150, 34});
    Dot(p, {150, 70});
    Dot(p, {150, 52});
    Resistor(p, {150, 52}, {250, 52});
    p.drawText(QRectF(160, 28, 80, 14), Qt::AlignCenter, "R ballast");
    p.drawLine(QPointF(250, 52), QPointF(284, 52));
    // Line In Left listens on Zx Out.
    p.drawLine(QPointF(250, 140), QPointF(250, 52));
    Dot(p, {250, 52});
    Terminal(p, {284, 52}, "Zx Out");

    // The component under test between Zx Out and Zx In.
    p.drawLine(QPointF(288, 52), QPointF(306, 52));
    Capacitor(p, {306, 52}, {344, 52});
    p.drawText(QRectF(305, 66, 40, 14), Qt::AlignCenter, "Cx");
    p.drawLine(QPointF(344, 52), QPointF(366, 52));
    Terminal(p, {370, 52}, "Zx In");

    // S1: Zx In is its common contact; one position through R ref to ground, the other
    // straight back to Zx Out.
    p.drawLine(QPointF(370, 57), QPointF(370, 107));
    // Line In Right listens on Zx In.
    p.drawLine(QPointF(362, 196), QPointF(362, 80));
    p.drawLine(QPointF(362, 80), QPointF(370, 80));
    Dot(p, {370, 80});
    p.drawLine(QPointF(370, 110), QPointF(392, 138));  // the blade, in the R ref position
    p.save();
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(370, 110), 3, 3);
    p.drawEllipse(QPointF(394, 141), 3, 3);
    p.drawEllipse(QPointF(346, 141), 3, 3);
    p.restore();
    p.drawText(QRectF(376, 92, 30, 14), Qt::AlignLeft | Qt::AlignVCenter, "S1");
    p.drawLine(QPointF(346, 144), QPointF(346, 160));
    p.drawLine(QPointF(346, 160), QPointF(300, 160));
    p.drawLine(QPointF(300, 160), QPointF(300, 52));
    Dot(p, {300, 52});
    Resistor(p, {394, 144}, {394, kBus});
    p.drawText(QRectF(402, 176, 50, 14), Qt::AlignLeft | Qt::AlignVCenter, "R ref");

    // The common ground of all shields.
    p.drawLine(QPointF(kShieldCollector, kBus), QPointF(460, kBus));
    Dot(p, {394, kBus});
    Terminal(p, {460, kBus}, "");
    p.drawText(QRectF(464, kBus - 16, 50, 14), Qt::AlignLeft | Qt::AlignVCenter, "Com");

    // A two-port instead of Zx: IN on Zx Out, OUT on Zx In, COM on Com.
    const QRectF box(420, 34, 88, 56);
    p.save();
    p.setBrush(QColor(245, 245, 235));
    p.drawRect(box);
    p.restore();
    p.drawText(box.adjusted(4, 2, -4, 0), Qt::AlignLeft | Qt::AlignTop, "IN");
    p.drawText(box.adjusted(4, 2, -4, 0), Qt::AlignRight | Qt::AlignTop, "OUT");
    p.drawText(box.adjusted(0, 0, 0, -2), Qt::AlignHCenter | Qt::AlignBottom, "COM");
    p.drawText(QRectF(412, 94, 104, 44), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
               "IN to Zx Out, OUT to Zx In, COM to Com");
}

}  // namespace tavrin
