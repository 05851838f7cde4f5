// The readout composed from cached glyph pictures looks exactly like text
// drawn the ordinary way, and only the glyphs that changed are painted anew.

#include <algorithm>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "ui/controls.h"
#include "ui/glyph_text.h"

namespace tarvex::testing {
namespace {

QImage Canvas() {
  QImage image(641, 143, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  return image;
}

TEST(GlyphText, ComposesTheSamePixelsAsDrawText) {
  const QFont font = MakeFont(QStringLiteral("Arial"), 67, true);
  const QRect rect(1, 1, 639, 141);
  GlyphText composer;
  // Twice over, so the second round draws from cached pictures.
  for (int round = 0; round < 2; ++round) {
    for (const char* text : {"n/c", "not connected", "- - - - -", "-  -  -  -  -", "Comm. error", "0 mm",
                             "12.3456 mm", "-43.984 mm", "1,234.5678 mm", "12,345.6790 mm", "-0.003 mm",
                             "54,760,833 mm", "-54,760,833.000 mm", "1.234,5678 mm", "1\u00a0234,5678 mm",
                             "1\u202f234,5678 mm", "1\u2019234.5678 mm"}) {
      const QString caption = QString::fromUtf8(text);
      QImage direct = Canvas();
      {
        QPainter p(&direct);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, caption);
      }
      QImage composed = Canvas();
      composer.setText(caption, font, rect, Qt::black);
      {
        QPainter p(&composed);
        if (composer.composed()) {
          composer.draw(p);
        } else {
          p.setFont(font);
          p.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, caption);
        }
      }
      // Plain ASCII lines are always composed; others may fall back.
      if (std::all_of(caption.begin(), caption.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        EXPECT_TRUE(composer.composed()) << text;
      }
      EXPECT_EQ(composed, direct) << text;
    }
  }
}

TEST(GlyphText, ReportsOnlyTheChangedGlyphsAsDirty) {
  const QFont font = MakeFont(QStringLiteral("Arial"), 67, true);
  const QRect rect(1, 1, 639, 141);
  GlyphText composer;
  EXPECT_EQ(composer.setText(QStringLiteral("12.3456 mm"), font, rect, Qt::black), QRegion(rect));
  const QRegion lastDigit = composer.setText(QStringLiteral("12.3457 mm"), font, rect, Qt::black);
  EXPECT_FALSE(lastDigit.isEmpty());
  EXPECT_LT(lastDigit.boundingRect().width(), rect.width() / 4);
  EXPECT_TRUE(composer.setText(QStringLiteral("12.3457 mm"), font, rect, Qt::black).isEmpty());
  // A text too wide for the panel is left to drawText, which clips it.
  composer.setText(QStringLiteral("1234567890123456789 mm"), font, rect, Qt::black);
  EXPECT_FALSE(composer.composed());
}

}  // namespace
}  // namespace tarvex::testing
