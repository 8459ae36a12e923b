#pragma once

#include <QByteArray>
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>

#include <optional>

class QApplication;
class QPalette;
class QWidget;

namespace markwell {

// The pointer state of one window: the default arrow, the hourglass while "Create Template"
// runs, or the custom hand pointer shown over push buttons.
class WindowPointer {
public:
    enum class State { Default, Busy, Custom };

    explicit WindowPointer(QWidget& window) : m_window(window) {}

    State state() const { return m_state; }
    void setState(State state);
    void setBusy(bool busy) { setState(busy ? State::Busy : State::Default); }

    // The picture the custom state shows, at the size it has on a screen of scale 1, and its hot
    // spot; without one the custom state shows a pointing hand.
    void setCustomCursor(const QImage& image, QPoint hotSpot);
    bool hasCustomCursor() const { return !m_custom.isNull(); }
    // The pointer of a state on the window's screen: the custom picture is enlarged with the
    // screen's scale, as the system's own pointers are.
    QCursor cursorFor(State state) const;

private:
    QWidget& m_window;
    State m_state = State::Default;
    QImage m_custom;
    QPoint m_hotSpot;
};

// The custom pointer's picture for a screen of `pixelRatio`: drawn at that many device pixels a
// pixel, the hot spot kept in the pointer's own (unscaled) pixels.
QCursor scaledCursor(const QImage& image, QPoint hotSpot, qreal pixelRatio);

// "x/o.cjs" and "HAND-M.CUR", in the program folder or the installed data folder (findProgramFile).
QString skinFilePath(const QString& programFolder);
QString cursorFilePath(const QString& programFolder);

// Recolours the main window and its frames, labels, option buttons, check boxes and picture
// boxes with the button-face colour when the skin file exists. Returns whether it did.
bool ApplySkin(QWidget& mainWindow, const QString& programFolder);

// Gives a window and its frames, labels, option buttons and check boxes the button-face colour.
// Picture boxes keep theirs.
void PaintButtonFace(QWidget& window);

// The hover rules: neither disturbs the busy state.
void SetHoverPointer(WindowPointer& pointer);
void SetPlainPointer(WindowPointer& pointer);

// Runs the hover rule (hover = true) or the plain rule on every pointer move over `element`.
void installHoverRule(QWidget* element, WindowPointer& pointer, bool hover);

// A cursor file's picture and its hot spot (the point of the picture that is the click point).
struct CursorImage {
    QImage image;
    QPoint hotSpot;
};

// Decodes a Windows cursor file (.cur): the first picture and its hot spot from the file's
// directory. An icon file (.ico) is accepted too, its hot spot in the middle of the picture.
// Returns nullopt with *error set to what is wrong when the bytes are neither.
std::optional<CursorImage> decodeCursorFile(const QByteArray& bytes, QString* error);

// Loads HAND-M.CUR from the program folder as the custom pointer, with the file's own hot spot.
// Returns false when there is no such file; throws Failure naming the file and what is wrong when
// it is there but cannot be read as a cursor. Both windows load their pointer through this.
bool loadCustomPointer(WindowPointer& pointer, const QString& programFolder);

// Marks a widget as a picture box for the recolouring rules (a QLabel showing a picture or a
// plain drawing surface).
void markAsPictureBox(QWidget* widget);

// Colours a reader with low vision can tell apart: WCAG's contrast ratio of two colours, from
// 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

// The ground a window was designed with, as long as the user's text colour stays readable on
// it (4.5:1); under a high-contrast or dark scheme the user's own window colour.
QColor readableGround(const QPalette& palette, const QColor& designed);

// The focus marker of list rows, tabs and the preview's picture: this many pixels wide, in a
// colour of the user's scheme that stands out from `ground` by at least 3:1.
inline constexpr int kFocusMarkerWidth = 2;
QColor focusMarkerColour(const QPalette& palette, const QColor& ground);

// Makes the application's style draw every focus frame as that marker.
void useClearFocusMarkers(QApplication& application);

// Tells assistive technology that a top-level widget is a window, with the name it is known by
// and what it is for.
void exposeAsWindow(QWidget& window, const QString& name, const QString& description);

} // namespace markwell
