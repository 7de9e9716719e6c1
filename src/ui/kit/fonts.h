#pragma once

#include <QFont>

namespace corvane {

// The one font rule of the interface: Inter when the system has it, the
// system font otherwise, always at the size and weight asked for.
namespace UIFont {

bool hasInter();
QFont font(double points, QFont::Weight weight = QFont::Normal);
// For counts and positions, whose digits should not jump as they change.
QFont digits(double points, QFont::Weight weight = QFont::Normal);

} // namespace UIFont
} // namespace corvane
