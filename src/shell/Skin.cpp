#include "shell/Skin.h"

#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "os/Files.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStyleOptionFocusRect>
#include <QWidget>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

constexpr const char* kPictureBoxProperty = "markwellPictureBox";

// The system colour for button faces, taken from the palette so it follows the user's scheme.
QColor buttonFaceColour() {
    return QPalette().color(QPalette::Button);
}

void setBackground(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

bool isPictureBox(const QWidget* w) {
    return w->property(kPictureBoxProperty).toBool();
}

bool isPlainControl(const QWidget* w, bool includePictureBoxes) {
    if (qobject_cast<const QRadioButton*>(w) || qobject_cast<const QCheckBox*>(w) ||
        qobject_cast<const QGroupBox*>(w)) {
        return true;
    }
    if (isPictureBox(w)) {
        return includePictureBoxes;
    }
    return qobject_cast<const QLabel*>(w) != nullptr;
}

void recolour(QWidget& window, bool includePictureBoxes) {
    const QColor face = buttonFaceColour();
    setBackground(&window, face);
    const auto children = window.findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (isPlainControl(child, includePictureBoxes)) {
            setBackground(child, face);
        }
    }
}

class HoverFilter : public QObject {
public:
    HoverFilter(QObject* parent, WindowPointer& pointer, bool hover)
        : QObject(parent), m_pointer(pointer), m_hover(hover) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter ||
            event->type() == QEvent::HoverMove) {
            // A move that a child passed up belongs to the child's own rule, not to this element.
            auto* widget = qobject_cast<QWidget*>(watched);
            std::optional<QPoint> at;
            if (auto* mouse = dynamic_cast<QMouseEvent*>(event)) {
                at = mouse->position().toPoint();
            } else if (auto* hover = dynamic_cast<QHoverEvent*>(event)) {
                at = hover->position().toPoint();
            }
            if (widget != nullptr && at && widget->childAt(*at) != nullptr) {
                return QObject::eventFilter(watched, event);
            }
            if (m_hover) {
                SetHoverPointer(m_pointer);
            } else {
                SetPlainPointer(m_pointer);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    WindowPointer& m_pointer;
    bool m_hover;
};

// Every focus frame drawn as a solid marker that stands out from what it is drawn on.
class FocusMarkerStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element != PE_FrameFocusRect) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const auto* frame = qstyleoption_cast<const QStyleOptionFocusRect*>(option);
        const QColor ground = frame != nullptr && frame->backgroundColor.isValid()
                                  ? frame->backgroundColor
                                  : option->palette.color(QPalette::Window);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(Qt::NoPen);
        painter->setBrush(focusMarkerColour(option->palette, ground));
        const QRect r = option->rect;
        const int w = std::min({kFocusMarkerWidth, r.width() / 2, r.height() / 2});
        painter->drawRect(QRect(r.left(), r.top(), r.width(), w));
        painter->drawRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w));
        painter->drawRect(QRect(r.left(), r.top() + w, w, r.height() - 2 * w));
        painter->drawRect(QRect(r.right() - w + 1, r.top() + w, w, r.height() - 2 * w));
        painter->restore();
    }
};

constexpr const char* kWindowProperty = "markwellWindow";

QAccessibleInterface* windowAccessible(const QString& /*key*/, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget != nullptr && widget->isWindow() && widget->property(kWindowProperty).toBool()) {
        return new QAccessibleWidget(widget, QAccessible::Window);
    }
    return nullptr;
}

double channelLuminance(double value) {
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    const QColor rgb = c.toRgb();
    return 0.2126 * channelLuminance(rgb.redF()) + 0.7152 * channelLuminance(rgb.greenF()) +
           0.0722 * channelLuminance(rgb.blueF());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableGround(const QPalette& palette, const QColor& designed) {
    constexpr double kReadableText = 4.5;
    return contrastRatio(designed, palette.color(QPalette::WindowText)) >= kReadableText
               ? designed
               : palette.color(QPalette::Window);
}

QColor focusMarkerColour(const QPalette& palette, const QColor& ground) {
    constexpr double kVisibleMarker = 3.0;
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::Text, QPalette::WindowText}) {
        if (contrastRatio(palette.color(role), ground) >= kVisibleMarker) {
            return palette.color(role);
        }
    }
    // One of black and white always stands out by at least 4.5:1.
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(black, ground) >= contrastRatio(white, ground) ? black : white;
}

void useClearFocusMarkers(QApplication& application) {
    if (dynamic_cast<FocusMarkerStyle*>(application.style()) == nullptr) {
        QApplication::setStyle(new FocusMarkerStyle(application.style()->name()));
    }
}

void exposeAsWindow(QWidget& window, const QString& name, const QString& description) {
    static const bool installed = [] {
        QAccessible::installFactory(windowAccessible);
        return true;
    }();
    (void)installed;
    window.setProperty(kWindowProperty, true);
    window.setAccessibleName(name);
    window.setAccessibleDescription(description);
}

