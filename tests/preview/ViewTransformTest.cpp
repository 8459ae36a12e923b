#include "preview/ViewTransform.h"

#include "common/ErrorReport.h"

#include <gtest/gtest.h>

using namespace markwell;
using namespace markwell::preview;
using Bar = ViewTransform::Bar;

namespace {

// The preparation the window runs when it first becomes active, on a picture of the given size
// in twips.
ViewTransform prepared(std::int32_t widthTwips, std::int32_t heightTwips) {
    ViewTransform v;
    v.handOver(std::make_pair(widthTwips, heightTwips));
    v.prepareSizes();
    v.resetZoomAndSizes();
    if (v.beginRedraw()) {
        v.sizeDisplayToZoom();
        v.resetBarValues();
        v.enableBarsByZoom();
    }
    v.setupScrollbars();
    v.finishPreparation();
    return v;
}

} // namespace

TEST(ViewTransformRounding, NearestGoesToEvenAndSixteenBitsOverflow) {
    EXPECT_EQ(nearest(0.5), 0.0);
    EXPECT_EQ(nearest(1.5), 2.0);
    EXPECT_EQ(nearest(2.5), 2.0);
    EXPECT_EQ(nearest(-2.5), -2.0);
    EXPECT_EQ(nearest(2.51), 3.0);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_EQ(toInt16(-32768.0), -32768);
    EXPECT_THROW(toInt16(32767.5), Failure);
    EXPECT_THROW(toInt16(-32769.0), Failure);
    EXPECT_EQ(twipsToPixels(4498), 300); // a 300-pixel picture less the two twips
    EXPECT_EQ(twipsToPixels(-1198), -80);
}

TEST(ViewTransformScrollbars, RangesAndStepsFollowTheOverflow) {
    struct Case {
        std::int32_t overflow;
        bool enabled;
        int max;
        int step;
    };
    const Case cases[] = {
        {-500, false, 0, 0},       {0, false, 0, 0},          {1, true, 1, 1},           {100, true, 100, 1},
        {101, true, 10, 10},       {105, true, 10, 10},       {115, true, 12, 10},       {1234, true, 123, 10},
        {327670, true, 32767, 10}, {327680, true, 3277, 100}, {500000, true, 5000, 100},
    };
    for (const Case& c : cases) {
        const BarSetup s = setupBar(ViewTransform::kViewportWidth + c.overflow, ViewTransform::kViewportWidth);
        EXPECT_EQ(s.enabled, c.enabled) << c.overflow;
        EXPECT_EQ(s.step, c.step) << c.overflow;
        if (c.enabled) {
            EXPECT_EQ(s.max, c.max) << c.overflow;
        }
    }
}

TEST(ViewTransformScrollbars, LastPositionOfA1234TwipOverflowAndWideProducts) {
    ViewTransform v = prepared(ViewTransform::kViewportWidth + 1234 + 2, 3000);
    EXPECT_EQ(v.display().width, ViewTransform::kViewportWidth + 1234);
    EXPECT_EQ(v.bar(Bar::Horizontal).max, 123);
    EXPECT_EQ(v.hStep(), 10);
    EXPECT_FALSE(v.bar(Bar::Vertical).enabled);
    EXPECT_EQ(v.vStep(), 0);
    v.setBarValue(Bar::Horizontal, 123);
    EXPECT_EQ(v.display().left, -1230);
    v.setBarValue(Bar::Horizontal, 0);
    EXPECT_EQ(v.display().left, 0);

    // Far out on a wide picture the position passes what 16 bits hold; it must still be right.
    ViewTransform wide = prepared(80000, 3000);
    ASSERT_EQ(wide.hStep(), 10);
    wide.setBarValue(Bar::Horizontal, wide.bar(Bar::Horizontal).max);
    EXPECT_EQ(wide.display().left, -10 * wide.bar(Bar::Horizontal).max);
    EXPECT_LT(wide.display().left, -32768);
}

TEST(ViewTransformZoom, SizeLimitBoundsTheBitmap) {
    // Each side below 32767 pixels, at most 64 million pixels.
    EXPECT_TRUE(bitmapWithinLimit(32766 * 15, 10 * 15));
    EXPECT_FALSE(bitmapWithinLimit(32767 * 15, 10 * 15));
    EXPECT_FALSE(bitmapWithinLimit(10 * 15, 32767 * 15));
    EXPECT_TRUE(bitmapWithinLimit(8000 * 15, 8000 * 15));
    EXPECT_FALSE(bitmapWithinLimit(8000 * 15, 8001 * 15));
    // A real sheet much taller than 5500 twips still zooms in.
    ViewTransform sheet = prepared(1200 * 15, 700 * 15);
    ASSERT_TRUE(sheet.acceptZoom(1.25f));
    EXPECT_TRUE(sheet.beginRedraw());
    EXPECT_EQ(sheet.zoomHeight(), 13122); // floor(1.25 * 10498)
}

TEST(ViewTransformRelease, NegativeAndUndefinedPercentagesLeaveTheBar) {
    // Narrower than the viewport: dragged to the far inner edge, the percentage is negative.
    ViewTransform small = prepared(300 * 15, 200 * 15);
    small.mouseDown(600, 600);
    small.mouseMove(true, 300, 300);
    const auto neg = small.releasePercent(Bar::Horizontal);
    ASSERT_TRUE(neg);
    EXPECT_LT(*neg, 0);
    small.setBarByPercent(Bar::Horizontal, toInt16(*neg));
    EXPECT_EQ(small.bar(Bar::Horizontal).value, 0);
    EXPECT_EQ(small.display().left, ViewTransform::kViewportScaleWidth - 4498);

    // Exactly as wide as the viewport: the bar is off and there is no percentage to divide out.
    ViewTransform exact = prepared(ViewTransform::kViewportWidth + 2, 100);
    EXPECT_FALSE(exact.bar(Bar::Horizontal).enabled);
    EXPECT_FALSE(exact.releasePercent(Bar::Horizontal).has_value());

    // A percentage that leaves the value as it is raises nothing: the picture stays put.
    ViewTransform big = prepared(2000 * 15, 900 * 15);
    big.mouseDown(0, 0);
    big.mouseMove(true, -7, 0);
    big.setBarByPercent(Bar::Horizontal, 0);
    EXPECT_EQ(big.display().left, -7);
}
