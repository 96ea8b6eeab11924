#pragma once
class QWidget;

// Centres a window, frame included, on its parent's screen (the primary one without a parent).
void CentreOnScreen(QWidget& window);
