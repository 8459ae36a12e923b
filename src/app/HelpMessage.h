#pragma once

#include <QString>

namespace markwell {

inline constexpr char16_t kHomePageAddress[] = u"https://markwell-software.example/";
inline constexpr char16_t kContactPageAddress[] = u"https://markwell-software.example/contact";

// The text of the "Help" box.
QString helpMessageText();

// The box shown at start-up when no spreadsheet host instance can be created.
QString hostUnavailableMessageText();

} // namespace markwell
