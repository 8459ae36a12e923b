#pragma once

namespace markwell {

// The product's name as the windows show it and as the files we make name their creator.
inline constexpr char16_t kProductName[] = u"Markwell Software";

} // namespace markwell
