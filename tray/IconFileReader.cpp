#include "IconFileReader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

// Bounds on what an icon file may cost: the format's own largest image, the first few images
// (a normal icon holds a handful of sizes and depths), and a file size no real icon comes near.
constexpr int kMaxIconSide = 256;
constexpr int kMaxIconImages = 16;
constexpr qint64 kMaxIconFileBytes = 4 * 1024 * 1024;

bool fitsIcon(const QSize& size) {
    return size.width() <= kMaxIconSide && size.height() <= kMaxIconSide;
}

// The size an embedded image declares in its own header, which is what its decoder allocates:
// a PNG's IHDR, or a bitmap's info header (whose height counts the mask too). The icon's
// directory says nothing binding about it. An empty size when the header is not there.
QSize embeddedSize(const QByteArray& data, quint32 offset) {
    static const QByteArray png("\x89PNG\r\n\x1a\n", 8);
    if (offset > static_cast<quint32>(data.size()))
        return {};
    const QByteArray image = QByteArray::fromRawData(data.constData() + offset,
                                                     data.size() - static_cast<qsizetype>(offset));
    if (image.startsWith(png) && image.size() >= 24 && image.mid(12, 4) == "IHDR") {
        const quint32 width = qFromBigEndian<quint32>(image.constData() + 16);
        const quint32 height = qFromBigEndian<quint32>(image.constData() + 20);
        return QSize(static_cast<int>(std::min<quint32>(width, INT_MAX)),
                     static_cast<int>(std::min<quint32>(height, INT_MAX)));
    }
    if (image.size() >= 12) {
        const qint64 width = qFromLittleEndian<qint32>(image.constData() + 4);
        const qint64 height = qFromLittleEndian<qint32>(image.constData() + 8);
        return QSize(static_cast<int>(std::min<qint64>(std::abs(width), INT_MAX)),
                     static_cast<int>(std::min<qint64>(std::abs(height) / 2, INT_MAX)));
    }
    return {};
}

// Every image the decoder would read (the first kMaxIconImages) declares a size an icon may
// have, so no decode allocates more than a 256 x 256 image, whatever the file claims elsewhere.
bool headersFit(const QByteArray& data) {
    if (data.size() < 6)
        return false;
    const int count =
        std::min<int>(qFromLittleEndian<quint16>(data.constData() + 4), kMaxIconImages);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * i;
        if (data.size() < entry + 16)
            return false;
        const quint32 offset = qFromLittleEndian<quint32>(data.constData() + entry + 12);
        const QSize size = embeddedSize(data, offset);
        if (size.isEmpty() || !fitsIcon(size))
            return false;
    }
    return true;
}

}  // namespace

QIcon IconFileReader::read(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() > kMaxIconFileBytes ||
        !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray data = file.read(kMaxIconFileBytes + 1);
    if (data.size() > kMaxIconFileBytes) {
        return {};  // grew while we looked
    }
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!reader.canRead() || reader.format() != "ico" || !headersFit(data)) {
        return {};
    }
    QIcon icon;
    const int count = std::clamp(reader.imageCount(), 1, kMaxIconImages);
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToNextImage()) {
            break;
        }
        if (!fitsIcon(reader.size())) {
            return {};
        }
        const QImage image = reader.read();
        if (image.isNull() || !fitsIcon(image.size())) {
            return {};
        }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
