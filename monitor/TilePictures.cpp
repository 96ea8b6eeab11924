#include "TilePictures.h"

#include "StoredPicture.h"

QImage DecodeBmp(const std::string& bytes) {
    const QImage decoded = ReadStoredBmp(bytes);
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
