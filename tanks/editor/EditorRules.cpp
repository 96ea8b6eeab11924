#include "EditorRules.h"

#include "Calibration.h"
#include "StoredText.h"

#include <QKeyEvent>

namespace EditorRules {

namespace {
constexpr char16_t kBackspace = 8;
constexpr char16_t kCode16 = 16;
constexpr char16_t kReturn = 13;
} // namespace

std::optional<QChar> TypedCharacter(const QKeyEvent& event) {
    const QString text = event.text();
    if (text.size() != 1)
        return std::nullopt;
    const QChar c = text.front();
    const char16_t u = c.unicode();
    if (u == kBackspace || u == kCode16 || u == kReturn)
        return c;
    if (u < 0x20 || u == 0x7f)
        return std::nullopt;
    return c;
}

bool IsPassThrough(QChar c) {
    return c.unicode() == kBackspace || c.unicode() == kCode16;
}

bool IsDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

int MemoLength(const QString& plainText) {
    return StoredText::CharacterCount(plainText) +
           static_cast<int>(plainText.count(QLatin1Char('\n')));
}

std::string MemoToRecord(const QString& plainText) {
    QString text = plainText;
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    // The limit counts characters, not the bytes they take, and never leaves half a line
    // break or half a surrogate pair behind.
    qsizetype cut = 0;
    for (int count = 0; cut < text.size() && count < kMemoLimit; ++count) {
        if (text[cut] == QLatin1Char('\r') && cut + 1 < text.size() &&
            text[cut + 1] == QLatin1Char('\n')) {
            if (count + 2 > kMemoLimit)
                break;
            ++count;
            ++cut;
        } else if (text[cut].isHighSurrogate() && cut + 1 < text.size() &&
                   text[cut + 1].isLowSurrogate()) {
            ++cut;
        }
        ++cut;
    }
    return StoredText::ToStored(QStringView(text).left(cut));
}

QString MemoFromRecord(const std::string& memo) {
    QString text = StoredText::FromStored(memo);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

bool GridTextHasRoom(int column, const QString& cellText) {
    if (column == kCodeColumn)
        return cellText.size() < kCodeDigits;
    if (column == kLitresColumn)
        return cellText.size() < kLitresDigits;
    return true;
}

bool GridValueAdmissible(int column, const QString& value) {
    if (value.isEmpty())
        return true;
    if (column != kCodeColumn && column != kLitresColumn)
        return true;
    int32_t v = 0;
    if (!ParseInt32(value.toStdString(), v))
        return false;
    // Negative values are refused too: a code or litres value below zero has no meaning
    // and would wrap round when stored in the unsigned fields of a calibration point.
    return v >= 0 && v <= (column == kCodeColumn ? kCodeMax : kLitresMax);
}

bool AlarmWithinCapacity(int32_t level, int32_t capacity) {
    return capacity <= 0 || level <= capacity;
}

std::string AlarmAboveCapacityText(int32_t capacity) {
    return "The alarm level is above the tank's capacity of " + std::to_string(capacity) +
           " l. Reenter value.";
}

} // namespace EditorRules
