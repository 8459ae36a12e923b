#include "workbook/host/EmbeddedHost.h"

namespace markwell {

HostFactory defaultHostFactory() {
    return []() -> std::unique_ptr<SpreadsheetHost> { return std::make_unique<EmbeddedHost>(); };
}

} // namespace markwell
