#pragma once

#include "common/ProductName.h"

#include <QString>

namespace markwell {

// Derives the short title that captions message boxes from a product name: the last word is
// cut at least once, and further words go until 40 characters or fewer remain.
QString deriveApplicationTitle(const QString& productName);

// The title held for the whole run, set once at start-up.
void SetApplicationTitle();
QString applicationTitle();

} // namespace markwell
