#include "gradebook/WorkFiles.h"

#include "common/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

// An absolute folder other than the file-system root.
bool usableBase(const QString& folder) {
    return !folder.isEmpty() && QDir::isAbsolutePath(folder) && !QDir(folder).isRoot() &&
           QDir::cleanPath(folder) != QDir::rootPath();
}

// The per-user cache folder, or nothing when HOME and XDG_CACHE_HOME give none.
QString cacheBase() {
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    if (usableBase(xdg)) {
        return xdg;
    }
    // Without a home folder the platform's answer would be a folder at the file-system root.
    if (!usableBase(QDir::homePath())) {
        return {};
    }
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return usableBase(base) ? base : QString();
}

constexpr int kPrivate = 0700;

} // namespace

QString workFolder(QString* problem) {
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty()) {
        return temp;
    }
    QString why;
    const QString base = cacheBase();
    if (!base.isEmpty()) {
        const QString folder = QDir(base).filePath(u"markwell/work"_s);
        if (os::makeFolders(folder, kPrivate, &why)) {
            os::tightenPermissions(folder, kPrivate);
            return folder;
        }
        why = u"the folder \"%1\" could not be made (%2)"_s.arg(QDir::toNativeSeparators(folder), why);
    } else {
        why = u"neither TEMP, nor XDG_CACHE_HOME, nor a home folder (HOME) names a folder"_s;
    }
    // Last resort: a folder of this user's own in the system's temporary folder, made so that no
    // other account can own it or slip a link in its place.
    const QString system = QDir::tempPath();
    if (usableBase(system)) {
        const QString folder = QDir(system).filePath(u"markwell-"_s + os::currentUserKey());
        QString privateWhy;
        if (os::makePrivateFolder(folder, &privateWhy)) {
            return folder;
        }
        why += u"; \"%1\" cannot be used: %2"_s.arg(QDir::toNativeSeparators(folder), privateWhy);
    }
    if (problem != nullptr) {
        *problem = u"There is no work folder for \"Create Template\": %1. Please set TEMP to a folder you can "
                   u"write to."_s.arg(why);
    }
    return {};
}

QString workFileInTheWay(const QString& file) {
    const os::FileKind kind = os::kindOf(file);
    QString what = os::describeKind(kind);
    if (kind == os::FileKind::Regular && !os::ownedByCurrentUser(file)) {
        what = u"a file of another user"_s;
    }
    return u"The work file \"%1\" is in the way: it is %2 that this job did not make. It was left as it is and "
           u"nothing was written through it; please remove it."_s.arg(QDir::toNativeSeparators(file), what);
}

namespace work_files {

namespace {

struct Registry {
    std::recursive_mutex mutex;
    QStringList paths;
};

Registry& registry() {
    // Never destroyed: an interruption may still use it while the process ends.
    static auto* r = new Registry;
    return *r;
}

} // namespace

std::unique_lock<std::recursive_mutex> hold() {
    return std::unique_lock<std::recursive_mutex>(registry().mutex);
}

void record(const QString& path) {
    const auto lock = hold();
    if (!registry().paths.contains(path)) {
        registry().paths << path;
    }
}

void forget(const QString& path) {
    const auto lock = hold();
    registry().paths.removeAll(path);
}

QStringList recorded() {
    const auto lock = hold();
    return registry().paths;
}

void deleteFiles(const QStringList& paths) {
    const auto lock = hold();
    for (const QString& path : paths) {
        // Only files: a recorded name that has become anything else is left alone.
        if (os::kindOf(path) == os::FileKind::Regular) {
            QFile::remove(path);
        }
        registry().paths.removeAll(path);
    }
}

void deleteAll(bool forGood) {
    auto lock = hold();
    deleteFiles(QStringList(registry().paths));
    if (forGood) {
        lock.release();
    }
}

} // namespace work_files
} // namespace markwell
