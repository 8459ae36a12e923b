#include "preview/ViewTransform.h"

#include "common/ErrorReport.h"

#include <cfenv>
#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace markwell::preview {

double nearest(double value) {
    // The default floating-point rounding mode rounds half to even; make sure of it here.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST) {
        std::fesetround(FE_TONEAREST);
    }
    const double r = std::nearbyint(value);
    if (mode != FE_TONEAREST) {
        std::fesetround(mode);
    }
    return r;
}

std::int16_t toInt16(double value) {
    const double r = nearest(value);
    if (!(r >= std::numeric_limits<std::int16_t>::min() && r <= std::numeric_limits<std::int16_t>::max())) {
        throw Failure(u"Overflow"_s);
    }
    return static_cast<std::int16_t>(r);
}

namespace {
std::int32_t toInt32(double value) {
    const double r = nearest(value);
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max())) {
        throw Failure(u"Overflow"_s);
    }
    return static_cast<std::int32_t>(r);
}
} // namespace

int twipsToPixels(double twips) {
    return static_cast<int>(nearest(twips / kTwipsPerPixel));
}

std::int32_t pixelsToTwips(int pixels) {
    return static_cast<std::int32_t>(pixels) * kTwipsPerPixel;
}

bool bitmapWithinLimit(std::int32_t widthTwips, std::int32_t heightTwips) {
    const std::int64_t w = twipsToPixels(widthTwips);
    const std::int64_t h = twipsToPixels(heightTwips);
    return w < kMaxBitmapSide && h < kMaxBitmapSide && w * h <= kMaxBitmapPixels;
}

BarSetup setupBar(std::int32_t displayOuter, std::int32_t viewportOuter) {
    BarSetup s;
    if (displayOuter <= viewportOuter) {
        return s;
    }
    const float overflow = static_cast<float>(displayOuter - viewportOuter);
    s.enabled = true;
    if (overflow <= 100.0f) {
        s.max = toInt16(overflow);
        s.step = 1;
        return s;
    }
    std::int16_t step = 10;
    while (nearest(overflow / step) > std::numeric_limits<std::int16_t>::max()) {
        step = static_cast<std::int16_t>(step * 10);
    }
    s.max = toInt16(overflow / step);
    s.step = step;
    return s;
}

ViewTransform::ViewTransform() {
    m_picture1.width = kDesignWidth;
    m_picture1.height = kDesignHeight;
}

void ViewTransform::handOver(std::optional<std::pair<std::int32_t, std::int32_t>> pictureTwips) {
    m_pictureTwips = pictureTwips;
    if (m_pictureTwips) {
        m_picture1.width = m_pictureTwips->first;
        m_picture1.height = m_pictureTwips->second;
    } else {
        m_picture1.width = kDesignWidth;
        m_picture1.height = kDesignHeight;
    }
    mFirstShow = true;
}

void ViewTransform::prepareSizes() {
    // The display box sizes itself to the picture it was given; the hidden copy takes that size.
    if (m_pictureTwips) {
        m_picture1.width = m_pictureTwips->first;
        m_picture1.height = m_pictureTwips->second;
    }
    m_zoomOri.width = m_picture1.width;
    m_zoomOri.height = m_picture1.height;
}

void ViewTransform::takeOriginalSizes() {
    // Zoom_Ori has no border: its drawing area is its outer size.
    mOrigWidth = toInt32(m_zoomOri.width - 2);
    mOrigHeight = toInt32(m_zoomOri.height - 2);
    mZoomWidth = static_cast<std::int32_t>(std::floor(mOrigWidth * 1.0));
    mZoomHeight = static_cast<std::int32_t>(std::floor(mOrigHeight * 1.0));
}

void ViewTransform::resetZoomAndSizes() {
    mZoom = 1.0f;
    takeOriginalSizes();
}

bool ViewTransform::beginRedraw() {
    const double w = std::floor(static_cast<double>(mZoom) * mOrigWidth);
    const double h = std::floor(static_cast<double>(mZoom) * mOrigHeight);
    const bool fits = w >= std::numeric_limits<std::int32_t>::min() && w <= std::numeric_limits<std::int32_t>::max() &&
                      h >= std::numeric_limits<std::int32_t>::min() && h <= std::numeric_limits<std::int32_t>::max();
    if (fits) {
        mZoomWidth = static_cast<std::int32_t>(w);
        mZoomHeight = static_cast<std::int32_t>(h);
    }
    if (!fits || !bitmapWithinLimit(mZoomWidth, mZoomHeight)) {
        mZoom = 1.0f;
        takeOriginalSizes();
        return false;
    }
    return true;
}

