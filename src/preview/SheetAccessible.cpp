#include "preview/SheetAccessible.h"

#include "preview/PictureBox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace markwell::preview {

namespace {

class SheetTable;

// One cell of the table. Cells are not objects of their own: they are made on demand, kept by
// the table and dropped when the sheet changes.
class SheetCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    SheetCell(SheetTable& table, PictureBox* box, int row, int column)
        : m_table(table), m_box(box), m_row(row), m_column(column) {}

    bool isValid() const override { return !m_box.isNull() && m_box->sheet() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? m_box->sheet()->text.text(m_row, m_column) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) {
            return {};
        }
        const QRect cell = m_box->cellRect(m_row, m_column);
        return QRect(m_box->mapToGlobal(cell.topLeft()), cell.size());
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.readOnly = true;
        if (isValid()) {
            // A cell panned out of the viewport is there but not on screen.
            const QRect cell = m_box->cellRect(m_row, m_column);
            const QWidget* holder = m_box->parentWidget();
            const QRect shown = holder ? QRect(m_box->mapFromParent(QPoint(0, 0)), holder->size()) : m_box->rect();
            s.invisible = !m_box->isVisible() || !cell.intersects(shown);
            s.offscreen = s.invisible;
        }
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }

    bool isSelected() const override { return false; }
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override;
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override;

private:
    SheetTable& m_table;
    QPointer<PictureBox> m_box;
    int m_row;
    int m_column;
};

class SheetTable : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit SheetTable(PictureBox* box) : QAccessibleWidget(box, QAccessible::Table) {}
    ~SheetTable() override { dropCells(); }

    PictureBox* box() const { return static_cast<PictureBox*>(widget()); }
    const SheetText* sheetText() const { return box()->sheet() ? &box()->sheet()->text : nullptr; }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface) {
            return static_cast<QAccessibleTableInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    // Without its sheet the box is a plain picture.
    QAccessible::Role role() const override { return sheetText() ? QAccessible::Table : QAccessible::Graphic; }
    int childCount() const override { return rowCount() * columnCount(); }
    QAccessibleInterface* child(int index) const override {
        const int columns = columnCount();
        return index < 0 || columns == 0 ? nullptr : cellAt(index / columns, index % columns);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (const QAccessibleTableCellInterface* cell =
                child ? const_cast<QAccessibleInterface*>(child)->tableCellInterface() : nullptr;
            cell != nullptr && child->parent() == this) {
            return cell->rowIndex() * columnCount() + cell->columnIndex();
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint at = box()->mapFromGlobal(QPoint(x, y));
        for (int r = 0; r < rowCount(); ++r) {
            for (int c = 0; c < columnCount(); ++c) {
                if (box()->cellRect(r, c).contains(at)) {
                    return cellAt(r, c);
                }
            }
        }
        return nullptr;
    }

    // The table.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) {
            return nullptr;
        }
        const int key = row * columnCount() + column;
        if (const auto known = m_cells.constFind(key); known != m_cells.constEnd()) {
            return QAccessible::accessibleInterface(*known);
        }
        auto* cell = new SheetCell(const_cast<SheetTable&>(*this), box(), row, column);
        m_cells.insert(key, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }
    int columnCount() const override { return sheetText() ? sheetText()->columnCount() : 0; }
    int rowCount() const override { return sheetText() ? sheetText()->rowCount() : 0; }
    QString columnDescription(int column) const override {
        const SheetText* t = sheetText();
        return t ? t->text(t->headerRow(), column) : QString();
    }
    QString rowDescription(int row) const override {
        const SheetText* t = sheetText();
        return t && row >= 0 && row < t->rowCount() ? QString::number(t->sheetRow(row) + 1) : QString();
    }
    int selectedCellCount() const override { return 0; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<QAccessibleInterface*> selectedCells() const override { return {}; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { dropCells(); }

    // The header cells of a cell below the captions: its column's caption and its student's name.
    QList<QAccessibleInterface*> headers(int row, int column, bool ofColumn) const {
        const SheetText* t = sheetText();
        if (t == nullptr || t->headerRow() < 0 || row <= t->headerRow()) {
            return {};
        }
        QAccessibleInterface* header = ofColumn ? cellAt(t->headerRow(), column) : cellAt(row, t->nameColumn());
        if (header == nullptr || header->text(QAccessible::Name).isEmpty()) {
            return {};
        }
        return {header};
    }

private:
    void dropCells() {
        for (const QAccessible::Id id : std::as_const(m_cells)) {
            QAccessible::deleteAccessibleInterface(id);
        }
        m_cells.clear();
    }

    mutable QHash<int, QAccessible::Id> m_cells;
};

QWindow* SheetCell::window() const {
    return m_table.window();
}

QAccessibleInterface* SheetCell::parent() const {
    return &m_table;
}

QAccessibleInterface* SheetCell::table() const {
    return &m_table;
}

QList<QAccessibleInterface*> SheetCell::columnHeaderCells() const {
    return m_table.headers(m_row, m_column, true);
}

QList<QAccessibleInterface*> SheetCell::rowHeaderCells() const {
    return m_table.headers(m_row, m_column, false);
}

QAccessibleInterface* sheetAccessible(const QString& /*key*/, QObject* object) {
    if (auto* box = qobject_cast<PictureBox*>(object)) {
        return new SheetTable(box);
    }
    return nullptr;
}

} // namespace

void installSheetAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(sheetAccessible);
        return true;
    }();
    (void)installed;
}

} // namespace markwell::preview
