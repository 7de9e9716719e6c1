#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

#include <optional>

namespace corvane {

// The tray icon's picture.
namespace TrayArtwork {

// The colour the glyph is drawn in: light on a dark panel, dark on a light one.
QColor inkFor(bool darkPanel);

// The brand glyph at 18 and 36 pixels, read from `folder` ("MenuBarIcon.png"
// and "MenuBarIcon@2x.png", black on transparent) and drawn in the panel's
// ink. nullopt when either file is missing or unreadable.
std::optional<QIcon> brand(bool darkPanel, const QString& folder = QStringLiteral(":/tray"));

// The brand glyph, else the branch symbol from the icon set.
QIcon icon(bool darkPanel, const QString& folder = QStringLiteral(":/tray"));

} // namespace TrayArtwork
} // namespace corvane
