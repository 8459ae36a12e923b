#include "workbook/host/SpreadsheetHost.h"

namespace markwell {

// Replaced by the embedded engine's factory once the engine is wired in.
HostFactory defaultHostFactory() {
    return []() -> std::unique_ptr<SpreadsheetHost> { return nullptr; };
}

} // namespace markwell
