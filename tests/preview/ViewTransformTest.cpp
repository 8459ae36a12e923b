#include "preview/ViewTransform.h"

#include "app/ErrorReport.h"

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

// A zoom step as the window takes it: redraw, then the bars follow the new size.
bool zoomTo(ViewTransform& v, float factor) {
    if (!v.acceptZoom(factor)) {
        return false;
    }
    if (v.beginRedraw()) {
        v.sizeDisplayToZoom();
        v.resetBarValues();
        v.enableBarsByZoom();
        v.setupScrollbars();
    }
    return true;
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

TEST(ViewTransformPreparation, FitsAndOverflowsAndNewSnapshotsStartAfresh) {
    // 300 x 200 pixels fits the viewport: both bars off.
    ViewTransform small = prepared(300 * 15, 200 * 15);
    EXPECT_EQ(small.zoom(), 1.0f);
    EXPECT_EQ(small.original().width, 4500);
    EXPECT_EQ(small.origWidth(), 4498);
    EXPECT_EQ(small.origHeight(), 2998);
    EXPECT_EQ(small.display().width, 4498);
    EXPECT_EQ(small.display().height, 2998);
    EXPECT_EQ(small.display().left, 0);
    EXPECT_FALSE(small.bar(Bar::Horizontal).enabled);
    EXPECT_FALSE(small.bar(Bar::Vertical).enabled);
    EXPECT_EQ(small.hStep(), 0);
    EXPECT_FALSE(small.firstShow());

    // 2000 x 900 pixels overflows both ways by more than 100 twips.
    ViewTransform big = prepared(2000 * 15, 900 * 15);
    EXPECT_EQ(big.bar(Bar::Horizontal).max, 2067); // (29998 - 9330) / 10 = 2066.8
    EXPECT_EQ(big.bar(Bar::Vertical).max, 607);    // (13498 - 7425) / 10 = 607.3
    EXPECT_EQ(big.hStep(), 10);
    EXPECT_EQ(big.vStep(), 10);

    // A second snapshot after zooming and panning starts again from zoom 1.0 at the corner.
    ASSERT_TRUE(zoomTo(big, 1.5f));
    big.setBarValue(Bar::Vertical, 100);
    big.handOver(std::make_pair(300 * 15, 200 * 15));
    EXPECT_TRUE(big.firstShow());
    big.prepareSizes();
    big.resetZoomAndSizes();
    ASSERT_TRUE(big.beginRedraw());
    big.sizeDisplayToZoom();
    big.resetBarValues();
    big.enableBarsByZoom();
    big.setupScrollbars();
    EXPECT_EQ(big.zoom(), 1.0f);
    EXPECT_EQ(big.display().width, 4498);
    EXPECT_EQ(big.display().top, 0);
    EXPECT_FALSE(big.bar(Bar::Vertical).enabled);

    // No picture: the design size, less the two twips.
    ViewTransform none;
    none.handOver(std::nullopt);
    none.prepareSizes();
    none.resetZoomAndSizes();
    EXPECT_EQ(none.origWidth(), ViewTransform::kDesignWidth - 2);
    EXPECT_EQ(none.origHeight(), ViewTransform::kDesignHeight - 2);
}

TEST(ViewTransformZoom, QuarterStepsBetweenTheEnds) {
    ViewTransform v = prepared(300 * 15, 200 * 15);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(zoomTo(v, ViewTransform::steppedZoom(v.zoom(), 1)));
    }
    EXPECT_EQ(v.zoom(), 0.25f);
    EXPECT_EQ(v.display().width, 1124); // floor(0.25 * 4498)
    EXPECT_FALSE(zoomTo(v, ViewTransform::steppedZoom(v.zoom(), 1)));
    EXPECT_EQ(v.zoom(), 0.25f);

    ViewTransform w = prepared(300 * 15, 200 * 15);
    int steps = 0;
    while (zoomTo(w, ViewTransform::steppedZoom(w.zoom(), 0))) {
        ++steps;
        ASSERT_LE(steps, 11);
    }
    EXPECT_EQ(steps, 11);
    EXPECT_EQ(w.zoom(), 3.75f);
    EXPECT_EQ(w.display().width, 16867); // floor(3.75 * 4498)
    // The bars now describe the zoomed picture.
    EXPECT_TRUE(w.bar(Bar::Horizontal).enabled);
    EXPECT_EQ(w.bar(Bar::Horizontal).max, 754);            // (16867 - 9330) / 10 = 753.7
    EXPECT_EQ(ViewTransform::steppedZoom(0.25f, 7), 0.0f); // any direction but 0 zooms out
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
    EXPECT_TRUE(zoomTo(sheet, 1.25f));
    EXPECT_EQ(sheet.zoom(), 1.25f);

    // 9000 pixels wide: 3.5 still draws, 3.75 does not and the factor goes back to 1.0 with the
    // picture, its size and the bars as they were.
    ViewTransform v = prepared(9000 * 15, 10 * 15);
    ASSERT_TRUE(zoomTo(v, 3.5f));
    v.setBarValue(Bar::Horizontal, 5);
    const Box before = v.display();
    const ScrollBarState bar = v.bar(Bar::Horizontal);
    ASSERT_TRUE(v.acceptZoom(3.75f));
    EXPECT_FALSE(v.beginRedraw());
    EXPECT_EQ(v.zoom(), 1.0f);
    EXPECT_EQ(v.zoomWidth(), 9000 * 15 - 2);
    EXPECT_EQ(v.display().width, before.width);
    EXPECT_EQ(v.display().left, before.left);
    EXPECT_EQ(v.bar(Bar::Horizontal).value, bar.value);
    EXPECT_EQ(v.bar(Bar::Horizontal).max, bar.max);
    // The next step starts again from 1.0.
    EXPECT_TRUE(zoomTo(v, ViewTransform::steppedZoom(v.zoom(), 0)));
    EXPECT_EQ(v.zoom(), 1.25f);
}

