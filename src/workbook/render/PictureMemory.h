#pragma once

#include <QImage>

namespace markwell::render {

// A picture of width x height pixels in the given format, its content undefined, held in memory of
// its own that is ready at once (a picture of millions of pixels is drawn or read without the
// system supplying its memory page by page). Null when the memory cannot be had.
//
// While a PictureSourceScope lives on the calling thread, its source is asked first.
QImage newPicture(int width, int height, QImage::Format format);

// Memory for the pictures drawn on one thread from somewhere else than the process's own memory,
// such as the file a picture is to end up in, so that it is drawn there and not copied.
class PictureSource {
public:
    virtual ~PictureSource() = default;
    // A picture of exactly width x height pixels in `format` over the source's memory, or a null
    // image when the source has none for it (the picture then gets memory of its own).
    virtual QImage newPicture(int width, int height, QImage::Format format) = 0;
};

// Makes `source` the one newPicture asks on this thread while the scope lives.
class PictureSourceScope {
public:
    explicit PictureSourceScope(PictureSource& source);
    ~PictureSourceScope();
    PictureSourceScope(const PictureSourceScope&) = delete;
    PictureSourceScope& operator=(const PictureSourceScope&) = delete;

private:
    PictureSource* m_previous;
};

} // namespace markwell::render
