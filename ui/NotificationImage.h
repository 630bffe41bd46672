#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QMetaType>

namespace vantrel {

// A picture as the freedesktop notification service takes it in its
// "image-data" hint: the raw pixels with their shape, D-Bus type (iiibiiay).
// Sent this way the icon shows whatever icon theme the desktop has, where a
// name would have to be installed where the service looks.
struct NotificationImage {
    int width = 0;
    int height = 0;
    int rowStride = 0;
    bool hasAlpha = true;
    int bitsPerSample = 8;
    int channels = 4;
    QByteArray pixels; // rows of RGBA bytes, rowStride apart

    // The image as 8-bit RGBA rows.
    static NotificationImage from(const QImage& image);
    // Makes the type known to D-Bus; call before the first use.
    static void registerType();
};

QDBusArgument& operator<<(QDBusArgument& out, const NotificationImage& image);
const QDBusArgument& operator>>(const QDBusArgument& in, NotificationImage& image);

} // namespace vantrel

Q_DECLARE_METATYPE(vantrel::NotificationImage)
