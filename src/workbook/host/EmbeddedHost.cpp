#include "workbook/host/EmbeddedHost.h"

#include "os/Files.h"
#include "workbook/host/EngineCalls.h"
#include "workbook/sheet/NumericText.h"
#include "workbook/sheet/Workbook.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

struct EmbeddedHost::OpenBook {
    QString path;
    bool readOnly = false;
    sheet::Workbook model;                       // its resultsCurrent: recalculated since the last change
    mutable std::map<int, HostArea> usedBySheet; // used ranges found since the last change

    void changed() {
        model.resultsCurrent = false;
        usedBySheet.clear();
    }
    void recalculated() {
        if (!model.resultsCurrent) {
            engine::recalculate(model);
            model.resultsCurrent = true;
        }
    }
};

namespace {

// Workbooks are read whole; anything larger than any workbook the format can hold is refused.
constexpr qint64 kMaxWorkbookBytes = 512LL * 1024 * 1024;

sheet::CellPos topLeft(const HostArea& a) {
    return {a.firstRow - 1, a.firstColumn - 1};
}

sheet::Area toArea(const HostArea& a) {
    return {{a.firstRow - 1, a.firstColumn - 1}, {a.lastRow - 1, a.lastColumn - 1}};
}

// Runs an engine step; its failure becomes a host error that says what was being done.
template <class F> void guarded(const QString& what, F&& step) {
    try {
        step();
    } catch (const HostError&) {
        throw;
    } catch (const std::exception& e) {
        throw HostError(what + u": "_s + QString::fromUtf8(e.what()));
    }
}

bool sameSpan(const HostArea& a, const HostArea& b) {
    return a.firstRow == b.firstRow && a.lastRow == b.lastRow && a.firstColumn == b.firstColumn &&
           a.lastColumn == b.lastColumn && a.wholeRows == b.wholeRows && a.wholeColumns == b.wholeColumns;
}

} // namespace

EmbeddedHost::EmbeddedHost() = default;
EmbeddedHost::~EmbeddedHost() = default;

void EmbeddedHost::checkRunning() const {
    if (m_quit) {
        throw HostError(u"The spreadsheet engine instance has already quit."_s);
    }
}

EmbeddedHost::OpenBook& EmbeddedHost::book(int workbook) {
    return const_cast<OpenBook&>(std::as_const(*this).book(workbook));
}

const EmbeddedHost::OpenBook& EmbeddedHost::book(int workbook) const {
    checkRunning();
    const int index = workbook == 0 ? m_active : workbook;
    if (m_books.empty()) {
        throw HostError(u"No workbook is open."_s);
    }
    if (index < 1 || index > static_cast<int>(m_books.size())) {
        throw HostError(u"There is no open workbook number %1."_s.arg(index));
    }
    return *m_books[static_cast<size_t>(index - 1)];
}

int EmbeddedHost::sheetOf(const OpenBook& b, int sheet) const {
    const int index = sheet == 0 ? b.model.activeSheet + 1 : sheet;
    if (index < 1 || index > static_cast<int>(b.model.sheets.size())) {
        throw HostError(
            u"The workbook \"%1\" has no worksheet number %2."_s.arg(QFileInfo(b.path).fileName()).arg(index));
    }
    return index - 1;
}

void EmbeddedHost::setDisplayAlerts(bool on) {
    checkRunning();
    m_displayAlerts = on;
}

void EmbeddedHost::setVisible(bool on) {
    checkRunning();
    if (on) {
        throw HostError(u"The embedded spreadsheet engine has no window to show."_s);
    }
}

QString EmbeddedHost::Version() const {
    checkRunning();
    return u"16.0"_s;
}

void EmbeddedHost::setCutCopyMode(bool on) {
    checkRunning();
    if (!on) {
        m_clipboard.reset();
    }
}

void EmbeddedHost::Quit() {
    checkRunning();
    m_pending.reset();
    m_books.clear();
    m_active = 0;
    m_clipboard.reset();
    m_picture = QImage();
    m_quit = true;
}

int EmbeddedHost::workbookCount() const {
    checkRunning();
    return static_cast<int>(m_books.size());
}

int EmbeddedHost::openWorkbook(const QString& path, bool readOnly) {
    checkRunning();
    flush();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw HostError(u"The workbook \"%1\" could not be opened: %2"_s.arg(path, file.errorString()));
    }
    if (file.size() > kMaxWorkbookBytes) {
        throw HostError(
            u"The workbook \"%1\" could not be opened: the file is larger than any workbook can be."_s.arg(path));
    }
    const QByteArray bytes = file.readAll();
    auto open = std::make_unique<OpenBook>();
    open->path = QFileInfo(path).absoluteFilePath();
    open->readOnly = readOnly;
    try {
        open->model = engine::readWorkbook(bytes);
    } catch (const std::exception& e) {
        throw HostError(u"The workbook \"%1\" could not be opened: %2"_s.arg(path, QString::fromUtf8(e.what())));
    }
    if (open->model.sheets.empty()) {
        throw HostError(u"The workbook \"%1\" could not be opened: it has no worksheet."_s.arg(path));
    }
    m_books.push_back(std::move(open));
    m_active = static_cast<int>(m_books.size());
    m_selection = HostArea{};
    return m_active;
}

