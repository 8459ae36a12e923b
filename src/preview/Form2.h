#pragma once

#include "preview/SheetDrawing.h"
#include "preview/ViewTransform.h"
#include "shell/Skin.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QFrame;
class QGroupBox;
class QPushButton;
class QScrollBar;

namespace markwell {

class Prompt;

namespace preview {

class PictureBox;

// The preview window: the picture of the filled sheet with quarter-step zoom, two scroll bars
// and drag-to-pan, saving the generated workbook, and the way back to the main window.
class Form2 : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> showMainWindow; // "< Back"
        std::function<void()> saveLists;      // ending the program from here keeps the lists
        std::function<void()> endProgram;     // empty: QCoreApplication::quit
        QString programFolder;                // empty: the folder of the running program
    };

    Form2(Prompt& prompt, Hooks hooks, QWidget* parent = nullptr);
    ~Form2() override;

    // A new snapshot (a null image when there is none), the path of the generated workbook and
    // the sheet the snapshot shows. With the sheet the window draws it sharply at every scale and
    // zoom and reads it out as a table; without it (or when it does not match the snapshot) the
    // snapshot is enlarged. The window prepares the picture afresh the next time it becomes
    // active.
    void handOver(const QImage& picture, const QString& excelFile, std::optional<ShownSheet> sheet = std::nullopt);

    const QString& excelFile() const { return mExcelFile; }
    const ViewTransform& view() const { return m_view; }
    WindowPointer& pointer() { return m_pointer; }

    void Form_Activate();
    bool RedrawImage(); // false when the size limit kept the picture as it was
    void SetupScrollbars();
    void StepZoom(int direction);
    void SetZoom(float factor);
    void SetHScrollbarByPercent(QScrollBar& bar, std::int16_t percent);
    void SetVScrollbarByPercent(QScrollBar& bar, std::int16_t percent);

    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton6_Click();
    void PushButton8_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The picture from the keyboard and the wheel: arrows, Page Up/Down and Home/End pan, Ctrl
    // with plus or minus zooms one step; the wheel scrolls, with Ctrl it zooms.
    bool panByKey(const QKeyEvent& event);
    bool zoomByKey(const QKeyEvent& event);
    void wheelOnPicture(const QWheelEvent& event);
    void moveBar(QScrollBar& bar, int value);

    void Form_Load();
    void Form_QueryUnload();
    void picture1_MouseDown(QPointF position, Qt::MouseButtons buttons);
    void picture1_MouseMove(QPointF position, Qt::MouseButtons buttons);
    void Picture1_MouseUp(QPointF position, Qt::MouseButtons buttons);
    void HScroll1_Change(int value);
    void VScroll1_Change(int value);

    void buildLayout();
    void paintFromOriginal();
    void syncPictures();
    void syncBars();
    void syncBar(QScrollBar& widget, ViewTransform::Bar which, std::int32_t viewportScale);
    ViewTransform::Bar barOf(const QScrollBar& bar) const;
    void scheduleActivation();

    Prompt& m_prompt;
    Hooks m_hooks;
    WindowPointer m_pointer;
    ViewTransform m_view;
    QString mExcelFile;
    bool m_centred = false;
    bool m_syncing = false;
    int m_wheelZoom = 0; // wheel turns towards the next zoom step, in eighths of a degree

    QFrame* Picture2 = nullptr;
    QWidget* m_viewportArea = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Zoom_Ori = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton6 = nullptr;
};

} // namespace preview
} // namespace markwell