void ViewTransform::sizeDisplayToZoom() {
    m_picture1.width = mZoomWidth;
    m_picture1.height = mZoomHeight;
}

void ViewTransform::resetBarValues() {
    setBarValue(Bar::Horizontal, 0);
    setBarValue(Bar::Vertical, 0);
}

void ViewTransform::enableBarsByZoom() {
    m_hScroll.enabled = kViewportScaleWidth < mZoomWidth;
    m_vScroll.enabled = kViewportScaleHeight < mZoomHeight;
}

void ViewTransform::setupOneBar(Bar which) {
    const bool horizontal = which == Bar::Horizontal;
    ScrollBarState& bar = horizontal ? m_hScroll : m_vScroll;
    std::int16_t& step = horizontal ? mHStep : mVStep;
    const BarSetup s =
        horizontal ? setupBar(m_picture1.width, kViewportWidth) : setupBar(m_picture1.height, kViewportHeight);
    bar.enabled = s.enabled;
    step = s.step;
    if (!s.enabled) {
        return; // range and value stay as they are
    }
    bar.max = s.max;
    if (bar.value > bar.max) {
        setBarValue(which, bar.max);
    }
    setBarValue(which, 0);
}

void ViewTransform::setupScrollbars() {
    m_picture1.top = 0;
    m_picture1.left = 0;
    setupOneBar(Bar::Horizontal);
    setupOneBar(Bar::Vertical);
}

float ViewTransform::steppedZoom(float zoom, int direction) {
    return direction == 0 ? zoom + kZoomStep : zoom - kZoomStep;
}

bool ViewTransform::acceptZoom(float factor) {
    if (factor >= kMinZoom && factor <= kMaxZoom) {
        mZoom = factor;
        return true;
    }
    return false;
}

void ViewTransform::setBarValue(Bar which, std::int16_t value) {
    ScrollBarState& bar = which == Bar::Horizontal ? m_hScroll : m_vScroll;
    if (bar.value == value) {
        return;
    }
    bar.value = value;
    onBarChanged(which);
}

void ViewTransform::onBarChanged(Bar which) {
    // The position is the step times the value. It is formed wide: at high zoom a picture can
    // lie further out than a 16-bit product could say.
    if (which == Bar::Horizontal) {
        m_picture1.left = -(static_cast<std::int32_t>(mHStep) * m_hScroll.value);
    } else {
        m_picture1.top = -(static_cast<std::int32_t>(mVStep) * m_vScroll.value);
    }
}

void ViewTransform::setBarByPercent(Bar which, std::int16_t percent) {
    if (percent < 0) {
        return;
    }
    const ScrollBarState& bar = which == Bar::Horizontal ? m_hScroll : m_vScroll;
    const double p = static_cast<double>(percent) / 100.0 * bar.max;
    if (p <= bar.max) {
        setBarValue(which, toInt16(p));
    }
}

void ViewTransform::mouseDown(float x, float y) {
    mDragX = x;
    mDragY = y;
}

void ViewTransform::mouseMove(bool buttonDown, float x, float y) {
    if (!buttonDown) {
        return;
    }
    double newLeft = static_cast<double>(m_picture1.left) - mDragX + x;
    if (newLeft > 0) {
        newLeft = 0;
    } else if (kViewportScaleWidth - m_picture1.width > newLeft) {
        newLeft = kViewportScaleWidth - m_picture1.width;
    }
    double newTop = static_cast<double>(m_picture1.top) - mDragY + y;
    if (newTop > 0) {
        newTop = 0;
    } else if (kViewportScaleHeight - m_picture1.height > newTop) {
        newTop = kViewportScaleHeight - m_picture1.height;
    }
    m_picture1.left = toInt32(newLeft);
    m_picture1.top = toInt32(newTop);
}

std::optional<std::int32_t> ViewTransform::releasePercent(Bar which) const {
    const bool horizontal = which == Bar::Horizontal;
    const std::int32_t position = horizontal ? m_picture1.left : m_picture1.top;
    const std::int32_t span = horizontal ? m_picture1.width - kViewportWidth : m_picture1.height - kViewportHeight;
    if (span == 0) {
        return std::nullopt;
    }
    return toInt32(std::abs(static_cast<double>(position)) / span * 100.0);
}

} // namespace markwell::preview
