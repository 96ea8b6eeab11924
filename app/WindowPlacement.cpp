#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

void CentreOnScreen(QWidget& window) {
    QWidget* parent = window.parentWidget();
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

namespace {
constexpr const char* kPlacementKey = "Window/Placement";
}

void SaveWindowPlacement(const QWidget& window, QSettings& store) {
    store.setValue(kPlacementKey, window.saveGeometry());
    store.sync();
}

bool RestoreWindowPlacement(QWidget& window, QSettings& store) {
    const QByteArray placement = store.value(kPlacementKey).toByteArray();
    return !placement.isEmpty() && window.restoreGeometry(placement);
}
