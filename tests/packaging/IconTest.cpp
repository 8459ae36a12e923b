// The application icon compiled into the program: every size desktop environments ask for, drawn.

#include "shell/AppIcon.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

TEST(ApplicationIcon, HasEveryRenderedSize) {
    const QIcon icon = markwell::applicationIcon();
    ASSERT_FALSE(icon.isNull());
    QList<QSize> expected;
    for (int size : markwell::applicationIconSizes()) {
        expected << QSize(size, size);
    }
    EXPECT_EQ(icon.availableSizes(), expected);
    EXPECT_EQ(markwell::applicationIconSizes(), (QList<int>{16, 24, 32, 48, 64, 128, 256}));

    for (int size : markwell::applicationIconSizes()) {
        const QImage image = icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(size, size));
        // A page on a transparent background: opaque middle, clear corner.
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
    }
}

} // namespace
