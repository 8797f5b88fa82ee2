#include "app/window/window_font.h"

namespace ombrelk::window {

QStringList WindowFontFallbacks() {
  return {QStringLiteral("Microsoft YaHei"),  // the same face under its English name
          QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
          QStringLiteral("Source Han Sans SC"),  QStringLiteral("WenQuanYi Zen Hei"),
          QStringLiteral("Droid Sans Fallback")};
}

QFont WindowFont() {
  static const bool registered = [] {
    QFont::insertSubstitutions(kWindowFontFamily, WindowFontFallbacks());
    return true;
  }();
  (void)registered;
  QFont font(kWindowFontFamily);
  font.setPixelSize(12);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setUnderline(false);
  return font;
}

}  // namespace ombrelk::window
