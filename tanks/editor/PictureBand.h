#pragma once
// The tank picture as the editor keeps it: at most 64 x 64 pixels, held as a bitmap and as
// the bytes of a BMP file. Pure image code, no widgets.

#include <QImage>
#include <QRect>
#include <QString>

#include <string>

inline constexpr int kPictureSide = 64;
// The largest picture file "Change Image" reads.
inline constexpr qint64 kPictureFileLimit = 4 * 1024 * 1024;

// Where a picture larger than 64 x 64 is stretched on the white 64 x 64 bitmap: the whole
// bitmap for a square picture, else a band across the middle whose thickness is the
// scaled side truncated and rounded down to an even number of pixels.
QRect PictureBand(int width, int height);

// The open-picture dialog's filter: every format the picture loader reads, BMP, JPEG and
// PNG among them, first all together, then one by one.
QString PictureFileFilter();

// A new white 64 x 64 bitmap with the picture stretched into its band.
QImage StretchIntoBand(const QImage& picture);

// A picture of at most 64 x 64 at its own size, opaque: transparent pixels become white.
QImage OpaqueOnWhite(const QImage& picture);

// Decodes the bytes of a BMP file; false (and a null image) for anything else, a bitmap
// declared larger than the station decodes included.
bool DecodeBmp(const std::string& bytes, QImage& out);
// The image written as a complete BMP file; empty bytes for a null image.
std::string EncodeBmp(const QImage& image);

// The picture area's content: the bitmap shown and the bytes "Update" stores.
class EditorPicture {
public:
    enum class Stored { Empty, Read, Unreadable };

    // Takes the record's bytes. Readable bytes are kept exactly as they are, so a picture
    // that is not changed goes back to the database byte for byte. Unreadable bytes are
    // kept too (nothing is shown for them) until another picture replaces them.
    Stored SetStored(const std::string& bytes);
    void Clear();
    // Loads a picture file, fitting it as the editor requires. Raises std::runtime_error
    // with a readable text when the file cannot be read or is larger than
    // kPictureFileLimit (then nothing of it is read); the picture is then empty.
    void LoadFile(const QString& path);

    const QImage& Image() const { return image_; }
    const std::string& Bytes() const { return bytes_; }

private:
    QImage image_;
    std::string bytes_;
};
