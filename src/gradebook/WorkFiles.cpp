#include "gradebook/WorkFiles.h"

#include "common/FileUtil.h"
#include "os/Files.h"
#include "os/Process.h"

#include <QDir>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <exception>

#include <cerrno>
#include <map>

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

namespace {

// What a system error number says of the work folder, and what the user can do about it.
struct FolderTrouble {
    int errorNumber;
    const char16_t* what;
    const char16_t* todo;
};

constexpr FolderTrouble kFolderTroubles[] = {
    {ENOSPC, u"the disk it is on is full", u"Please free some space on that disk and try again."},
    {EFBIG, u"a work file grew beyond the largest file this session may write",
     u"Please raise the file-size limit of the session, or make the class smaller, and try again."},
    {EROFS, u"the disk it is on can only be read", u"Please use a folder on a disk that can be written."},
    {EACCES, u"you are not allowed to write in it", u"Please give yourself write access to it, or use another folder."},
    {ENOENT, u"it does not exist", u"Please create it, or use another folder."},
    {EIO, u"the disk reported a fault while reading or writing",
     u"Please check the disk, or use a folder on another disk."},
};

const FolderTrouble* folderTrouble(int errorNumber) {
    // Numbers that say the same to the user.
    const int same = errorNumber == EDQUOT    ? ENOSPC
                     : errorNumber == EPERM   ? EACCES
                     : errorNumber == ENOTDIR ? ENOENT
                                              : errorNumber;
    for (const FolderTrouble& t : kFolderTroubles) {
        if (t.errorNumber == same) {
            return &t;
        }
    }
    return nullptr;
}

} // namespace

bool isWorkFolderError(int errorNumber) {
    return folderTrouble(errorNumber) != nullptr;
}

QString workFolderProblem(const QString& folder, int errorNumber, const QString& systemText) {
    const FolderTrouble* trouble = folderTrouble(errorNumber);
    const QString what = trouble != nullptr ? QString::fromUtf16(trouble->what) : systemText;
    const QString todo = trouble != nullptr ? QString::fromUtf16(trouble->todo) : u"Please use another folder."_s;
    const QString reason =
        errorNumber != 0 && !systemText.isEmpty() ? u" (the system says: %1)"_s.arg(systemText) : QString();
    return u"The work folder \"%1\" cannot be used: %2%3. %4 \"Create Template\" keeps its work files in this "
           u"folder while it runs; to use another folder, set the environment variable TEMP to it before starting "
           u"the program."_s.arg(QDir::toNativeSeparators(folder), what, reason, todo);
}

QString workFolder(QString* problem) {
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty()) {
        return temp;
    }
    QString why;
    const QString base = cacheBase();
    if (!base.isEmpty()) {
        const QString folder = QDir(base).filePath(u"markwell/work"_s);
        const os::Result<> made = os::makeFolders(folder, kPrivate);
        if (made) {
            os::tightenPermissions(folder, kPrivate);
            return folder;
        }
        why = u"the folder \"%1\" could not be made: %2"_s.arg(QDir::toNativeSeparators(folder), made.reason());
    } else {
        why = u"neither TEMP, nor XDG_CACHE_HOME, nor a home folder (HOME) names a folder"_s;
    }
    // Last resort: a folder of this user's own in the system's temporary folder, made so that no
    // other account can own it or slip a link in its place.
    const QString system = QDir::tempPath();
    if (usableBase(system)) {
        const QString folder = QDir(system).filePath(u"markwell-"_s + os::currentUserKey());
        const os::Result<> made = os::makePrivateFolder(folder);
        if (made) {
            return folder;
        }
        why += u"; \"%1\" cannot be used: %2"_s.arg(QDir::toNativeSeparators(folder), made.reason());
    }
    if (problem != nullptr) {
        *problem = u"There is no work folder for \"Create Template\": %1. \"Create Template\" keeps its work files "
                   u"there while it runs; please set the environment variable TEMP to a folder you can write to "
                   u"before starting the program."_s.arg(why);
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
    std::map<QString, os::FileHold> holds;
};

// Lets go of the files that are gone (or have been replaced) since they were held.
void dropStaleHolds(Registry& r) {
    std::erase_if(r.holds, [](const auto& entry) { return !entry.second.stillAt(entry.first); });
}

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
    dropStaleHolds(registry());
    if (!registry().paths.contains(path)) {
        registry().paths << path;
    }
}

void forget(const QString& path) {
    const auto lock = hold();
    registry().paths.removeAll(path);
}

void holdWhileThere(const QString& path) {
    const auto lock = hold();
    dropStaleHolds(registry());
    os::Result<os::FileHold> taken = os::FileHold::take(path);
    if (taken) {
        registry().holds.insert_or_assign(path, std::move(*taken));
    }
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
        registry().holds.erase(path);
    }
}

void deleteAll(bool forGood) {
    auto lock = hold();
    deleteFiles(QStringList(registry().paths));
    registry().holds.clear();
    if (forGood) {
        lock.release();
    }
}

} // namespace work_files

