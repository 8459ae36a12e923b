#pragma once

#include <QCursor>
#include <QObject>
#include <QString>

#include <optional>

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

    // The image the custom state shows; without one the custom state shows a pointing hand.
    void setCustomCursor(const QCursor& cursor) { m_custom = cursor; }
    bool hasCustomCursor() const { return m_custom.has_value(); }
    QCursor cursorFor(State state) const;

private:
    QWidget& m_window;
    State m_state = State::Default;
    std::optional<QCursor> m_custom;
};

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

// Loads HAND-M.CUR from the program folder as the custom pointer when it is there.
bool loadCustomPointer(WindowPointer& pointer, const QString& programFolder);

// Marks a widget as a picture box for the recolouring rules (a QLabel showing a picture or a
// plain drawing surface).
void markAsPictureBox(QWidget* widget);

} // namespace markwell
