#include "preview/Form2.h"

#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "preview/PictureBox.h"
#include "preview/SaveResult.h"
#include "shell/AppTitle.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace markwell::preview {

namespace {

QString location(const char16_t* routine) {
    return u"in Ledgerly2021/08/31.Form2."_s + QString::fromUtf16(routine) + u" "_s;
}

// Layout rectangles in twips, converted to pixels where the widgets are placed.
QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

QFont arialBold(double points) {
    QFont font(u"Arial"_s);
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPointSizeF(points);
    return font;
}

constexpr int kClientWidth = 9840;
constexpr int kClientHeight = 9360;

} // namespace

Form2::Form2(Prompt& prompt, Hooks hooks, QWidget* parent)
    : QWidget(parent), m_prompt(prompt), m_hooks(std::move(hooks)), m_pointer(*this) {
    buildLayout();
    Form_Load();
}

Form2::~Form2() = default;

void Form2::buildLayout() {
    setObjectName(u"Form2"_s);
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    setFont(arialBold(9));
    // Designed white; the load recolours the window but leaves the picture boxes alone.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, readableGround(pal, QColor(255, 255, 255)));
    setPalette(pal);
    setAutoFillBackground(true);

    Picture2 = new QFrame(this);
    Picture2->setObjectName(u"Picture2"_s);
    Picture2->setFrameStyle(QFrame::Box | QFrame::Plain);
    Picture2->setLineWidth(1);
    Picture2->setGeometry(twipsRect(120, 120, ViewTransform::kViewportWidth, ViewTransform::kViewportHeight));
    markAsPictureBox(Picture2);
    QPalette white = Picture2->palette();
    white.setColor(QPalette::Window, QColor(255, 255, 255));
    Picture2->setPalette(white);
    Picture2->setAutoFillBackground(true);

    // The viewport's drawing area clips the display box.
    m_viewportArea = new QWidget(Picture2);
    m_viewportArea->setObjectName(u"Picture2Area"_s);
    m_viewportArea->setGeometry(
        twipsToPixels(ViewTransform::kViewportBorder), twipsToPixels(ViewTransform::kViewportBorder),
        twipsToPixels(ViewTransform::kViewportScaleWidth), twipsToPixels(ViewTransform::kViewportScaleHeight));
    markAsPictureBox(m_viewportArea);
    m_viewportArea->setPalette(white);
    m_viewportArea->setAutoFillBackground(true);

    Picture1 = new PictureBox(m_viewportArea);
    Picture1->setObjectName(u"Picture1"_s);
    Picture1->setCursor(Qt::OpenHandCursor);
    Picture1->setFocusPolicy(Qt::StrongFocus);
    Picture1->setAccessibleName(u"Gradebook results"_s);
    Picture1->installEventFilter(this);
    m_viewportArea->installEventFilter(this);
    connect(Picture1, &PictureBox::pressed, this, &Form2::picture1_MouseDown);
    connect(Picture1, &PictureBox::moved, this, &Form2::picture1_MouseMove);
    connect(Picture1, &PictureBox::released, this, &Form2::Picture1_MouseUp);

    Zoom_Ori = new PictureBox(this);
    Zoom_Ori->setObjectName(u"Zoom_Ori"_s);
    Zoom_Ori->hide();

    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(u"VScroll1"_s);
    VScroll1->setGeometry(twipsRect(9450, 120, 255, 7425));
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(u"HScroll1"_s);
    HScroll1->setGeometry(twipsRect(120, 7545, 9330, 255));
    HScroll1->setAccessibleName(u"Scroll the results left and right"_s);
    VScroll1->setAccessibleName(u"Scroll the results up and down"_s);
    for (QScrollBar* bar : {HScroll1, VScroll1}) {
        // Only a finished change moves the picture: dragging the thumb does not.
        bar->setTracking(false);
        bar->setRange(0, 0);
        bar->setEnabled(false);
    }
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form2::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &Form2::VScroll1_Change);

    Frame1 = new QGroupBox(u"Zoom:"_s, this);
    Frame1->setObjectName(u"Frame1"_s);
    Frame1->setGeometry(twipsRect(120, 7860, 9600, 855));

    const QFont buttonFont = arialBold(11.25);
    auto makeButton = [&](QWidget* parent, const QString& name, const QString& caption, QRect rect) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(name);
        b->setFont(buttonFont);
        b->setGeometry(rect);
        b->setAutoDefault(false);
        // The button's own hover rule must not be undone by the window's plain rule.
        b->setAttribute(Qt::WA_NoMousePropagation);
        return b;
    };
    PushButton1 = makeButton(Frame1, u"PushButton1"_s, u"Zoom In"_s, twipsRect(240, 300, 4440, 405));
    PushButton2 = makeButton(Frame1, u"PushButton2"_s, u"Zoom Out"_s, twipsRect(4800, 300, 4560, 405));
    PushButton8 = makeButton(this, u"PushButton8"_s, u"< Back"_s, twipsRect(120, 8850, 4680, 405));
    PushButton6 = makeButton(this, u"PushButton6"_s, u"Save Results To Excel File"_s, twipsRect(4920, 8850, 4800, 405));
    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form2::PushButton6_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form2::PushButton8_Click);

    for (QPushButton* b : {PushButton1, PushButton2, PushButton6, PushButton8}) {
        installHoverRule(b, m_pointer, true);
    }
    installHoverRule(this, m_pointer, false);
    installHoverRule(Frame1, m_pointer, false);

    syncPictures();
    syncBars();
}

