#pragma once

#include <span>

namespace markwell::gradetemplate {

// The bytes of the template workbook (.xls) as the build wrote them from buildTemplateWorkbook().
std::span<const unsigned char> templateWorkbookBytes();

} // namespace markwell::gradetemplate
