#pragma once

#include "workbook/host/SpreadsheetHost.h"

#include <QChar>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

namespace markwell {

class Prompt;

// The spreadsheet routines the filling calls after the template has been filled.
namespace Excel1 {

// A second, new host instance with the workbook at `path` open for writing.
std::unique_ptr<SpreadsheetHost> openInNewInstance(const HostFactory& factory, const QString& path);

// 56 for hosts of major version 12 or later, -4143 for earlier ones. With no instance, one is
// created for the question and quit again.
std::int32_t getSaveFileFormat(SpreadsheetHost* host, const HostFactory& factory);

// The format code for a version text such as "16.0" or "16,0"; throws when it is no number.
std::int32_t saveFileFormatForVersion(const QString& versionText);

// The locale's decimal separator: the second character of 0.5 formatted by the locale.
QChar localDecimalSeparator();

// Both "." and "," become the locale's decimal separator.
QString localizeNumberText(const QString& text);

// Reads the host's picture slot, asking again up to 1000 times in all; a null image when every
// request failed. Never fails.
QImage getClipboardPicture(const SpreadsheetHost& host, std::int32_t format);

// Pictures the used range of the workbook's active sheet into the file at `path`, under its
// own error trap. The file is made new (picture_file); anything already at `path` is refused
// and left as it is. Where the host draws with the program's renderer, the picture is drawn
// straight into the file. The file is recorded among the process's work files. A folder or disk
// that cannot take the picture is thrown on as WorkFolderFailure.
void saveCellsActivesheet(SpreadsheetHost& host, HostWorkbook workbook, const QString& path, Prompt& prompt);

inline constexpr int kPictureRequests = 1000;

} // namespace Excel1
} // namespace markwell