void WindowPointer::setState(State state) {
    m_state = state;
    m_window.setCursor(cursorFor(state));
}

void WindowPointer::setCustomCursor(const QImage& image, QPoint hotSpot) {
    m_custom = image;
    m_hotSpot = hotSpot;
}

QCursor scaledCursor(const QImage& image, QPoint hotSpot, qreal pixelRatio) {
    if (pixelRatio <= 1.0) {
        return QCursor(QPixmap::fromImage(image), hotSpot.x(), hotSpot.y());
    }
    const QSize device(static_cast<int>(std::lround(image.width() * pixelRatio)),
                       static_cast<int>(std::lround(image.height() * pixelRatio)));
    QPixmap pixmap = QPixmap::fromImage(image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(pixelRatio);
    return QCursor(pixmap, hotSpot.x(), hotSpot.y());
}

QCursor WindowPointer::cursorFor(State state) const {
    switch (state) {
    case State::Busy:
        return QCursor(Qt::WaitCursor);
    case State::Custom:
        if (m_custom.isNull()) {
            return QCursor(Qt::PointingHandCursor);
        }
        return scaledCursor(m_custom, m_hotSpot, m_window.devicePixelRatioF());
    case State::Default:
        break;
    }
    return QCursor(Qt::ArrowCursor);
}

QString skinFilePath(const QString& programFolder) {
    return findProgramFile(programFolder, u"x/o.cjs"_s);
}

QString cursorFilePath(const QString& programFolder) {
    return findProgramFile(programFolder, u"HAND-M.CUR"_s);
}

bool ApplySkin(QWidget& mainWindow, const QString& programFolder) {
    // Only a normal, visible file counts; folders and hidden files do not.
    const QFileInfo skin(skinFilePath(programFolder));
    if (!skin.exists() || !skin.isFile() || skin.isHidden()) {
        return false;
    }
    recolour(mainWindow, true);
    return true;
}

void PaintButtonFace(QWidget& window) {
    recolour(window, false);
}

void SetHoverPointer(WindowPointer& pointer) {
    if (pointer.state() != WindowPointer::State::Busy) {
        pointer.setState(WindowPointer::State::Custom);
    }
}

void SetPlainPointer(WindowPointer& pointer) {
    if (pointer.state() != WindowPointer::State::Busy) {
        pointer.setState(WindowPointer::State::Default);
    }
}

void installHoverRule(QWidget* element, WindowPointer& pointer, bool hover) {
    element->setMouseTracking(true);
    element->installEventFilter(new HoverFilter(element, pointer, hover));
}

std::optional<CursorImage> decodeCursorFile(const QByteArray& bytes, QString* error) {
    auto refuse = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    // The directory: reserved 0, type (1 icon, 2 cursor), picture count; then one 16-byte entry
    // per picture, whose fields 4 and 6 hold a cursor's hot spot (little-endian).
    auto word = [&bytes](qsizetype at) {
        return static_cast<int>(static_cast<unsigned char>(bytes[at])) |
               static_cast<int>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    constexpr qsizetype kDirectorySize = 6;
    constexpr qsizetype kEntrySize = 16;
    if (bytes.size() < kDirectorySize + kEntrySize || word(0) != 0 || (word(2) != 1 && word(2) != 2) || word(4) < 1) {
        return refuse(u"it is not a cursor file"_s);
    }
    const bool isCursor = word(2) == 2;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, isCursor ? "cur" : "ico");
    QImage image = reader.read();
    if (image.isNull()) {
        return refuse(u"its picture cannot be read (%1)"_s.arg(reader.errorString()));
    }
    QPoint hotSpot(image.width() / 2, image.height() / 2);
    if (isCursor) {
        // The reader gives the first picture; its entry holds the hot spot.
        hotSpot = QPoint(std::clamp(word(kDirectorySize + 4), 0, image.width() - 1),
                         std::clamp(word(kDirectorySize + 6), 0, image.height() - 1));
    }
    return CursorImage{std::move(image), hotSpot};
}

bool loadCustomPointer(WindowPointer& pointer, const QString& programFolder) {
    const QString path = cursorFilePath(programFolder);
    if (!FileExists(path)) {
        return false;
    }
    // A cursor is a few kilobytes; anything but a regular file of modest size is refused
    // without waiting on it.
    constexpr qint64 kMaxCursorBytes = 4 * 1024 * 1024;
    QString why;
    std::optional<CursorImage> cursor;
    if (const os::Result<QByteArray> bytes = os::readFileBounded(path, kMaxCursorBytes, true)) {
        cursor = decodeCursorFile(*bytes, &why);
    } else {
        why = bytes.reason();
    }
    if (!cursor) {
        throw Failure(
            u"The cursor file \"%1\" could not be read as a cursor (%2)."_s.arg(QDir::toNativeSeparators(path), why));
    }
    pointer.setCustomCursor(cursor->image, cursor->hotSpot);
    return true;
}

void markAsPictureBox(QWidget* widget) {
    widget->setProperty(kPictureBoxProperty, true);
}

} // namespace markwell
