// markwell-cli's setup file on arbitrary bytes: it must give a whole setup or a Failure naming
// where the fault is, never crash or hang. The bytes up to a first NUL are the setup file; the
// bytes after it, when there are any, are a tests roster, and after a second NUL a students roster.
#include "cli/SetupFile.h"
#include "common/ErrorReport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace markwell;
    const QByteArrayView all(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype firstNul = all.indexOf('\0');
    const QByteArrayView setupText = firstNul < 0 ? all : all.first(firstNul);
    std::optional<cli::Roster> tests;
    std::optional<cli::Roster> students;
    if (firstNul >= 0) {
        const QByteArrayView rest = all.sliced(firstNul + 1);
        const qsizetype secondNul = rest.indexOf('\0');
        tests = cli::Roster{(secondNul < 0 ? rest : rest.first(secondNul)).toByteArray(), QStringLiteral("tests.csv")};
        if (secondNul >= 0) {
            students = cli::Roster{rest.sliced(secondNul + 1).toByteArray(), QStringLiteral("students.csv")};
        }
    }
    try {
        const cli::SetupValues values = cli::parseSetupFile(setupText, QStringLiteral("class.txt"));
        const GradebookSetup setup =
            cli::assembleSetup(values, tests ? &*tests : nullptr, students ? &*students : nullptr);
        if (setup.pointsCount != static_cast<qsizetype>(setup.tests.size())) {
            __builtin_trap();
        }
        for (const StudentRow& s : setup.students) {
            if (s.points.size() != setup.pointsCount) {
                __builtin_trap();
            }
        }
    } catch (const Failure& e) {
        if (QString::fromUtf8(e.what()).isEmpty()) {
            __builtin_trap();
        }
    }
    return 0;
}