void Form2::Form_Load() {
    ErrorTrap trap(m_prompt, location(u"Form_Load"));
    trap.step(100, [&] { m_view.markFirstShow(); });
    trap.step(102, [&] { PaintButtonFace(*this); });
    trap.step(104, [&] {
        setWindowTitle(QString::fromUtf16(kProductName));
        exposeAsWindow(*this, QString::fromUtf16(kProductName) + u" - Results preview"_s,
                       u"The filled gradebook: its picture, zoom, and saving the results."_s);
    });
    trap.step(106, [&] { setWindowIcon(QApplication::windowIcon()); });
    const QString folder = m_hooks.programFolder.isEmpty() ? programFolder() : m_hooks.programFolder;
    if (trap.test(108, [&] { return FileExists(cursorFilePath(folder)); })) {
        trap.step(110, [&] { loadCustomPointer(m_pointer, folder); });
    }
}

void Form2::handOver(const QImage& picture, const QString& excelFile, std::optional<ShownSheet> sheet) {
    std::shared_ptr<const PictureSheet> shown;
    if (sheet && !picture.isNull()) {
        try {
            SheetDrawing drawing(std::move(*sheet));
            // The picture is drawn from the sheet only when the two agree pixel for pixel in size.
            if (drawing.size() == picture.size()) {
                SheetText text(drawing.shown(), drawing.layout());
                shown = std::make_shared<const PictureSheet>(PictureSheet{std::move(drawing), std::move(text)});
            }
        } catch (const std::exception&) {
            shown.reset(); // the snapshot is shown as it is
        }
    }
    Picture1->setSheet(shown);
    Picture1->setAccessibleDescription(shown ? shown->text.summary() : QString());
    if (picture.isNull()) {
        m_view.handOver(std::nullopt);
        Picture1->clearPicture();
    } else {
        m_view.handOver(std::make_pair(pixelsToTwips(picture.width()), pixelsToTwips(picture.height())));
        Picture1->setPicture(picture);
    }
    mExcelFile = excelFile;
    syncPictures();
    if (isVisible()) {
        scheduleActivation();
    }
}

void Form2::scheduleActivation() {
    // Showing a window does not always make it active (window managers may refuse); the new
    // picture is prepared either way, once.
    QTimer::singleShot(0, this, [this] {
        if (m_view.firstShow() && isVisible()) {
            Form_Activate();
        }
    });
}

void Form2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        if (const QScreen* s = screen()) {
            const QRect area = s->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    scheduleActivation();
}

void Form2::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        Form_Activate();
    }
}

