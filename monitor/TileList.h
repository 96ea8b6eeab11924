#pragma once
// The tile list VT of the Monitoring tab: one tile per tank, painted by the program, with
// the "Edit" link that opens the tank editor on the tile's own record.

#include "TileModel.h"
#include "TilePictures.h"

#include <QTreeView>

#include <functional>

class OperatorMessages;
class TGaugePanels;
class TTileDelegate;

// Shown in the list while no tank is active, so a new station says where to begin.
inline constexpr const char* kMsgNoActiveTank =
    "No tank is monitored yet. To set one up, click \"Edit\" on its tile (or double-click the "
    "tile), tick \"Activity\", enter its calibration and press \"Update\".";

class TTileList : public QTreeView {
    Q_OBJECT
public:
    // Shows the tank editor on the record; false when the editor could not be shown.
    using EditorOpener = std::function<bool(TItemNode&)>;

    // `gauge` and `messages` belong to the caller (the main window) and must outlive the list.
    TTileList(TGaugePanels& gauge, OperatorMessages& messages, QWidget* parent = nullptr);

    // The records, owned by the list for the whole run.
    TTileModel& Model() { return *model_; }
    void SetEditorOpener(EditorOpener opener) { opener_ = std::move(opener); }

    // The row whose link hit area holds this point in list coordinates, or -1.
    int LinkRowAt(QPoint listPos) const;
    // S of the hit area: the scroll bar's width while the tiles are taller than the list.
    int HitAreaScrollBarWidth() const;

    // Hand pointer over a link, the default cursor elsewhere over a tile, unchanged off them.
    void VTGetCursor(QPoint listPos);
    // Opens the editor when the point is on a link, and then resets that tile.
    void VTClick(QPoint listPos);
    // Opens the editor on the tank of a row (a double-click or Enter on its tile), and then
    // resets that tile.
    void OpenEditorAt(int row);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint ToList(QPoint viewportPos) const;
    QPoint ToViewport(QPoint listPos) const;

    OperatorMessages& messages_;
    TTileModel* model_;
    TTilePictures pictures_;
    TTileDelegate* delegate_;
    EditorOpener opener_;
    int pressedRow_ = -1;
};
