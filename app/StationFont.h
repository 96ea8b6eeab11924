#pragma once
#include <QFont>

// Tahoma at an 11-pixel height where installed, else the desktop's sans-serif.
QFont StationFont();
