#include "TilePictures.h"

#include "PictureLimits.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

QImage DecodeBmp(const std::string& bytes) {
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return {};
    QBuffer buffer;
    buffer.setData(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "BMP");
    const QSize declared = reader.size();
    if (!PictureSizeAllowed(declared.width(), declared.height()))
        return {};
    const QImage decoded = reader.read();
    if (decoded.isNull())
        return {};
    // The picture is drawn opaque, whatever alpha its file carries.
    return decoded.convertToFormat(QImage::Format_RGB32);
}

const QImage* TTilePictures::Picture(const TItemNode& node) {
    auto found = entries_.find(&node);
    if (found == entries_.end() || found->second.bytes != node.Img) {
        Entry& entry = entries_[&node];
        entry.bytes = node.Img;
        entry.image = DecodeBmp(node.Img);
        ++decodes_;
        found = entries_.find(&node);
    }
    const QImage& image = found->second.image;
    return image.isNull() ? nullptr : &image;
}
