#pragma once
// The tiles' pictures, decoded from each record's Img once per change rather than at every
// repaint. Bytes that are not a BMP file give no picture; nothing is reported, so a bad
// picture cannot raise a message at every repaint.

#include "TItemNode.h"

#include <QImage>

#include <string>
#include <unordered_map>

// Decodes BMP file bytes ("BM" first); anything else, including no bytes or a bitmap
// declared larger than the station decodes, is a null image.
QImage DecodeBmp(const std::string& bytes);

class TTilePictures {
public:
    // The record's picture, or nullptr when it has none. Valid until the next call.
    const QImage* Picture(const TItemNode& node);
    int DecodeCount() const { return decodes_; }

private:
    struct Entry {
        std::string bytes; // what `image` was decoded from
        QImage image;
    };
    // Records live for the whole run at stable addresses, so the address is a sound key.
    std::unordered_map<const TItemNode*, Entry> entries_;
    int decodes_ = 0;
};
