#pragma once

#include "setup/GradebookSetup.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

// The stored setup as key/value texts: txtName, txtTeachName, txtProject, txtYSQ, Tests,
// Students (the lists in the store's list format). A missing key is empty.
using SetupValues = QMap<QString, QString>;

inline const QStringList& setupKeys() {
    static const QStringList keys{u"txtName"_s, u"txtTeachName"_s, u"txtProject"_s,
                                  u"txtYSQ"_s,  u"Tests"_s,        u"Students"_s};
    return keys;
}

// Reads a setup file: UTF-8 `key=value` lines, the value being the rest of the line exactly as
// written. Blank lines are skipped; a line without "=" or with an unknown key throws Failure
// naming the file and the line number.
SetupValues parseSetupFile(const QByteArray& bytes, const QString& fileName);

// The setup the main window would show for these values after a change of tab: every student
// carries one points field per test. Faults of the lists (surplus fields) are appended to
// `problems`.
GradebookSetup setupFromValues(const SetupValues& values, QStringList& problems);

} // namespace markwell::cli