int EmbeddedHost::activeWorkbookIndex() const {
    book(0);
    return m_active;
}

void EmbeddedHost::selectSheet(int workbook, int sheet) {
    OpenBook& b = book(workbook);
    const int index = sheetOf(b, sheet);
    flush();
    for (size_t i = 0; i < b.model.sheets.size(); ++i) {
        b.model.sheets[i].selected = static_cast<int>(i) == index;
    }
    b.model.activeSheet = index;
}

void EmbeddedHost::activateSheet(int workbook, int sheet) {
    OpenBook& b = book(workbook);
    b.model.activeSheet = sheetOf(b, sheet);
    m_active = workbook == 0 ? m_active : workbook;
}

int EmbeddedHost::activeSheetIndex(int workbook) const {
    return book(workbook).model.activeSheet + 1;
}

void EmbeddedHost::setCellValue(const HostArea& cell, const QString& text) {
    // Whole numbers, most of what a class's points are, are read without a copy of the text.
    const QStringView view(text);
    const std::u16string_view units(view.utf16(), static_cast<std::size_t>(view.size()));
    if (const auto number = sheet::plainWholeNumber(units)) {
        writeCell(cell, sheet::Value(*number));
        return;
    }
    writeCell(cell, engine::valueOfText(text.toStdString()));
}

void EmbeddedHost::setCellText(const HostArea& cell, const QString& text) {
    writeCell(cell, sheet::Value(text.toStdString()));
}

// The value goes into the cell as a constant: whatever the text starts with, never a formula.
void EmbeddedHost::writeCell(const HostArea& cell, sheet::Value value) {
    OpenBook& b = book(0);
    const int s = sheetOf(b, 0);
    flush();
    sheet::Sheet& sh = b.model.sheets[static_cast<size_t>(s)];
    if (const sheet::ArrayFormula* array = sh.arrayFormulaAt(topLeft(cell))) {
        throw HostError(u"The cell %1 is part of the array formula in %2, which can only be changed as a whole."_s.arg(
            QString::fromStdString(sheet::toA1(topLeft(cell))), QString::fromStdString(sheet::toA1(array->area))));
    }
    sheet::Cell& target = sh.cellAt(cell.firstRow - 1, cell.firstColumn - 1);
    target.formula.reset();
    target.value = std::move(value);
    b.changed();
}

void EmbeddedHost::setPrintArea(int workbook, int sheet, const HostArea& area) {
    OpenBook& b = book(workbook);
    const int s = sheetOf(b, sheet);
    flush();
    engine::setPrintArea(b.model, s, toArea(area));
    b.changed();
}

void EmbeddedHost::select(const HostArea& area) {
    OpenBook& b = book(0);
    const int s = sheetOf(b, 0);
    m_selection = area;
    // The selection's top-left cell becomes the active cell, which the saved file remembers.
    b.model.sheets[static_cast<size_t>(s)].activeCell = topLeft(area);
}

void EmbeddedHost::copyArea(const HostArea& area) {
    OpenBook& b = book(0);
    (void)sheetOf(b, 0);
    m_clipboard = area;
    m_clipboardBook = m_active;
    m_clipboardSheet = b.model.activeSheet + 1;
}

void EmbeddedHost::insertCopied(const HostArea& at, int shift) {
    OpenBook& b = book(0);
    const int s = sheetOf(b, 0) + 1;
    if (!m_clipboard) {
        throw HostError(u"Nothing has been copied, so nothing can be inserted."_s);
    }
    if (m_clipboardBook != m_active || m_clipboardSheet != s) {
        throw HostError(u"Copied cells can only be inserted into the sheet they were copied from."_s);
    }
    const HostArea source = *m_clipboard;
    if (shift == xlShiftDown) {
        if (!source.wholeRows) {
            throw HostError(u"Only whole copied rows can be inserted with the cells shifted down."_s);
        }
    } else if (shift == xlShiftToRight) {
        if (source.wholeRows || source.wholeColumns) {
            throw HostError(u"Whole rows or columns cannot be inserted with the cells shifted to the right."_s);
        }
    } else {
        throw HostError(u"The insert direction %1 is not known."_s.arg(shift));
    }
    Pending op{shift, source, m_active, s, 1};
    const bool atSource = at.firstRow == source.firstRow && at.firstColumn == source.firstColumn;
    if (m_pending && atSource && m_pending->shift == shift && m_pending->book == op.book && m_pending->sheet == s &&
        sameSpan(m_pending->source, source)) {
        ++m_pending->times;
        return;
    }
    flush();
    if (atSource) {
        m_pending = op;
        return;
    }
    // Inserting elsewhere: carried out at once, at the selection's top-left cell.
    const int rows = source.lastRow - source.firstRow;
    const int cols = source.lastColumn - source.firstColumn;
    HostArea target{at.firstRow,           at.firstColumn,   at.firstRow + rows,
                    at.firstColumn + cols, source.wholeRows, source.wholeColumns};
    guarded(u"The copied cells could not be inserted"_s,
            [&] { engine::insertCopies(b.model, s - 1, toArea(source), topLeft(target), shift == xlShiftDown, 1); });
    b.changed();
}

