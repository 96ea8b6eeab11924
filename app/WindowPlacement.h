#pragma once
class QSettings;
class QWidget;

// Centres a window, frame included, on its parent's screen (the primary one without a parent).
void CentreOnScreen(QWidget& window);

// The main window's size, position and maximised state between runs, kept in the settings
// store beside the port.
void SaveWindowPlacement(const QWidget& window, QSettings& store);
// Puts the window where SaveWindowPlacement left it (on a screen still present). False when
// nothing usable is stored: the caller then places it as on a first start.
bool RestoreWindowPlacement(QWidget& window, QSettings& store);
