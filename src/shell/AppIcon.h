#pragma once

#include <QIcon>
#include <QList>

namespace markwell {

// The pixel sizes the program's icon is rendered at (from packaging/icons/markwell.svg).
QList<int> applicationIconSizes();

// The program's icon, a gradebook page with a check mark, at every size of applicationIconSizes().
QIcon applicationIcon();

} // namespace markwell
