#include "IconFileReader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>

#include <algorithm>

namespace {

// Bounds on what an icon file may cost: the format's own largest image, the first few images
// (a normal icon holds a handful of sizes and depths), and a file size no real icon comes near.
constexpr int kMaxIconSide = 256;
constexpr int kMaxIconImages = 16;
constexpr qint64 kMaxIconFileBytes = 4 * 1024 * 1024;

bool fitsIcon(const QSize& size) {
    return size.width() <= kMaxIconSide && size.height() <= kMaxIconSide;
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
    if (!reader.canRead() || reader.format() != "ico") {
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
