#pragma once

#include <cstdint>
#include <string_view>

namespace markwell::xls {

// One built-in worksheet function as BIFF8 numbers it.
struct FunctionInfo {
    std::uint16_t index;
    std::string_view name;
    std::uint8_t minArgs;
    std::uint8_t maxArgs;
    // Operand class wanted for each argument: 'V' value, 'R' reference, 'A' array. The last letter
    // applies to every further argument.
    std::string_view params;

    bool fixed() const { return minArgs == maxArgs; }
    char paramClass(std::size_t arg) const {
        return params.empty() ? 'V' : params[arg < params.size() ? arg : params.size() - 1];
    }
};

const FunctionInfo* functionByIndex(std::uint16_t index);
// By upper-case name.
const FunctionInfo* functionByName(std::string_view name);

// Functions we have no table entry for are kept under this name and written back with their number.
inline constexpr std::string_view kUnknownFunctionPrefix = "_XLFUNC";

// The user-defined / add-in function call (its first argument names the function).
inline constexpr std::uint16_t kExternalFunction = 255;

} // namespace markwell::xls
