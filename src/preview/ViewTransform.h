#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace markwell::preview {

// All lengths here are twips (1/1440 inch), the unit the preview window is laid out in. The
// widgets convert at 15 twips a pixel.
inline constexpr int kTwipsPerPixel = 15;

// Nearest whole number, a tie going to the even neighbour.
double nearest(double value);

// The 16-bit conversion of a value already rounded: throws Failure("Overflow") outside
// -32768..32767.
std::int16_t toInt16(double value);

// Twips to whole pixels (nearest) and back.
int twipsToPixels(double twips);
std::int32_t pixelsToTwips(int pixels);

// The display bitmap may be drawn only while each side stays below 32767 pixels and the whole
// bitmap holds at most 64 million pixels.
inline constexpr int kMaxBitmapSide = 32767;
inline constexpr std::int64_t kMaxBitmapPixels = 64'000'000;
bool bitmapWithinLimit(std::int32_t widthTwips, std::int32_t heightTwips);

// Position and outer size of a picture box inside its container.
struct Box {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct ScrollBarState {
    bool enabled = false;
    std::int16_t max = 0;
    std::int16_t value = 0;
};

// How one scroll bar is set up for a display box of `displayOuter` twips in a viewport of
// `viewportOuter` twips: disabled with step 0 when the box fits; otherwise one twip a unit up
// to an overflow of 100 twips and ten twips a unit beyond. Where ten twips a unit would need
// more units than a bar can hold, the step grows tenfold until they fit, so the bar still
// reaches the far edge.
struct BarSetup {
    bool enabled = false;
    std::int16_t max = 0; // meaningful only when enabled
    std::int16_t step = 0;
};
BarSetup setupBar(std::int32_t displayOuter, std::int32_t viewportOuter);

// The zoom range: quarter steps from 0.25 to 3.75.
inline constexpr float kMinZoom = 0.25f;
inline constexpr float kMaxZoom = 3.75f;
inline constexpr float kZoomStep = 0.25f;

// The zoom, pan and scroll state of the preview window, with the window's routines that act on
// it. Picture1 is the display box, moved inside the viewport Picture2 to pan; Zoom_Ori holds the
// unscaled copy. The painting itself is done by the window.
class ViewTransform {
public:
    enum class Bar { Horizontal, Vertical };

    // The viewport: outer size as laid out, a one-pixel border each side.
    static constexpr std::int32_t kViewportWidth = 9330;
    static constexpr std::int32_t kViewportHeight = 7425;
    static constexpr std::int32_t kViewportBorder = kTwipsPerPixel;
    static constexpr std::int32_t kViewportScaleWidth = kViewportWidth - 2 * kViewportBorder;
    static constexpr std::int32_t kViewportScaleHeight = kViewportHeight - 2 * kViewportBorder;
    // The display box's size as designed, kept while no picture has been handed over.
    static constexpr std::int32_t kDesignWidth = 2340;
    static constexpr std::int32_t kDesignHeight = 3435;

    ViewTransform();

    // A new snapshot of `widthTwips` x `heightTwips`, or none. The display box sizes itself to
    // it (or returns to its design size) and the next activation prepares it afresh.
    void handOver(std::optional<std::pair<std::int32_t, std::int32_t>> pictureTwips);

    // First-show preparation, the steps before and after the redraw.
    void prepareSizes();      // display box to the picture, Zoom_Ori to the display box
    void resetZoomAndSizes(); // zoom 1.0, original and zoomed sizes from Zoom_Ori
    void markFirstShow() { mFirstShow = true; }
    void finishPreparation() { mFirstShow = false; }

    // RedrawImage, split around the painting. beginRedraw computes the zoomed size; outside the
    // size limit it puts the zoom back to 1.0 and returns false: nothing is to be drawn.
    bool beginRedraw();
    void sizeDisplayToZoom();
    void resetBarValues();
    void enableBarsByZoom();

    void setupScrollbars();

    // SetZoom's test: a factor inside 0.25..3.75 becomes the zoom and true is returned.
    bool acceptZoom(float factor);
    static float steppedZoom(float zoom, int direction);

    // A scroll bar's value as the user or the program sets it; raises the change handler when
    // the value differs.
    void setBarValue(Bar bar, std::int16_t value);
    void setBarByPercent(Bar bar, std::int16_t percent);

    // Dragging the picture: press, move with a button down, release. Coordinates are in the
    // display box's own drawing coordinates.
    void mouseDown(float x, float y);
    void mouseMove(bool buttonDown, float x, float y);
    // The release percentages; empty when the box is exactly as large as the viewport that way
    // (the bar is disabled then and stays as it is).
    std::optional<std::int32_t> releasePercent(Bar bar) const;

    bool firstShow() const { return mFirstShow; }
    float zoom() const { return mZoom; }
    std::int32_t origWidth() const { return mOrigWidth; }
    std::int32_t origHeight() const { return mOrigHeight; }
    std::int32_t zoomWidth() const { return mZoomWidth; }
    std::int32_t zoomHeight() const { return mZoomHeight; }
    std::int16_t hStep() const { return mHStep; }
    std::int16_t vStep() const { return mVStep; }
    const Box& display() const { return m_picture1; }
    const Box& original() const { return m_zoomOri; }
    const ScrollBarState& bar(Bar which) const { return which == Bar::Horizontal ? m_hScroll : m_vScroll; }
    bool hasPicture() const { return m_pictureTwips.has_value(); }

private:
    void onBarChanged(Bar bar);
    void takeOriginalSizes();
    void setupOneBar(Bar bar);

    std::optional<std::pair<std::int32_t, std::int32_t>> m_pictureTwips;
    Box m_picture1;
    Box m_zoomOri;
    ScrollBarState m_hScroll;
    ScrollBarState m_vScroll;
    bool mFirstShow = true;
    float mZoom = 1.0f;
    std::int32_t mOrigWidth = 0;
    std::int32_t mOrigHeight = 0;
    std::int32_t mZoomWidth = 0;
    std::int32_t mZoomHeight = 0;
    std::int16_t mHStep = 0;
    std::int16_t mVStep = 0;
    float mDragX = 0.0f;
    float mDragY = 0.0f;
};

} // namespace markwell::preview
