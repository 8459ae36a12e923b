#pragma once

#include <QIcon>

namespace markwell {

// The program's icon, drawn at the usual sizes: a gradebook page with a check mark.
QIcon applicationIcon();

} // namespace markwell
