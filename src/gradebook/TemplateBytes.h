#pragma once

#include <QByteArray>

#include <string>
#include <vector>

namespace markwell {

// The template workbook the program carries, as the bytes "template.xlt" is written from.
QByteArray templateWorkbook();

// The font families the template's cells are drawn in, for reading them ahead of the first picture.
std::vector<std::string> templateFontFamilies();

} // namespace markwell