void Form2::Form_Activate() {
    ErrorTrap trap(m_prompt, location(u"Form_Activate"));
    if (!m_view.firstShow()) {
        return;
    }
    trap.step(100, [&] {
        m_view.prepareSizes();
        syncPictures();
    });
    trap.step(102, [&] {
        Zoom_Ori->hide();
        Zoom_Ori->setPicture(Picture1->picture());
        syncPictures();
    });
    trap.step(104, [&] { m_view.resetZoomAndSizes(); });
    trap.step(106, [&] { RedrawImage(); });
    trap.step(108, [&] { SetupScrollbars(); });
    trap.step(110, [&] { m_view.finishPreparation(); });
}

bool Form2::RedrawImage() {
    ErrorTrap trap(m_prompt, location(u"RedrawImage"));
    bool draw = false;
    trap.step(100, [&] { draw = m_view.beginRedraw(); });
    if (!draw) {
        return false;
    }
    trap.step(102, [&] {
        Picture1->clearPicture();
        m_view.sizeDisplayToZoom();
        syncPictures();
    });
    trap.step(104, [&] { paintFromOriginal(); });
    trap.step(106, [&] { m_pointer.setState(WindowPointer::State::Default); });
    trap.step(108, [&] {
        m_view.resetBarValues();
        syncPictures();
        syncBars();
    });
    trap.step(110, [&] {
        m_view.enableBarsByZoom();
        syncBars();
    });
    return true;
}

void Form2::paintFromOriginal() {
    const QImage& source = Zoom_Ori->picture();
    if (source.isNull()) {
        throw Failure(u"Invalid picture: there is no picture of the sheet to show."_s);
    }
    const QRect from =
        QRect(0, 0, twipsToPixels(m_view.origWidth()), twipsToPixels(m_view.origHeight())).intersected(source.rect());
    const QSize to(twipsToPixels(m_view.zoomWidth()), twipsToPixels(m_view.zoomHeight()));
    if (from.isEmpty() || to.isEmpty()) {
        return; // nothing to draw at this size
    }
    if (Picture1->drawsSheet()) {
        return; // the box draws the sheet at its size itself
    }
    // The whole picture at its own size is shown as it is, not copied: at the largest size a copy
    // is a quarter of a gigabyte.
    QImage part = from == source.rect() ? source : source.copy(from);
    if (part.size() != to) {
        part = part.scaled(to, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    QImage bitmap = part.convertToFormat(QImage::Format_RGB32);
    if (bitmap.isNull()) {
        throw Failure(u"Not enough memory to draw the picture of %1 x %2 pixels."_s.arg(to.width()).arg(to.height()));
    }
    Picture1->setPicture(bitmap);
}

void Form2::SetupScrollbars() {
    m_view.setupScrollbars();
    syncPictures();
    syncBars();
}

void Form2::StepZoom(int direction) {
    SetZoom(ViewTransform::steppedZoom(m_view.zoom(), direction));
}

void Form2::SetZoom(float factor) {
    if (!m_view.acceptZoom(factor)) {
        return;
    }
    // After a redraw the bars describe the zoomed picture, so every part of it can be reached.
    if (RedrawImage()) {
        SetupScrollbars();
    }
}

ViewTransform::Bar Form2::barOf(const QScrollBar& bar) const {
    return &bar == VScroll1 ? ViewTransform::Bar::Vertical : ViewTransform::Bar::Horizontal;
}

void Form2::SetHScrollbarByPercent(QScrollBar& bar, std::int16_t percent) {
    m_view.setBarByPercent(barOf(bar), percent);
    syncPictures();
    syncBars();
}

void Form2::SetVScrollbarByPercent(QScrollBar& bar, std::int16_t percent) {
    m_view.setBarByPercent(barOf(bar), percent);
    syncPictures();
    syncBars();
}

void Form2::HScroll1_Change(int value) {
    if (m_syncing) {
        return;
    }
    m_view.setBarValue(ViewTransform::Bar::Horizontal, static_cast<std::int16_t>(std::clamp(value, 0, 32767)));
    syncPictures();
}

void Form2::VScroll1_Change(int value) {
    if (m_syncing) {
        return;
    }
    m_view.setBarValue(ViewTransform::Bar::Vertical, static_cast<std::int16_t>(std::clamp(value, 0, 32767)));
    syncPictures();
}

void Form2::picture1_MouseDown(QPointF position, Qt::MouseButtons) {
    ErrorTrap trap(m_prompt, location(u"picture1_MouseDown"));
    trap.step(100, [&] {
        m_view.mouseDown(static_cast<float>(position.x() * kTwipsPerPixel),
                         static_cast<float>(position.y() * kTwipsPerPixel));
    });
    Picture1->setCursor(Qt::ClosedHandCursor);
}

void Form2::picture1_MouseMove(QPointF position, Qt::MouseButtons buttons) {
    ErrorTrap trap(m_prompt, location(u"picture1_MouseMove"));
    trap.step(100, [&] {
        m_view.mouseMove(buttons != Qt::NoButton, static_cast<float>(position.x() * kTwipsPerPixel),
                         static_cast<float>(position.y() * kTwipsPerPixel));
    });
    trap.step(102, [&] { syncPictures(); });
}

void Form2::Picture1_MouseUp(QPointF, Qt::MouseButtons) {
    ErrorTrap trap(m_prompt, location(u"Picture1_MouseUp"));
    Picture1->setCursor(Qt::OpenHandCursor);
    Picture1->setFocusPolicy(Qt::StrongFocus);
    Picture1->setAccessibleName(u"Gradebook results"_s);
    Picture1->installEventFilter(this);
    m_viewportArea->installEventFilter(this);
    std::optional<std::int32_t> h;
    std::optional<std::int32_t> v;
    trap.step(100, [&] {
        h = m_view.releasePercent(ViewTransform::Bar::Horizontal);
        v = m_view.releasePercent(ViewTransform::Bar::Vertical);
    });
    trap.step(102, [&] {
        if (h) {
            SetHScrollbarByPercent(*HScroll1, toInt16(*h));
        }
    });
    trap.step(104, [&] {
        if (v) {
            SetVScrollbarByPercent(*VScroll1, toInt16(*v));
        }
    });
}

void Form2::PushButton1_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton1_Click"));
    trap.step(100, [&] { StepZoom(0); });
}

void Form2::PushButton2_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton2_Click"));
    trap.step(100, [&] { StepZoom(1); });
}

