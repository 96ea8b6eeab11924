// Any bytes as a tank's stored picture, through the two places that turn it into something
// painted: the tile's picture cache and painter, and the editor's picture area. Both must
// agree on whether the bytes are a picture and on its size, and painting must stay inside
// the image it paints on.
#include "GaugePanels.h"
#include "PictureBand.h"
#include "StoredPicture.h"
#include "TilePainter.h"
#include "TilePictures.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The tile as the list paints it: active, focused, on a canvas of one tile's size.
void PaintTile(const TItemNode& node, TTilePictures& pictures) {
    QImage canvas(420, kActiveTileHeight, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    TGaugePanels gauge;
    QPainter painter(&canvas);
    TTilePainter(gauge, pictures)
        .VTDrawNode(painter, node, canvas.rect(), true, {Qt::white, Qt::black});
}

// The editor's picture area: the pixmap its label shows, centred in the 64 x 64 area.
void PaintEditorArea(const EditorPicture& picture) {
    if (picture.Image().isNull())
        return;
    const QPixmap pixmap = QPixmap::fromImage(picture.Image());
    Check(!pixmap.isNull(), "a decoded picture makes a pixmap");
    QImage area(kPictureSide, kPictureSide, QImage::Format_RGB32);
    area.fill(Qt::white);
    QPainter painter(&area);
    painter.drawPixmap((kPictureSide - pixmap.width()) / 2, (kPictureSide - pixmap.height()) / 2,
                       pixmap);
}

} // namespace

// The font configuration parser keeps a few hundred bytes for good when fonts are first
// looked up; that is the system library's, not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // The decoder's complaints about bad files would only slow every run down.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // The font lookup caches what it finds on first use; do that here, not inside a run.
    TItemNode warm;
    warm.Act = true;
    warm.Name = "Tank 1";
    TTilePictures pictures;
    PaintTile(warm, pictures);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TItemNode node;
    node.Act = true;
    node.Name = "Tank 1";
    node.Img.assign(reinterpret_cast<const char*>(data), size);

    TTilePictures pictures;
    const QImage* tile = pictures.Picture(node);
    PaintTile(node, pictures);
    Check(pictures.DecodeCount() == 1, "one decoding per picture");

    EditorPicture editor;
    const EditorPicture::Stored stored = editor.SetStored(node.Img);
    Check(editor.Bytes() == node.Img, "the editor keeps the stored bytes");
    PaintEditorArea(editor);

    if (size == 0) {
        Check(stored == EditorPicture::Stored::Empty && !tile, "no bytes, no picture");
        return 0;
    }
    const bool read = stored == EditorPicture::Stored::Read;
    Check(read == (tile != nullptr), "tile and editor agree on a picture");
    if (read) {
        Check(tile->size() == editor.Image().size(), "tile and editor agree on its size");
        Check(tile->width() <= kMaxPictureSide && tile->height() <= kMaxPictureSide,
              "no picture larger than the station decodes");
        Check(size >= 2 && data[0] == 'B' && data[1] == 'M', "only BMP bytes are pictures");
    }
    return 0;
}