TEST(ViewTransformDrag, ClampsForLargeAndSmallPictures) {
    // Larger than the viewport: the grab point follows the pointer; the picture's left and top
    // edges never come inside, the right and bottom stop at the inner edges.
    ViewTransform big = prepared(2000 * 15, 900 * 15);
    big.mouseDown(3000, 3000);
    big.mouseMove(true, 2850, 2700);
    EXPECT_EQ(big.display().left, -150);
    EXPECT_EQ(big.display().top, -300);
    big.mouseMove(false, 0, 0); // no button: nothing
    EXPECT_EQ(big.display().left, -150);
    big.mouseMove(true, -100000, -100000);
    EXPECT_EQ(big.display().left, ViewTransform::kViewportScaleWidth - big.display().width);
    EXPECT_EQ(big.display().top, ViewTransform::kViewportScaleHeight - big.display().height);
    big.mouseDown(0, 0);
    big.mouseMove(true, 100000, 100000);
    EXPECT_EQ(big.display().left, 0);
    EXPECT_EQ(big.display().top, 0);

    // Smaller: a drag to the left or up lands on the far inner edge, a drag the other way on 0.
    ViewTransform small = prepared(300 * 15, 200 * 15);
    small.mouseDown(600, 600);
    small.mouseMove(true, 300, 300);
    EXPECT_EQ(small.display().left, ViewTransform::kViewportScaleWidth - 4498);
    EXPECT_EQ(small.display().top, ViewTransform::kViewportScaleHeight - 2998);
    small.mouseDown(600, 600);
    small.mouseMove(true, 900, 900);
    EXPECT_EQ(small.display().left, 0);
    EXPECT_EQ(small.display().top, 0);
}

TEST(ViewTransformRelease, PercentagesSyncTheBarsOrLeaveThem) {
    // Far left and up: the clamp uses the inner size, the percentage the outer one, so a small
    // overflow comes out above 100 and the bars stay where they are.
    ViewTransform edge = prepared(700 * 15, 520 * 15);
    edge.mouseDown(0, 0);
    edge.mouseMove(true, -100000, -100000);
    const Box far = edge.display();
    EXPECT_EQ(far.left, ViewTransform::kViewportScaleWidth - 10498);
    const auto h = edge.releasePercent(Bar::Horizontal);
    const auto v = edge.releasePercent(Bar::Vertical);
    ASSERT_TRUE(h && v);
    EXPECT_EQ(*h, 103); // 1198 / 1168
    EXPECT_EQ(*v, 108); // 403 / 373
    edge.setBarByPercent(Bar::Horizontal, toInt16(*h));
    edge.setBarByPercent(Bar::Vertical, toInt16(*v));
    EXPECT_EQ(edge.bar(Bar::Horizontal).value, 0);
    EXPECT_EQ(edge.bar(Bar::Vertical).value, 0);
    EXPECT_EQ(edge.display().left, far.left);
    EXPECT_EQ(edge.display().top, far.top);

    // On a large overflow the far edge rounds to 100: the bar goes to its end.
    ViewTransform big = prepared(2000 * 15, 900 * 15);
    big.mouseDown(0, 0);
    big.mouseMove(true, -100000, 0);
    big.setBarByPercent(Bar::Horizontal, toInt16(*big.releasePercent(Bar::Horizontal)));
    EXPECT_EQ(big.bar(Bar::Horizontal).value, 2067);
    EXPECT_EQ(big.display().left, -20670);

    // Half way: the bar takes the nearest value and the picture settles on it.
    big.mouseDown(0, 0);
    big.mouseMove(true, 100000, 100000);
    big.mouseDown(0, 0);
    big.mouseMove(true, -10334, 0); // half of the 20668 twips overflow
    const auto half = big.releasePercent(Bar::Horizontal);
    ASSERT_TRUE(half);
    EXPECT_EQ(*half, 50);
    big.setBarByPercent(Bar::Horizontal, toInt16(*half));
    EXPECT_EQ(big.bar(Bar::Horizontal).value, 1034); // nearest(0.5 * 2067) = 1034 (1033.5, to even)
    EXPECT_EQ(big.display().left, -10340);

    // A value that does not change raises nothing: the picture stays where the drag left it.
    big.mouseDown(0, 0);
    big.mouseMove(true, 3, 0);
    big.setBarByPercent(Bar::Horizontal, 50);
    EXPECT_EQ(big.display().left, -10337);

    // Narrower than the viewport: a negative percentage leaves the bar alone.
    ViewTransform small = prepared(300 * 15, 200 * 15);
    small.mouseDown(600, 600);
    small.mouseMove(true, 300, 300);
    const auto neg = small.releasePercent(Bar::Horizontal);
    ASSERT_TRUE(neg);
    EXPECT_LT(*neg, 0);
    small.setBarByPercent(Bar::Horizontal, toInt16(*neg));
    EXPECT_EQ(small.bar(Bar::Horizontal).value, 0);
    EXPECT_EQ(small.display().left, ViewTransform::kViewportScaleWidth - 4498);

    // Exactly as wide as the viewport: no percentage at all (the bar is disabled).
    ViewTransform exact = prepared(ViewTransform::kViewportWidth + 2, 100);
    EXPECT_FALSE(exact.bar(Bar::Horizontal).enabled);
    EXPECT_FALSE(exact.releasePercent(Bar::Horizontal).has_value());
}
