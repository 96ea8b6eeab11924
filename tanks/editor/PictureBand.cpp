#include "PictureBand.h"

#include "StoredPicture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QStringList>

#include <stdexcept>

namespace {
constexpr int kMiddle = kPictureSide / 2;

QImage WhiteBitmap(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

std::string ToStd(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
} // namespace

QString PictureFileFilter() {
    QStringList patterns;
    QStringList single;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const QString pattern = QStringLiteral("*.") + QString::fromLatin1(format).toLower();
        patterns << pattern;
        single << QStringLiteral("%1 (%2)").arg(QString::fromLatin1(format).toUpper(), pattern);
    }
    return QStringLiteral("All pictures (%1);;%2;;All files (*)")
        .arg(patterns.join(QLatin1Char(' ')), single.join(QStringLiteral(";;")));
}

QRect PictureBand(int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    if (width == height)
        return {0, 0, kPictureSide, kPictureSide};
    if (width > height) {
        const int h = static_cast<int>(static_cast<double>(height) * kPictureSide / width);
        const int half = h / 2;
        return {0, kMiddle - half, kPictureSide, 2 * half};
    }
    const int w = static_cast<int>(static_cast<double>(width) * kPictureSide / height);
    const int half = w / 2;
    return {kMiddle - half, 0, 2 * half, kPictureSide};
}

QImage StretchIntoBand(const QImage& picture) {
    QImage bitmap = WhiteBitmap(kPictureSide, kPictureSide);
    const QRect band = PictureBand(picture.width(), picture.height());
    if (band.isEmpty())
        return bitmap;
    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(band, picture);
    return bitmap;
}

QImage OpaqueOnWhite(const QImage& picture) {
    if (!picture.hasAlphaChannel())
        return picture.convertToFormat(QImage::Format_RGB32);
    QImage bitmap = WhiteBitmap(picture.width(), picture.height());
    QPainter painter(&bitmap);
    painter.drawImage(0, 0, picture);
    return bitmap;
}

bool DecodeBmp(const std::string& bytes, QImage& out) {
    out = ReadStoredBmp(bytes);
    return !out.isNull();
}

std::string EncodeBmp(const QImage& image) {
    if (image.isNull())
        return {};
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB32).save(&buffer, "BMP"))
        throw std::runtime_error("The picture could not be written as a bitmap.");
    return ToStd(data);
}

EditorPicture::Stored EditorPicture::SetStored(const std::string& bytes) {
    image_ = QImage();
    bytes_ = bytes;
    if (bytes.empty())
        return Stored::Empty;
    return DecodeBmp(bytes, image_) ? Stored::Read : Stored::Unreadable;
}

void EditorPicture::Clear() {
    image_ = QImage();
    bytes_.clear();
}

namespace {
QString TooLargeText(const QString& path) {
    return QStringLiteral("The picture file \"%1\" is larger than %2 MB and was not read. "
                          "Choose a smaller picture.")
        .arg(path)
        .arg(kPictureFileLimit / (1024 * 1024));
}
} // namespace

void EditorPicture::LoadFile(const QString& path) {
    Clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot open the picture file \"%1\": %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
    // A picture for a 64 x 64 area never needs more; a larger file (or a device that never
    // ends) is refused before it fills the memory.
    if (file.size() > kPictureFileLimit)
        throw std::runtime_error(TooLargeText(path).toStdString());
    QByteArray data = file.read(kPictureFileLimit + 1);
    if (data.size() > kPictureFileLimit)
        throw std::runtime_error(TooLargeText(path).toStdString());
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    const QImage loaded = reader.read();
    if (loaded.isNull())
        throw std::runtime_error(QStringLiteral("Cannot load the picture \"%1\": %2")
                                     .arg(path, reader.errorString())
                                     .toStdString());
    if (loaded.width() <= kPictureSide && loaded.height() <= kPictureSide) {
        if (format == "bmp") {
            // A bitmap file small enough is used as it is, its bytes unchanged.
            image_ = loaded;
            bytes_ = ToStd(data);
            return;
        }
        image_ = OpaqueOnWhite(loaded);
    } else {
        image_ = StretchIntoBand(loaded);
    }
    bytes_ = EncodeBmp(image_);
}
