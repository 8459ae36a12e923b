#include "common/FileUtil.h"

#include "common/ErrorReport.h"
#include "os/Files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {
std::function<void()>& eventsHook() {
    static std::function<void()> hook;
    return hook;
}

std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}
} // namespace

bool FileExists(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(u'\0'))) {
        return false;
    }
    std::error_code ec;
    (void)std::filesystem::last_write_time(toPath(path), ec);
    return !ec;
}

void setPendingEventsHook(std::function<void()> hook) {
    eventsHook() = std::move(hook);
}

void processPendingEvents() {
    if (eventsHook()) {
        eventsHook()();
    }
}

void DeleteFileQuietly(const QString& path) {
    processPendingEvents();
    if (path.isEmpty() || path.contains(QChar(u'\0'))) {
        return;
    }
    std::error_code ec;
    const auto p = toPath(path);
    // Only files are removed here, never folders.
    if (std::filesystem::is_directory(std::filesystem::symlink_status(p, ec))) {
        return;
    }
    if (std::filesystem::remove(p, ec) && !ec) {
        return;
    }
    // Second attempt: make the file writable, then remove it again.
    std::filesystem::permissions(p, std::filesystem::perms::owner_write, std::filesystem::perm_options::add, ec);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    std::filesystem::remove(p, ec);
}

void WriteBytesToFile(const QByteArray& bytes, const QString& path) {
    // Every write and the close are checked: a full disk or a file-size limit that is only met
    // when the last bytes reach the file is reported here, with the system's reason.
    if (const os::Result<> written = os::overwriteFileStart(path, bytes, 0600); !written) {
        throw Failure(u"Could not write the file \"%1\": %2"_s.arg(QDir::toNativeSeparators(path), written.reason()));
    }
}

QString programFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath();
    }
    return QFileInfo(u"."_s).absoluteFilePath();
}

QStringList programDataFolders(const QString& programFolder) {
    const QString folder = QDir::cleanPath(programFolder);
    return {folder, QDir::cleanPath(folder + u"/../share/markwell"_s)};
}

QString findProgramFile(const QString& programFolder, const QString& relativePath) {
    const QStringList folders = programDataFolders(programFolder);
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(relativePath);
        if (FileExists(path)) {
            return path;
        }
    }
    return QDir(folders.front()).filePath(relativePath);
}

} // namespace markwell
