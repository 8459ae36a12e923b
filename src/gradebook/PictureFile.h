#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

namespace markwell {

// The picture of the filled sheet on its way from the snapshot to the preview: the work file
// "temp.bmp". It is an ordinary 32-bit top-down BMP that any picture viewer opens, laid out as
// the picture is held in memory, so that it is written and read back in one block each.
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
// file that is there already. Throws Failure naming the file and the system's reason, a
// WorkFolderFailure when the folder or its disk is the trouble.
void writePicture(const QString& path, const QImage& picture);

// Reads a picture file. A file this program wrote is read straight into the picture; any other
// picture file is read by the platform's readers. The size is checked against the bound before
// any memory is taken. Throws Failure naming the file and what is wrong.
QImage readPicture(const QString& path);

} // namespace picture_file
} // namespace markwell
