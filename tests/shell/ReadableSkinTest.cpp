// Contrast as WCAG measures it, grounds and focus markers under the user's scheme, pointer scale.

#include "shell/Skin.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionFocusRect>

#include <gtest/gtest.h>

using namespace markwell;

namespace {

// The schemes a teacher may use: the default light one, a high-contrast one and a dark one.
struct Scheme {
    const char* name;
    QColor window, text, highlight;
};
const Scheme kSchemes[] = {
    {"light", QColor(239, 239, 239), QColor(0, 0, 0), QColor(48, 140, 198)},
    {"high contrast", QColor(0, 0, 0), QColor(255, 255, 255), QColor(26, 235, 255)},
    {"dark", QColor(45, 45, 45), QColor(220, 220, 220), QColor(42, 130, 218)},
};

QPalette paletteOf(const Scheme& s) {
    QPalette p(s.window);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(role, s.text);
    }
    p.setColor(QPalette::Base, s.window);
    p.setColor(QPalette::Highlight, s.highlight);
    return p;
}

} // namespace

TEST(ReadableSkin, ContrastIsMeasuredAsWcagDoes) {
    struct Case {
        QColor a, b;
        double ratio;
    };
    const Case cases[] = {
        {Qt::black, Qt::white, 21.0},
        {Qt::white, Qt::white, 1.0},
        {QColor(118, 118, 118), Qt::white, 4.54}, // the lightest grey readable on white
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(contrastRatio(c.a, c.b), c.ratio, 0.01) << c.a.name().toStdString();
    }
}

TEST(ReadableSkin, TheGroundAndTheFocusMarkerFollowTheScheme) {
    QApplication::setStyle(u"Fusion"_qs);
    useClearFocusMarkers(*qApp);
    for (const Scheme& s : kSchemes) {
        const QPalette palette = paletteOf(s);
        // The designed white stays only where the user's text is readable on it.
        const QColor ground = readableGround(palette, Qt::white);
        EXPECT_GE(contrastRatio(ground, s.text), 4.5) << s.name;
        EXPECT_EQ(ground == QColor(Qt::white), s.text == QColor(Qt::black)) << s.name;

        // A focused row or tab on the window's ground or on a selected row's highlight.
        for (const QColor& under : {s.window, s.highlight}) {
            QImage image(40, 20, QImage::Format_RGB32);
            image.fill(under);
            QStyleOptionFocusRect option;
            option.rect = image.rect();
            option.palette = palette;
            option.backgroundColor = under;
            QPainter painter(&image);
            QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter);
            painter.end();
            const QColor marker = image.pixelColor(0, 10);
            EXPECT_GE(contrastRatio(marker, under), 3.0) << s.name;
            for (const QPoint p : {QPoint(1, 10), QPoint(38, 10), QPoint(39, 10), QPoint(20, 0), QPoint(20, 19)}) {
                EXPECT_EQ(image.pixelColor(p), marker) << s.name << " at " << p.x() << "," << p.y();
            }
            EXPECT_EQ(image.pixelColor(2, 10), under) << s.name; // two pixels wide, no more
        }
    }
}

TEST(ReadableSkin, TheCustomPointerGrowsWithTheScreensScale) {
    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(Qt::black);
    for (const qreal ratio : {1.0, 1.5, 2.0}) {
        const QCursor cursor = scaledCursor(hand, QPoint(9, 3), ratio);
        EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32) * ratio) << ratio;
        EXPECT_DOUBLE_EQ(cursor.pixmap().devicePixelRatio(), ratio);
        EXPECT_EQ(cursor.hotSpot(), QPoint(9, 3)) << ratio;
    }
}
