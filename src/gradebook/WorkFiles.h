#pragma once

#include "common/ErrorReport.h"
#include "os/FileLock.h"

#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <mutex>

namespace markwell {

// The work folder: TEMP when it is set and not empty, used as it is. Otherwise a folder of the
// current user's own: "markwell/work" in the per-user cache folder when there is a usable one
// (XDG_CACHE_HOME, or .cache in a home folder that is not the file-system root), else a private
// folder created under the system's temporary folder. Folders the program makes are private to
// the user. When none can be had, returns an empty text and sets *problem to a sentence saying
// why. Never the file-system root.
QString workFolder(QString* problem = nullptr);

// A work file that could not be written because of the work folder or its disk (full, read-only,
// gone, not allowed) rather than a fault of the program. The job ends with its one message.
class WorkFolderFailure : public Failure {
public:
    using Failure::Failure;
};

// True for the system's error numbers that say the folder or its disk is the trouble.
bool isWorkFolderError(int errorNumber);

// The one message for a work folder that cannot be used: names the folder, says what to do and
// gives the system's reason in plain words (errorNumber 0: `systemText` as it is).
QString workFolderProblem(const QString& folder, int errorNumber, const QString& systemText);

// The report for a work file that cannot be made because something this job did not make is at
// its name (a file, a foreign user's file, a symbolic link, a folder...), naming it.
QString workFileInTheWay(const QString& file);

// The work files this process has made and not deleted yet, so that an interrupted process can
// delete them before it ends. Process-wide; every function may be called from any thread.
namespace work_files {

// Held while a work file is being made and recorded (and while one is deleted and forgotten),
// so that an interruption either finds it recorded or waits until it is. Recursive.
std::unique_lock<std::recursive_mutex> hold();

void record(const QString& path);
void forget(const QString& path);
QStringList recorded();

// Deletes these files, where they are files, and forgets them.
void deleteFiles(const QStringList& paths);
// Marks a result workbook as in use by this process for as long as the file is there, also
// after it is forgotten here (a window that shows it deletes it itself), so that a later job in
// the work folder does not take it for a left-over.
void holdWhileThere(const QString& path);

// Deletes every recorded file and forgets them. With forGood the hold is kept for the rest of
// the process, so no further work file can be made: the interruption's last act before the
// process ends.
void deleteAll(bool forGood);

} // namespace work_files

// The lock file a job holds in its work folder from before its first work file until its work
// files are gone.
inline constexpr char16_t kLockFileName[] = u"markwell.lock";
// The work files of a job: its picture, and its result workbook, "qvtemp" and eight digits 1 to 9.
inline constexpr char16_t kPictureFileName[] = u"temp.bmp";
inline constexpr char16_t kResultStem[] = u"qvtemp";

// The work folder of one job, held for the length of the job: its lock, and the work files the
// job made there (recorded among the process's work files until they are deleted).
class JobFolder {
public:
    JobFolder() = default;
    JobFolder(const JobFolder&) = delete;
    JobFolder& operator=(const JobFolder&) = delete;
    // Deletes the lock file and lets the next job have the folder; a job left by an exception (it
    // was cancelled) deletes its work files first.
    ~JobFolder();

    // Throws WorkFolderFailure with workFolderProblem() for this folder when `errorNumber` says
    // the folder or its disk is the trouble; returns otherwise.
    void stopOnFolderTrouble(int errorNumber, const QString& systemText) const;

    // Finds the work folder (`chosen`, when given, else workFolder()) and takes its lock, waiting
    // up to waitMs while another job has it; `notice` tells the user once that the job waits, and
    // `whileWaiting` is called every few milliseconds of the wait (an exception from it ends the
    // wait and passes on). On failure returns false with *problem set to the one message for the
    // user.
    bool take(const std::function<QString()>& chosen, int waitMs, const std::function<void(const QString&)>& notice,
              QString* problem, const std::function<void()>& whileWaiting = {});

    const QString& folder() const { return m_folder; }
    // Deletes what jobs that ended without their clean-up left in the folder: the picture file,
    // and the result workbooks no live process holds. Only regular files of the current user with
    // the program's own names; a link, a folder or another user's file stays. Called by take().
    void clearLeftOvers() const;
    QString path(const QString& name) const;

    // A work file this job made (or took over, as a left-over template) and deletes at its end.
    void made(const QString& file);
    bool owns(const QString& file) const { return m_made.contains(file); }
    // Deletes a work file of this job quietly; anything the job did not make stays.
    void remove(const QString& file);
    // Deletes every work file of this job (not its lock).
    void removeAll();

private:
    QString m_folder;
    os::FileLock m_lock;
    QStringList m_made;
    const int m_uncaught = std::uncaught_exceptions();
};

} // namespace markwell
