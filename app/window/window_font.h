// The one font of the window: "微软雅黑" at a pixel height of 12, normal
// weight. Where that face is not installed (any system but Windows) the
// toolkit falls back to an installed CJK face of the same kind.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace ombrelk::window {

inline const QString kWindowFontFamily = QStringLiteral("微软雅黑");

// The faces tried in turn when "微软雅黑" is missing, most alike first.
QStringList WindowFontFallbacks();

// Registers the fallbacks (once) and gives the font.
QFont WindowFont();

}  // namespace ombrelk::window
