#pragma once

#include "workbook/sheet/Workbook.h"
#include "workbook/xls/XlsWriter.h"

#include "ExternalReaders.h"
#include "TempDir.h"

#include <QFile>
#include <QString>

#include <string>

namespace markwell::test {

// A fontconfig file (FONTCONFIG_FILE) under which LibreOffice draws Century Gothic with URW
// Gothic when it is missing, the stand-in our renderer picks itself.
inline constexpr char kCenturyGothicAsUrwGothic[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <alias binding="same"><family>Century Gothic</family><accept><family>URW Gothic</family></accept></alias>
</fontconfig>
)";

// LibreOffice's print of the workbook, saved as NAME.xls and printed to NAME.pdf in `dir` with
// a profile of its own and Century Gothic drawn as our renderer draws it. Returns the PDF's
// path, or empty with what LibreOffice said in `problem`.
inline QString printWithLibreOffice(const QString& soffice, const TempDir& dir, const sheet::Workbook& wb,
                                    const QString& name, std::string& problem) {
    dir.write(QStringLiteral("fonts.conf"), QByteArray(kCenturyGothicAsUrwGothic));
    const xls::Bytes bytes = xls::writeXls(wb);
    dir.write(name + QStringLiteral(".xls"),
              QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    const ToolRun run = runTool(soffice,
                                {QStringLiteral("-env:UserInstallation=file://") + dir.file(QStringLiteral("profile")),
                                 QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                                 QStringLiteral("--outdir"), dir.path(), dir.file(name + QStringLiteral(".xls"))},
                                240000, {QStringLiteral("FONTCONFIG_FILE=") + dir.file(QStringLiteral("fonts.conf"))});
    const QString pdf = dir.file(name + QStringLiteral(".pdf"));
    if (!run.ok || !QFile::exists(pdf)) {
        problem = (run.out + run.err).toStdString();
        return {};
    }
    return pdf;
}

} // namespace markwell::test
