#pragma once

#include "workbook/render/PictureMemory.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <exception>
#include <memory>

namespace markwell {

namespace os {
class FileMapping;
}

// The picture of the filled sheet on its way from the snapshot to the preview: the work file
// "temp.bmp". It is an ordinary 32-bit top-down BMP that any picture viewer opens, laid out as
// the picture is held in memory, so that the picture is drawn straight into the file mapped into
// memory, and shown from the file mapped again, without a copy.
//
// Everything that makes, stores and shows the picture keeps to one bound, the renderer's: each
// side below 32767 pixels and at most 64 million pixels.
namespace picture_file {

inline constexpr int kMaxSide = 32766;
inline constexpr std::int64_t kMaxPixels = 64'000'000;

// True when a picture of width x height pixels lies within the bound.
bool withinBound(std::int64_t width, std::int64_t height);

// The bytes of the file for a picture (for tests and small pictures; writePicture does not
// build them in one piece).
QByteArray encode(const QImage& picture);

// Writes the picture to a new file at path: never through a symbolic link and never over a
// file that is there already. The file's room on the disk is reserved before anything is
// written. Throws Failure naming the file and the system's reason, a WorkFolderFailure when the
// folder or its disk is the trouble (full, too large a file); nothing is left at path then.
void writePicture(const QString& path, const QImage& picture);

// Reads a picture file. A file this program wrote becomes the picture as it is, mapped into
// memory (the file may be deleted while the picture lives); any other picture file is read by
// the platform's readers. The size is checked against the bound, and the file's length against
// the size, before any memory is taken. Throws Failure naming the file and what is wrong.
QImage readPicture(const QString& path);

// A picture drawn straight into a new picture file at `path`, as writePicture would make it.
// While it is the renderer's picture source (render::PictureSourceScope), the first picture the
// renderer draws gets the file's rows as its memory: the file is made and recorded among the
// work files then. When it cannot be made, the failure is kept for throwFailure() and the
// picture is drawn in memory of its own.
class DrawnFile : public render::PictureSource {
public:
    explicit DrawnFile(QString path);
    // A file made for a picture that was not kept is deleted.
    ~DrawnFile() override;
    DrawnFile(const DrawnFile&) = delete;
    DrawnFile& operator=(const DrawnFile&) = delete;

    QImage newPicture(int width, int height, QImage::Format format) override;

    // True when `picture` is the one drawn into the file: the file gets its resolution and is
    // complete. Otherwise a file made for another picture is deleted at once.
    bool keep(const QImage& picture);
    // Throws what kept the file from being made, as writePicture would have; returns when
    // nothing did.
    void throwFailure() const;

private:
    QString m_path;
    std::weak_ptr<os::FileMapping> m_file; // the file in memory while its picture lives
    bool m_asked = false;
    bool m_made = false;
    bool m_kept = false;
    std::exception_ptr m_failure;
};

} // namespace picture_file
} // namespace markwell
