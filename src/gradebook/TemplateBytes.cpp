#include "gradebook/TemplateBytes.h"

#include "gradebook/template/FilledLayout.h"
#include "gradebook/template/TemplateData.h"

namespace markwell {

QByteArray templateWorkbook() {
    const auto bytes = gradetemplate::templateWorkbookBytes();
    // The bytes live for the whole run; no copy is needed.
    return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

std::vector<std::string> templateFontFamilies() {
    return {gradetemplate::kFontName};
}

} // namespace markwell