void Form2::PushButton6_Click() {
    SaveResults(m_prompt, mExcelFile);
}

void Form2::PushButton8_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton8_Click"));
    trap.step(100, [&] { DeleteFileQuietly(mExcelFile); });
    trap.step(102, [&] {
        if (m_hooks.showMainWindow) {
            m_hooks.showMainWindow();
        }
    });
    trap.step(104, [&] { hide(); });
}

void Form2::closeEvent(QCloseEvent* event) {
    // The close is never refused; it ends the program.
    event->accept();
    Form_QueryUnload();
}

void Form2::keyPressEvent(QKeyEvent* event) {
    // Zooming works wherever the focus is; panning where the picture has it.
    if (zoomByKey(*event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Picture1 && event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (panByKey(key) || zoomByKey(key)) {
            return true;
        }
    }
    if ((watched == Picture1 || watched == m_viewportArea) && event->type() == QEvent::Wheel) {
        wheelOnPicture(static_cast<const QWheelEvent&>(*event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool Form2::zoomByKey(const QKeyEvent& event) {
    if (!(event.modifiers() & Qt::ControlModifier)) {
        return false;
    }
    switch (event.key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: // the plus key without Shift on many keyboards
        PushButton1_Click();
        return true;
    case Qt::Key_Minus:
        PushButton2_Click();
        return true;
    default:
        return false;
    }
}

bool Form2::panByKey(const QKeyEvent& event) {
    QScrollBar& h = *HScroll1;
    QScrollBar& v = *VScroll1;
    const struct {
        int key;
        QScrollBar& bar;
        int by;
    } moves[] = {
        {Qt::Key_Left, h, -h.singleStep()}, {Qt::Key_Right, h, h.singleStep()}, {Qt::Key_Up, v, -v.singleStep()},
        {Qt::Key_Down, v, v.singleStep()},  {Qt::Key_PageUp, v, -v.pageStep()}, {Qt::Key_PageDown, v, v.pageStep()},
    };
    for (const auto& m : moves) {
        if (event.key() == m.key) {
            moveBar(m.bar, m.bar.value() + m.by);
            return true;
        }
    }
    if (event.key() != Qt::Key_Home && event.key() != Qt::Key_End) {
        return false;
    }
    // Home and End: the left or right edge; with Ctrl the top left or bottom right corner.
    const bool toEnd = event.key() == Qt::Key_End;
    moveBar(h, toEnd ? h.maximum() : h.minimum());
    if (event.modifiers() & Qt::ControlModifier) {
        moveBar(v, toEnd ? v.maximum() : v.minimum());
    }
    return true;
}

void Form2::wheelOnPicture(const QWheelEvent& event) {
    constexpr int kNotch = 120;
    const QPoint delta = event.angleDelta();
    if (event.modifiers() & Qt::ControlModifier) {
        m_wheelZoom += delta.y();
        for (; m_wheelZoom >= kNotch; m_wheelZoom -= kNotch) {
            PushButton1_Click();
        }
        for (; m_wheelZoom <= -kNotch; m_wheelZoom += kNotch) {
            PushButton2_Click();
        }
        return;
    }
    int dx = delta.x();
    int dy = delta.y();
    if ((event.modifiers() & Qt::ShiftModifier) && dx == 0) {
        std::swap(dx, dy);
    }
    const int lines = std::max(1, QApplication::wheelScrollLines());
    auto steps = [&](const QScrollBar& bar, int angle) {
        return static_cast<int>(std::lround(static_cast<double>(angle) / kNotch * lines * bar.singleStep()));
    };
    moveBar(*HScroll1, HScroll1->value() - steps(*HScroll1, dx));
    moveBar(*VScroll1, VScroll1->value() - steps(*VScroll1, dy));
}

void Form2::moveBar(QScrollBar& bar, int value) {
    if (bar.isEnabled()) {
        bar.setValue(std::clamp(value, bar.minimum(), bar.maximum()));
    }
}

void Form2::Form_QueryUnload() {
    ErrorTrap trap(m_prompt, location(u"Form_QueryUnload"));
    trap.step(100, [&] { DeleteFileQuietly(mExcelFile); });
    trap.step(102, [&] {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    });
    // Ending the program from here keeps what the teacher typed, as closing the main window does.
    trap.step(104, [&] {
        if (m_hooks.saveLists) {
            m_hooks.saveLists();
        }
    });
    trap.step(106, [&] {
        if (m_hooks.endProgram) {
            m_hooks.endProgram();
        } else {
            QCoreApplication::quit();
        }
    });
}

void Form2::syncPictures() {
    // Edges are converted, not sizes, so that the far edges land where the twips put them.
    const Box& d = m_view.display();
    const int left = twipsToPixels(d.left);
    const int top = twipsToPixels(d.top);
    Picture1->setGeometry(left, top, twipsToPixels(static_cast<double>(d.left) + d.width) - left,
                          twipsToPixels(static_cast<double>(d.top) + d.height) - top);
    const Box& o = m_view.original();
    Zoom_Ori->setGeometry(twipsToPixels(10320), twipsToPixels(480), twipsToPixels(o.width), twipsToPixels(o.height));
}

void Form2::syncBar(QScrollBar& widget, ViewTransform::Bar which, std::int32_t viewportScale) {
    const ScrollBarState& s = m_view.bar(which);
    const int step = std::max<int>(1, which == ViewTransform::Bar::Horizontal ? m_view.hStep() : m_view.vStep());
    widget.setRange(0, s.max);
    widget.setValue(s.value);
    widget.setEnabled(s.enabled);
    // One arrow click moves about 20 pixels, one page click a viewport.
    widget.setSingleStep(std::max(1, 300 / step));
    widget.setPageStep(std::max(1, viewportScale / step));
}

void Form2::syncBars() {
    const bool was = m_syncing;
    m_syncing = true;
    syncBar(*HScroll1, ViewTransform::Bar::Horizontal, ViewTransform::kViewportScaleWidth);
    syncBar(*VScroll1, ViewTransform::Bar::Vertical, ViewTransform::kViewportScaleHeight);
    m_syncing = was;
}

} // namespace markwell::preview
