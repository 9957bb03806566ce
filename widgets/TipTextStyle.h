#pragma once

#include <QColor>
#include <QFont>

// The look shared by the edits that paint a grey tip while they are empty.
namespace TipTextStyle {

// `explicitColor` when valid, else the brand's tip grey.
QColor color(const QColor& explicitColor);

// The product's tip font for the current language at 10 points.
QFont font();

} // namespace TipTextStyle
