#include "StoredPicture.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

QImage ReadStoredBmp(const std::string& bytes) {
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return {};
    QBuffer buffer;
    buffer.setData(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "BMP");
    const QSize declared = reader.size();
    if (!PictureSizeAllowed(declared.width(), declared.height()))
        return {};
    // The reader fills memory of its own, so the image outlives the borrowed bytes.
    return reader.read();
}
