#pragma once
// The station's one conversion between the 8-bit texts of the tank records and the ERROR
// table and the text shown on screen. New texts are written as UTF-8. Stored bytes are read
// as UTF-8 when they are valid UTF-8, else in a legacy single-byte code page, for files
// written by older programs. No character is ever replaced: every byte of a legacy text
// reads as some character, and every character of a new text is written.

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>

namespace StoredText {

enum class CodePage {
    Windows874,
    Windows1250,
    Windows1251,
    Windows1252,
    Windows1253,
    Windows1254,
    Windows1255,
    Windows1256,
    Windows1257,
    Windows1258,
};

inline constexpr CodePage kDefaultCodePage = CodePage::Windows1252;

// The name the setting stores and the Settings dialog offers, such as "Windows-1251".
QString CodePageName(CodePage page);
// Every code page offered, in the order of CodePage.
QStringList CodePageNames();
// The code page of a stored name; none for a name that is not offered.
std::optional<CodePage> CodePageNamed(const QString& name);

// The legacy code page of the whole station (the setting); kDefaultCodePage until set.
// Read and set on the window's thread.
void SetLegacyCodePage(CodePage page);
CodePage LegacyCodePage();

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or code points
// past U+10FFFF).
bool IsUtf8(std::string_view bytes);

// Stored bytes as text: UTF-8 when valid, else in `legacy`. A byte that the code page leaves
// undefined reads as the character of the same number (U+0080 to U+00FF).
QString FromStored(std::string_view bytes, CodePage legacy);
// The same in the station's legacy code page.
QString FromStored(std::string_view bytes);

// Text as it is stored: UTF-8. A lone surrogate, which is no character, is written as
// U+FFFD.
std::string ToStored(QStringView text);

// The number of characters (code points) in the text.
int CharacterCount(QStringView text);

} // namespace StoredText
