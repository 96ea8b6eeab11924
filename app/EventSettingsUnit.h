#pragma once
// The per-tank event settings dialog: density at 15 °C, the delivery and loss thresholds and
// the quiet hours. Reached from the tile's menu and from the tank editor. Empty boxes keep
// the defaults (density from the fuel type, max(50 l, 1 % of capacity), no quiet hours).

#include "EventTables.h"

#include <QDialog>

#include <functional>
#include <string>

class OperatorMessages;
class QCheckBox;
class QLineEdit;
class QTimeEdit;

// The dialog's boxes as typed.
struct EventSettingsTexts {
    std::string density, deliveryLitres, lossLitres;
    bool quiet = false;
    int quietFrom = 0, quietTo = 0; // minutes after local midnight
};

// Reads the boxes into `out` (its adr kept); an empty box leaves the value unset. Returns
// the message for the first box that is not acceptable, empty when all are: a density in
// the tables' range (653 to 1163.5 kg/m³), thresholds of 1 l up to the tank's capacity
// (any positive number when the capacity is not known), and quiet hours that last.
std::string ReadEventSettings(const EventSettingsTexts& in, int32_t capacity,
                              TankEventSettings& out);

class TEventSettings : public QDialog {
    Q_OBJECT
public:
    // `save` stores the settings; false when they could not be stored.
    using Saver = std::function<bool(const TankEventSettings&)>;
    TEventSettings(OperatorMessages& messages, QWidget* parent = nullptr);

    // Shows `current` for the tank named `name`; `defaultDensity` is what an empty density
    // box means (none when the fuel type names no known fuel).
    void Load(const TankEventSettings& current, const std::string& name, int32_t capacity,
              std::optional<double> defaultDensity);
    void SetSaver(Saver save) { save_ = std::move(save); }
    // "Ok": checks, stores, closes; a refused box or a failed store keeps it open.
    void OkClick();

    QLineEdit* Density = nullptr;
    QLineEdit* DeliveryLitres = nullptr;
    QLineEdit* LossLitres = nullptr;
    QCheckBox* Quiet = nullptr;
    QTimeEdit* QuietFrom = nullptr;
    QTimeEdit* QuietTo = nullptr;

private:
    OperatorMessages& messages_;
    Saver save_;
    TankEventSettings current_;
    int32_t capacity_ = 0;
};
