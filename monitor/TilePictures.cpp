#include "TilePictures.h"

#include <QByteArray>

QImage DecodeBmp(const std::string& bytes) {
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return {};
    const QImage decoded = QImage::fromData(
        QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())), "BMP");
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
