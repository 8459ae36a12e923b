#pragma once

#include <QByteArray>

namespace markwell {

// The template workbook the program carries, as the bytes "template.xlt" is written from.
QByteArray templateWorkbook();

} // namespace markwell