void EmbeddedHost::flush() const {
    if (!m_pending) {
        return;
    }
    const Pending op = *m_pending;
    m_pending.reset();
    runInsert(op);
}

void EmbeddedHost::runInsert(const Pending& op) const {
    OpenBook& b = *m_books[static_cast<size_t>(op.book - 1)];
    guarded(u"The copied cells could not be inserted"_s, [&] {
        engine::insertCopies(b.model, op.sheet - 1, toArea(op.source), topLeft(op.source), op.shift == xlShiftDown,
                             op.times);
    });
    b.changed();
}

void EmbeddedHost::deleteArea(const HostArea& area, int shift) {
    OpenBook& b = book(0);
    const int s = sheetOf(b, 0);
    if (shift != xlShiftUp) {
        throw HostError(u"The delete direction %1 is not known."_s.arg(shift));
    }
    if (!area.wholeRows) {
        throw HostError(u"Only whole rows can be deleted with the cells shifted up."_s);
    }
    flush();
    guarded(u"The rows could not be deleted"_s,
            [&] { engine::deleteRows(b.model, s, area.firstRow - 1, area.lastRow - 1); });
    b.changed();
}

void EmbeddedHost::saveWorkbookAs(int workbook, const QString& filename, int fileFormat) {
    OpenBook& b = book(workbook);
    if (fileFormat != xlExcel8 && fileFormat != xlWorkbookNormal) {
        throw HostError(u"The file format %1 is not one the engine writes."_s.arg(fileFormat));
    }
    flush();
    b.recalculated();
    // The file's pieces are written as the engine hands them over and put in the file's place in
    // one step: a symbolic link there (also one put in the place of a file reserved for the save)
    // is replaced, never written through, and a device is refused. The workbooks this engine
    // saves are work files that are read back at once and deleted within seconds; every copy put
    // in the user's place is forced to the disk, so this one is not.
    const QString failed = u"The workbook could not be saved as \"%1\""_s.arg(filename);
    os::Result<> replaced;
    guarded(failed, [&] {
        replaced = os::replaceFileAtomically(
            filename,
            [&](const os::PieceWriter& write) {
                engine::writeWorkbook(b.model, [&](std::span<const std::uint8_t> piece) {
                    write(QByteArrayView(reinterpret_cast<const char*>(piece.data()),
                                         static_cast<qsizetype>(piece.size())));
                });
            },
            os::kKeepMode, false);
    });
    if (!replaced) {
        throw HostError(failed + u": "_s + replaced.reason(), replaced.errorNumber());
    }
    b.path = QFileInfo(filename).absoluteFilePath();
    b.readOnly = false;
}

std::shared_ptr<const sheet::Workbook> EmbeddedHost::closeWorkbookKeepingModel(int workbook) {
    OpenBook& b = book(workbook == 0 ? m_active : workbook);
    flush();
    b.recalculated();
    // The model moves out: the book is closed at once, and nothing reads it in between.
    auto model = std::make_shared<const sheet::Workbook>(std::move(b.model));
    closeWorkbook(workbook);
    return model;
}

void EmbeddedHost::closeWorkbook(int workbook) {
    const int index = workbook == 0 ? m_active : workbook;
    book(index);
    flush();
    m_books.erase(m_books.begin() + (index - 1));
    if (m_clipboardBook == index) {
        m_clipboard.reset();
    }
    m_active = static_cast<int>(m_books.size());
}

HostArea EmbeddedHost::usedRange(int workbook, int sheet) const {
    const OpenBook& b = book(workbook);
    const int s = sheetOf(b, sheet);
    flush();
    // Asked for again and again while a picture is taken; found once per change of the sheet.
    if (const auto known = b.usedBySheet.find(s); known != b.usedBySheet.end()) {
        return known->second;
    }
    const std::optional<sheet::Area> used = engine::usedArea(b.model.sheets[static_cast<size_t>(s)]);
    const HostArea area =
        used ? HostArea{used->first.row + 1, used->first.col + 1, used->last.row + 1, used->last.col + 1}
             : HostArea{1, 1, 1, 1};
    b.usedBySheet.emplace(s, area);
    return area;
}

void EmbeddedHost::copyPicture(int workbook, int sheet, const HostArea& area) {
    OpenBook& b = book(workbook);
    const int s = sheetOf(b, sheet);
    flush();
    b.recalculated();
    QImage picture = engine::pictureOf(b.model, s, toArea(area));
    if (picture.isNull()) {
        throw HostError(u"The picture of the range could not be made."_s);
    }
    m_picture = std::move(picture);
}

const sheet::Workbook& EmbeddedHost::workbookModel(int workbook) const {
    const OpenBook& b = book(workbook);
    flush();
    return b.model;
}

} // namespace markwell
