#include "EventSettingsUnit.h"

#include "NetVolume.h"
#include "OperatorMessages.h"
#include "QtOperatorMessages.h"
#include "TextFormats.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>

namespace {

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool ReadLitres(const std::string& text, const char* what, int32_t capacity,
                std::optional<int64_t>& out, std::string& message) {
    const std::string t = Trimmed(text);
    if (t.empty()) {
        out.reset();
        return true;
    }
    int64_t v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    const int64_t top = capacity > 0 ? capacity : INT32_MAX;
    if (ec != std::errc() || end != t.data() + t.size() || v < 1 || v > top) {
        message = std::string("The ") + what + " must be a whole number of litres from 1 to " +
                  TextFormats::Int(top) + ".";
        return false;
    }
    out = v;
    return true;
}

QString DensityText(double v) {
    return QString::fromStdString(TextFormats::General15(v));
}

} // namespace

std::string ReadEventSettings(const EventSettingsTexts& in, int32_t capacity,
                              TankEventSettings& out) {
    std::string message;
    const std::string density = Trimmed(in.density);
    if (density.empty()) {
        out.density.reset();
    } else {
        double v = 0;
        if (!TextFormats::ParseDouble(density, v) ||
            !(v >= NetVolume::kMinDensity && v <= NetVolume::kMaxDensity))
            return "The density must be a number from " +
                   TextFormats::General15(NetVolume::kMinDensity) + " to " +
                   TextFormats::General15(NetVolume::kMaxDensity) + " kg/m3.";
        out.density = v;
    }
    if (!ReadLitres(in.deliveryLitres, "delivery threshold", capacity, out.deliveryLitres,
                    message) ||
        !ReadLitres(in.lossLitres, "loss threshold", capacity, out.lossLitres, message))
        return message;
    if (in.quiet) {
        if (in.quietFrom == in.quietTo)
            return "The quiet hours must not start and end at the same time.";
        out.quietFrom = in.quietFrom;
        out.quietTo = in.quietTo;
    } else {
        out.quietFrom.reset();
        out.quietTo.reset();
    }
    return {};
}

TEventSettings::TEventSettings(OperatorMessages& messages, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      messages_(messages) {
    setModal(true);
    auto* v = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    Density = new QLineEdit;
    Density->setObjectName("density");
    DeliveryLitres = new QLineEdit;
    DeliveryLitres->setObjectName("deliveryLitres");
    LossLitres = new QLineEdit;
    LossLitres->setObjectName("lossLitres");
    form->addRow("Density at 15 " + QString(QChar(0x00B0)) + "C, kg/m3:", Density);
    form->addRow("Delivery from, l:", DeliveryLitres);
    form->addRow("Loss from, l:", LossLitres);
    Quiet = new QCheckBox("Quiet hours from");
    Quiet->setObjectName("quiet");
    QuietFrom = new QTimeEdit;
    QuietFrom->setDisplayFormat("HH:mm");
    QuietTo = new QTimeEdit;
    QuietTo->setDisplayFormat("HH:mm");
    auto* quiet = new QHBoxLayout;
    quiet->addWidget(Quiet);
    quiet->addWidget(QuietFrom);
    quiet->addWidget(new QLabel("to"));
    quiet->addWidget(QuietTo);
    quiet->addStretch();
    form->addRow(quiet);
    v->addLayout(form);
    auto* note = new QLabel("Empty boxes keep the defaults. In quiet hours any fall of the "
                            "loss size is a loss.");
    note->setWordWrap(true);
    v->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    v->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OkClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(Quiet, &QCheckBox::toggled, this, [this](bool on) {
        QuietFrom->setEnabled(on);
        QuietTo->setEnabled(on);
    });
}

void TEventSettings::Load(const TankEventSettings& current, const std::string& name,
                          int32_t capacity, std::optional<double> defaultDensity) {
    current_ = current;
    capacity_ = capacity;
    setWindowTitle("Event settings: " + OperatorText(name));
    Density->setText(current.density ? DensityText(*current.density) : QString());
    Density->setPlaceholderText(defaultDensity ? DensityText(*defaultDensity) + " (fuel type)"
                                               : QString("unknown: gross litres only"));
    const QString share = QString::number(std::max<int64_t>(50, capacity / 100));
    DeliveryLitres->setText(current.deliveryLitres ? QString::number(*current.deliveryLitres)
                                                   : QString());
    DeliveryLitres->setPlaceholderText(share);
    LossLitres->setText(current.lossLitres ? QString::number(*current.lossLitres) : QString());
    LossLitres->setPlaceholderText(share);
    const bool quiet = current.quietFrom && current.quietTo;
    Quiet->setChecked(quiet);
    QuietFrom->setTime(QTime(0, 0).addSecs(int(current.quietFrom.value_or(22 * 60)) * 60));
    QuietTo->setTime(QTime(0, 0).addSecs(int(current.quietTo.value_or(6 * 60)) * 60));
    QuietFrom->setEnabled(quiet);
    QuietTo->setEnabled(quiet);
}

void TEventSettings::OkClick() {
    EventSettingsTexts in;
    in.density = Density->text().toStdString();
    in.deliveryLitres = DeliveryLitres->text().toStdString();
    in.lossLitres = LossLitres->text().toStdString();
    in.quiet = Quiet->isChecked();
    in.quietFrom = QuietFrom->time().hour() * 60 + QuietFrom->time().minute();
    in.quietTo = QuietTo->time().hour() * 60 + QuietTo->time().minute();
    TankEventSettings read = current_;
    const std::string refused = ReadEventSettings(in, capacity_, read);
    if (!refused.empty()) {
        messages_.ShowMessage(refused);
        return;
    }
    if (save_ && !save_(read)) {
        messages_.ShowMessage("The event settings could not be stored; see the Errors log.");
        return;
    }
    accept();
}
