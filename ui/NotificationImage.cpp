#include "ui/NotificationImage.h"

#include <QDBusMetaType>

namespace vantrel {

NotificationImage NotificationImage::from(const QImage& image) {
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    NotificationImage n;
    n.width = rgba.width();
    n.height = rgba.height();
    n.rowStride = static_cast<int>(rgba.bytesPerLine());
    n.pixels = QByteArray(reinterpret_cast<const char*>(rgba.constBits()), rgba.sizeInBytes());
    return n;
}

void NotificationImage::registerType() {
    qDBusRegisterMetaType<NotificationImage>();
}

QDBusArgument& operator<<(QDBusArgument& out, const NotificationImage& image) {
    out.beginStructure();
    out << image.width << image.height << image.rowStride << image.hasAlpha << image.bitsPerSample
        << image.channels << image.pixels;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, NotificationImage& image) {
    in.beginStructure();
    in >> image.width >> image.height >> image.rowStride >> image.hasAlpha >> image.bitsPerSample >>
        image.channels >> image.pixels;
    in.endStructure();
    return in;
}

} // namespace vantrel
