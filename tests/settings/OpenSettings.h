#pragma once
// The Settings dialog shown without its modal loop, so a test can fill it and press its
// buttons.
#include "SettingsUnit.h"

class OpenSettings : public TForm2 {
public:
    using TForm2::TForm2;

protected:
    void RunModal() override { show(); }
};
