#pragma once

#include "gradebook/CreateTemplate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace markwell::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Setup files and rosters larger than this are refused (a class at the workbook's limits, 250
// tests and 32,767 students, needs a fraction of it).
inline constexpr qint64 kMaxInputBytes = qint64{64} << 20;

class ProgressLine;

struct CliEnvironment {
    HostFactory hostFactory;
    std::function<QByteArray()> templateBytes;
    QString settingsFolder;                  // the per-user store's folder
    std::function<void(const QString&)> out; // standard output
    std::function<void(const QString&)> err; // standard error
    std::function<QString()> workFolder;     // empty: the program's work folder rules
    // Where a job tells how far it has come (standard error on a terminal); none: nowhere.
    // Messages to `err` are expected to pass through it (ProgressLine::message).
    ProgressLine* progress = nullptr;
};

// Runs `markwell-cli` with its arguments (without the program name). Returns the exit code.
int run(const QStringList& arguments, const CliEnvironment& env);

} // namespace markwell::cli
