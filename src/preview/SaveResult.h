#pragma once

#include <QString>

namespace markwell {

class Prompt;

namespace preview {

inline constexpr char16_t kSaveLocation[] = u"in Ledgerly2021/08/31.Form2.PushButton6_Click ";

// "Save Results To Excel File": asks for a target with the save dialog, asks before replacing
// an existing file, copies the generated workbook there and ends with "Done." on every path.
// The dialog also offers .xlsx and PDF; the name's extension, else the chosen file type, picks the
// format (SaveFormats.h), and those two are made from the generated workbook instead of copied.
// Failures are shown in the Application error report under the button's location text.
void SaveResults(Prompt& prompt, const QString& excelFile);

} // namespace preview
} // namespace markwell
