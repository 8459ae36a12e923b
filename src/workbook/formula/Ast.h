#pragma once

#include "workbook/sheet/CellRef.h"
#include "workbook/sheet/Value.h"

#include <memory>
#include <string>
#include <vector>

namespace markwell::formula {

enum class NodeKind {
    Number,
    Text,
    Boolean,
    Error,     // an error literal such as #N/A
    Missing,   // an omitted function argument: IF(A1,,2)
    Ref,       // one cell
    AreaRef,   // a rectangle of cells; whole columns and rows span the full sheet
    RefError,  // a cell reference whose cell was deleted: #REF!
    AreaError, // an area reference whose cells were all deleted: #REF!
    Name,      // a defined name
    Unary,
    Binary,
    Function,
    Paren, // explicit parentheses, kept so the text prints back as typed
};

enum class UnaryOp { Plus, Minus, Percent };

enum class BinaryOp {
    Add,
    Sub,
    Mul,
    Div,
    Pow,
    Concat,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    Union, // the list operator of names: $B:$B,$12:$12
};

// One corner of a reference: an absolute 0-based sheet position and its `$` flags. The flags
// say which parts stay put when the formula is copied elsewhere.
struct RefCorner {
    sheet::CellPos pos;
    bool rowAbs = false;
    bool colAbs = false;
    friend bool operator==(const RefCorner&, const RefCorner&) = default;
};

struct Node;
using NodePtr = std::shared_ptr<const Node>;

// An immutable expression tree node. Trees are shared between cells; a change makes new nodes
// and keeps the unchanged subtrees.
struct Node {
    NodeKind kind = NodeKind::Missing;
    double number = 0;                              // Number
    bool boolean = false;                           // Boolean
    sheet::ErrorCode error = sheet::ErrorCode::Ref; // Error
    std::string text;                               // Text (the literal's characters), Name, Function (upper case)
    RefCorner first;                                // Ref, AreaRef (top-left corner)
    RefCorner last;                                 // AreaRef (bottom-right corner)
    int sheet = -1;                                 // Ref, AreaRef, RefError, AreaError: -1 = the formula's own sheet
    UnaryOp unaryOp = UnaryOp::Plus;
    BinaryOp binaryOp = BinaryOp::Add;
    std::vector<NodePtr> args; // Unary: 1, Binary: 2, Paren: 1, Function: its arguments

    sheet::Area area() const { return sheet::Area{first.pos, kind == NodeKind::Ref ? first.pos : last.pos}; }
    bool isWholeColumns() const {
        return kind == NodeKind::AreaRef && first.pos.row == 0 && last.pos.row == sheet::kMaxRows - 1;
    }
    bool isWholeRows() const {
        return kind == NodeKind::AreaRef && first.pos.col == 0 && last.pos.col == sheet::kMaxColumns - 1;
    }
};

// Builders.
NodePtr makeNumber(double value);
NodePtr makeText(std::string value);
NodePtr makeBoolean(bool value);
NodePtr makeError(sheet::ErrorCode code);
NodePtr makeMissing();
NodePtr makeRef(RefCorner corner, int sheet = -1);
// The corners are put in order (top-left first), keeping each part's flag with it.
NodePtr makeArea(RefCorner a, RefCorner b, int sheet = -1);
NodePtr makeRefError(int sheet = -1);
NodePtr makeAreaError(int sheet = -1);
NodePtr makeName(std::string name);
NodePtr makeUnary(UnaryOp op, NodePtr operand);
NodePtr makeBinary(BinaryOp op, NodePtr left, NodePtr right);
NodePtr makeFunction(std::string upperName, std::vector<NodePtr> args);
NodePtr makeParen(NodePtr inner);

// Deepest nesting a formula may have; the parser refuses deeper text, and token readers should
// too, so walking a tree never runs out of stack.
inline constexpr int kMaxDepth = 512;

// The nesting depth of a tree (a leaf is 1), computed without recursion.
int depth(const NodePtr& root);

// Structural equality of two trees.
bool sameTree(const NodePtr& a, const NodePtr& b);

// The parts of a list joined by the union operator, as defined names list areas
// ($B:$B,$12:$12), left to right and without their parentheses; any other formula is its own one
// part. The nodes belong to the tree.
std::vector<const Node*> unionParts(const NodePtr& root);

} // namespace markwell::formula
