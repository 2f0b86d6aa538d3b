// Texts that came from a camera, made safe for output: valid UTF-8, and CSV fields.
#pragma once

#include <string>
#include <string_view>

namespace camlift {

// Starts every CSV file, so that spreadsheet programs read it as UTF-8.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The text as valid UTF-8: every byte that does not belong to a well-formed sequence becomes
// U+FFFD. Names of some dialects arrive in whatever encoding the camera uses.
std::string ToValidUtf8(std::string_view text);
// One CSV field of a text that came from a camera: quoted where it must be, and with a leading
// apostrophe where a spreadsheet would take it for a formula.
std::string CsvField(const std::string& raw);
// The text for one cell of a table on a terminal: control characters, DEL and the UTF-8 forms of
// U+0080..U+009F become blanks, so that a camera's or a file's text can neither break the table
// nor send escape sequences.
std::string TerminalCell(std::string_view text);

}  // namespace camlift
