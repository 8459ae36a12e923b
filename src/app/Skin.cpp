#include "app/Skin.h"

#include "common/FileUtil.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

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

} // namespace

void WindowPointer::setState(State state) {
    m_state = state;
    m_window.setCursor(cursorFor(state));
}

QCursor WindowPointer::cursorFor(State state) const {
    switch (state) {
    case State::Busy:
        return QCursor(Qt::WaitCursor);
    case State::Custom:
        return m_custom.value_or(QCursor(Qt::PointingHandCursor));
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

bool loadCustomPointer(WindowPointer& pointer, const QString& programFolder) {
    const QString path = cursorFilePath(programFolder);
    if (!FileExists(path)) {
        return false;
    }
    // Cursor files are icon files with a hot spot; Qt's ICO reader reads the image.
    QImageReader reader(path, "cur");
    QImage image = reader.read();
    if (image.isNull()) {
        reader.setFileName(path);
        reader.setFormat("ico");
        image = reader.read();
    }
    if (image.isNull()) {
        return false;
    }
    pointer.setCustomCursor(QCursor(QPixmap::fromImage(image), 0, 0));
    return true;
}

void markAsPictureBox(QWidget* widget) {
    widget->setProperty(kPictureBoxProperty, true);
}

} // namespace markwell
