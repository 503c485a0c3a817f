#include "VolumeIconEngine.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace {

// The program's blue speaker with a darker rim, so it reads on light and dark panels alike.
const QColor kTop(0x5e, 0xb2, 0xff);
const QColor kBottom(0x1c, 0x5f, 0xc8);
const QColor kRim(0x0b, 0x24, 0x4d, 0xf0);
const QColor kMuteRed(0xe0, 0x20, 0x20);

// Draws a path twice: a wider rim, then the colour over it.
void strokeWithRim(QPainter& painter, const QPainterPath& path, const QBrush& colour, qreal width) {
    painter.strokePath(path, QPen(kRim, width + 2 * std::max<qreal>(0.75, width / 4), Qt::SolidLine,
                                  Qt::RoundCap, Qt::RoundJoin));
    painter.strokePath(path, QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

}  // namespace

VolumeIconEngine::VolumeIconEngine(Level level, bool muted, const QIcon& base)
    : level_(level), muted_(muted), base_(base) {}

VolumeIconEngine::Level VolumeIconEngine::levelOf(int percent) {
    if (percent <= 0)
        return Level::Silent;
    if (percent <= 33)
        return Level::Low;
    if (percent <= 66)
        return Level::Medium;
    return Level::High;
}

// The speaker fills the left half; its waves (or the red cross) the right half. Every length is
// a share of the side, so each size is drawn for itself rather than scaled from another.
void VolumeIconEngine::drawSpeaker(QPainter& painter, qreal s) const {
    QLinearGradient blue(0, 0.15 * s, 0, 0.85 * s);
    blue.setColorAt(0, kTop);
    blue.setColorAt(1, kBottom);
    QPainterPath speaker;
    speaker.moveTo(0.06 * s, 0.34 * s);
    speaker.lineTo(0.26 * s, 0.34 * s);
    speaker.lineTo(0.50 * s, 0.12 * s);
    speaker.lineTo(0.50 * s, 0.88 * s);
    speaker.lineTo(0.26 * s, 0.66 * s);
    speaker.lineTo(0.06 * s, 0.66 * s);
    speaker.closeSubpath();
    painter.strokePath(speaker, QPen(kRim, std::max<qreal>(1.0, s / 16), Qt::SolidLine,
                                     Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(speaker, blue);

    if (muted_) {
        QPainterPath cross;
        cross.moveTo(0.64 * s, 0.34 * s);
        cross.lineTo(0.92 * s, 0.62 * s);
        cross.moveTo(0.92 * s, 0.34 * s);
        cross.lineTo(0.64 * s, 0.62 * s);
        strokeWithRim(painter, cross, kMuteRed, std::max<qreal>(2.0, s / 9));
        return;
    }
    const qreal width = std::max<qreal>(1.5, s / 11);
    const int waves = static_cast<int>(level_);
    for (int i = 0; i < waves; ++i) {
        const qreal r = (0.17 + 0.135 * i) * s;
        const QRectF box(0.50 * s - r, 0.5 * s - r, 2 * r, 2 * r);
        QPainterPath arc;
        arc.arcMoveTo(box, -42);
        arc.arcTo(box, -42, 84);
        strokeWithRim(painter, arc, blue, width);
    }
}

// A red disc with a white bar in the lower right quarter: "muted", over any picture.
void VolumeIconEngine::drawMuteMark(QPainter& painter, qreal s) {
    const qreal r = std::max<qreal>(4.0, 0.24 * s);
    const QPointF centre(s - r - 0.02 * s, s - r - 0.02 * s);
    painter.setPen(QPen(Qt::white, std::max<qreal>(1.0, s / 32)));
    painter.setBrush(kMuteRed);
    painter.drawEllipse(centre, r, r);
    const qreal d = r * 0.5;
    painter.setPen(QPen(Qt::white, std::max<qreal>(1.5, r / 3), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre + QPointF(-d, -d), centre + QPointF(d, d));
}

void VolumeIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                             QIcon::State state) {
    const qreal side = std::min(rect.width(), rect.height());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
    if (base_.isNull()) {
        drawSpeaker(*painter, side);
    } else {
        const int whole = static_cast<int>(side);
        painter->drawPixmap(QRect(0, 0, whole, whole),
                            base_.pixmap(QSize(whole, whole), mode, state));
        if (muted_)
            drawMuteMark(*painter, side);
    }
    painter->restore();
}

QPixmap VolumeIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    painter.end();
    return QPixmap::fromImage(image);
}

// Any size of the speaker is drawn for itself; these are the ones offered to hosts that pick
// from a list. The user's picture has the sizes its file has.
QList<QSize> VolumeIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state) {
    if (!base_.isNull())
        return base_.availableSizes(mode, state);
    QList<QSize> sizes;
    for (int side : {16, 20, 22, 24, 28, 32, 40, 44, 48, 56, 64, 96, 128})
        sizes.append(QSize(side, side));
    return sizes;
}

QIconEngine* VolumeIconEngine::clone() const {
    return new VolumeIconEngine(*this);
}

QString VolumeIconEngine::key() const {
    return QStringLiteral("VolumeIconEngine");
}