namespace {

// "10 minutes", "30 seconds": how long a job waits for the work folder.
QString waitingTime(int ms) {
    const int seconds = (ms + 999) / 1000;
    if (seconds >= 60 && seconds % 60 == 0) {
        return seconds == 60 ? u"1 minute"_s : u"%1 minutes"_s.arg(seconds / 60);
    }
    return seconds == 1 ? u"1 second"_s : u"%1 seconds"_s.arg(seconds);
}

// What to say of the lock file that cannot be used: it is the trouble, not the folder.
QString lockFileProblem(const QString& lockPath, const QString& why) {
    return u"The lock file \"%1\" in the work folder cannot be used: %2. The program makes this file itself "
           u"while a job runs; please remove or rename what is at that name and try again."_s.arg(
               QDir::toNativeSeparators(lockPath), why);
}

} // namespace

bool JobFolder::take(const std::function<QString()>& chosen, int waitMs,
                     const std::function<void(const QString&)>& notice, QString* problem,
                     const std::function<void()>& whileWaiting) {
    QString why;
    m_folder = chosen ? chosen() : workFolder(&why);
    if (m_folder.isEmpty()) {
        *problem = why.isEmpty() ? u"There is no work folder for \"Create Template\"."_s : why;
        return false;
    }
    const QString shown = QDir::toNativeSeparators(m_folder);
    const os::FileKind kind = os::kindFollowing(m_folder);
    if (kind != os::FileKind::Directory) {
        *problem = kind == os::FileKind::Missing
                       ? workFolderProblem(m_folder, ENOENT, {})
                       : workFolderProblem(m_folder, 0,
                                           u"it is %1, not a folder"_s.arg(os::describeKind(os::kindOf(m_folder))));
        return false;
    }
    const QString lockPath = path(QString::fromUtf16(kLockFileName));
    QElapsedTimer waited;
    waited.start();
    bool told = false;
    for (;;) {
        {
            const auto hold = work_files::hold();
            os::Result<os::FileLock> taken = os::FileLock::tryTake(lockPath);
            if (!taken) {
                // Creating the lock file is the job's first write to the folder: a folder that
                // cannot be written says so here, with the system's reason.
                *problem = os::kindOf(lockPath) == os::FileKind::Missing || isWorkFolderError(taken.errorNumber())
                               ? workFolderProblem(m_folder, taken.errorNumber(), taken.reason())
                               : lockFileProblem(lockPath, taken.reason());
                return false;
            }
            if (taken->held()) {
                m_lock = std::move(*taken);
                work_files::record(lockPath);
                clearLeftOvers();
                return true;
            }
        }
        if (!told) {
            told = true;
            if (notice) {
                notice(u"Another job is using the work folder \"%1\" (another copy of the program, or markwell-cli). "
                       u"This job waits until it has finished, at most %2; then it gives up."_s.arg(
                           shown, waitingTime(waitMs)));
            }
        }
        if (waited.elapsed() >= waitMs) {
            *problem = u"The work folder \"%1\" is still in use by another job after %2 seconds. Please try again "
                       u"when it has finished."_s.arg(shown, QString::number(waited.elapsed() / 1000));
            return false;
        }
        if (whileWaiting) {
            whileWaiting();
        }
        processPendingEvents();
        QThread::msleep(20);
    }
}

void JobFolder::clearLeftOvers() const {
    static const QRegularExpression result(u"^%1[1-9]{8}\\.xls$"_s.arg(QString::fromUtf16(kResultStem)));
    const QStringList names = QDir(m_folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        const bool picture = name == QString::fromUtf16(kPictureFileName);
        if (!picture && !result.match(name).hasMatch()) {
            continue;
        }
        const QString file = path(name);
        // The picture is made and read back by the holder of the lock only, which this job is now.
        if (os::kindOf(file) == os::FileKind::Regular && os::ownedByCurrentUser(file) &&
            (picture || !os::heldByALiveProcess(file))) {
            QFile::remove(file);
        }
    }
}

void JobFolder::stopOnFolderTrouble(int errorNumber, const QString& systemText) const {
    if (isWorkFolderError(errorNumber)) {
        throw WorkFolderFailure(workFolderProblem(m_folder, errorNumber, systemText));
    }
}

JobFolder::~JobFolder() {
    const auto hold = work_files::hold();
    // A job that does not run to its end (it was cancelled) takes its work files with it, as an
    // interrupted process does.
    if (std::uncaught_exceptions() > m_uncaught) {
        work_files::deleteFiles(m_made);
    }
    work_files::forget(m_lock.path());
    m_lock.release();
}

QString JobFolder::path(const QString& name) const {
    return m_folder.isEmpty() ? name : QDir(m_folder).filePath(name);
}

void JobFolder::made(const QString& file) {
    work_files::record(file);
    if (!m_made.contains(file)) {
        m_made << file;
    }
}

void JobFolder::remove(const QString& file) {
    if (!owns(file)) {
        processPendingEvents();
        return;
    }
    DeleteFileQuietly(file);
    const auto hold = work_files::hold();
    if (os::kindOf(file) == os::FileKind::Missing) {
        work_files::forget(file);
        m_made.removeAll(file);
    }
}

void JobFolder::removeAll() {
    for (const QString& file : QStringList(m_made)) {
        remove(file);
    }
}

} // namespace markwell
