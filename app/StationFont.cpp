#include "StationFont.h"

#include <QFontDatabase>
#include <QStringList>

QFont StationFont() {
    QFont f = QFontDatabase::families().contains("Tahoma")
                  ? QFont("Tahoma")
                  : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(11);
    return f;
}
